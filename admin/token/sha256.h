// SHA-256, for the token file: it holds the hashes of the console's tokens,
// never the tokens. (Boost has none to offer, and the system's own would cost
// the Windows executable another DLL.)
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

std::array<std::uint8_t, 32> sha256(std::string_view bytes);
// The hash as 64 lower-case hex digits.
std::string sha256_hex(std::string_view bytes);
// Bytes as lower-case hex digits, two a byte.
std::string lower_hex(const std::uint8_t* bytes, std::size_t size);
