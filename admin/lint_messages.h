// The words of lint's findings about single lines: why the checker takes a
// line as an invalid entry (naming the keyword a misspelt word was meant to
// be) and what a line is taken as.
#pragma once

#include <string>

#include "checker/rule_line.h"
#include "checker/rule_reader.h"

// line: a piece the checker logged as an invalid entry for this reason.
std::string invalid_entry_message(const RuleLine& line, InvalidReason why);

// What the checker takes a piece for, e.g. "an invalid entry", "STRICT".
// taken: the piece was classified (neither a comment nor skipped).
std::string taken_as(const RuleLine& line, bool taken, RuleLineKind kind, bool invalid);
