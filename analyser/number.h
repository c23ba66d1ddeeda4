// Numbers on the command line, read the way scanf's "%i" reads them.
#pragma once

#include <cstdint>

// Leading white space and a sign are allowed; "0x" or "0X" starts a
// hexadecimal number, a leading 0 an octal one, anything else is decimal, and
// reading stops at the first character that does not fit. A text that does
// not begin with a number reads as 0. A number beyond the 32-bit range reads
// as the nearest 32-bit limit.
std::int32_t read_number(const char* text);
