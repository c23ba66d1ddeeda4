// Tests one WHITELIST or BLACKLIST rule line against the sender or subject.
#pragma once

#include <string_view>

#include "checker/limits.h"
#include "checker/rule_line.h"
#include "checker/verdict.h"

// What a rule line looks for.
struct RuleTest {
  Verdict list = Verdict::None;  // of its list word; None when it begins with none
  RuleField field = RuleField::None;  // None: neither FROM nor SUBJECT at position 10
  bool usable = false;           // false for a FROM rule without "@", which never hits
  // The address around the last "@" of a FROM rule, or the trimmed text of a
  // SUBJECT rule: a rule hits when this occurs anywhere in its target.
  char text[kTextSize] = "";
};

// line: a normalised rule line.
RuleTest rule_test(const char* line);
RuleTest rule_test(std::string_view line);

// Whether text occurs anywhere in target (the empty text always does).
bool occurs(std::string_view text, std::string_view target);
// Whether a usable rule's text occurs in the trimmed target.
bool rule_hits(const RuleReading& rule, std::string_view target);

// line: a normalised rule line; target: the trimmed sender or subject.
// Gives the verdict of the rule's list word when the rule's address or text
// occurs anywhere in the target; None when not, and for a line that is no
// usable rule.
Verdict match_rule(const char* line, const char* target);
