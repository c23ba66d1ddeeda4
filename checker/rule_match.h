// Tests one WHITELIST or BLACKLIST rule line against the sender or subject.
#pragma once

#include <string>

// Verdicts of match_rule.
constexpr int kRuleWhitelisted = 1;
constexpr int kRuleBlacklisted = 100;
constexpr int kRuleNoHit = 0;
constexpr int kRuleNoField = -1;  // a list word, but neither FROM nor SUBJECT at position 10

// The start of a SUBJECT rule's text in a normalised line: nine characters
// after the first "CONTAINS", else position 18. May lie past the line's end.
std::size_t subject_rule_text_start(const char* line);

// line: a normalised rule line; target: the trimmed sender or subject.
// Gives the list's verdict (1 or 100) when the rule's address or text occurs
// anywhere in the target, 0 when not, -1 when the line names no field.
int match_rule(const char* line, const char* target);
