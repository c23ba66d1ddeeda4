// What explain and lint both say about a rule line: why the checker takes a
// line as an invalid entry (naming the keyword a misspelt word was meant to
// be), what a line is taken as, and the small text forms of their messages.
#pragma once

#include <string>

#include "checker/rule_line.h"
#include "checker/rule_reader.h"

// line: a piece the checker logged as an invalid entry for this reason.
std::string invalid_entry_message(const RuleLine& line, InvalidReason why);

// What the checker takes a piece for, e.g. "an invalid entry", "STRICT".
// taken: the piece was classified (neither a comment nor skipped).
std::string taken_as(const RuleLine& line, bool taken, RuleLineKind kind, bool invalid);

// "1 error", "2 errors": the count and the thing, plural but for one.
std::string counted(long long n, const char* thing);
// A byte as two hexadecimal digits, "1B".
std::string hex_digits(unsigned char c);
// A text quoted for a message: bytes outside printable ASCII as \xNN, and a
// text longer than 60 characters cut with "...".
std::string lint_quoted(const std::string& text);
