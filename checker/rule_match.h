// Tests one WHITELIST or BLACKLIST rule line against the sender or subject.
#pragma once

#include "checker/limits.h"

// Verdicts of match_rule.
constexpr int kRuleWhitelisted = 1;
constexpr int kRuleBlacklisted = 100;
constexpr int kRuleNoHit = 0;
constexpr int kRuleNoField = -1;  // a list word, but neither FROM nor SUBJECT at position 10

enum class RuleField { None, From, Subject };

// What a rule line looks for.
struct RuleTest {
  int verdict = kRuleNoHit;  // of its list word; kRuleNoHit when it begins with none
  RuleField field = RuleField::None;
  bool usable = false;       // false for a FROM rule without "@", which never hits
  // The address around the last "@" of a FROM rule, or the trimmed text of a
  // SUBJECT rule: a rule hits when this occurs anywhere in its target.
  char text[kTextSize] = "";
};

// line: a normalised rule line.
RuleTest rule_test(const char* line);

// line: a normalised rule line; target: the trimmed sender or subject.
// Gives the list's verdict (1 or 100) when the rule's address or text occurs
// anywhere in the target, 0 when not, -1 when the line names no field.
int match_rule(const char* line, const char* target);
