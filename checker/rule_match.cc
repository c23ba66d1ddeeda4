#include "checker/rule_match.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "checker/rule_line.h"
#include "common/text.h"

RuleTest rule_test(const char* line) { return rule_test(std::string_view(line)); }

RuleTest rule_test(std::string_view line) {
  const RuleReading reading = read_rule_line(line);
  RuleTest test;
  test.list = reading.list;
  test.field = reading.field;
  test.usable = reading.usable;
  reading.text.copy(test.text, reading.text.size());
  test.text[reading.text.size()] = '\0';
  return test;
}

// The texts are short: each place is tried by its first and last character
// before the rest is compared.
bool occurs(std::string_view text, std::string_view target) {
  if (text.empty()) return true;
  if (text.size() > target.size()) return false;
  const char first = text.front(), last = text.back();
  const std::size_t span = text.size() - 1;
  for (std::size_t at = 0; at + span < target.size(); ++at)
    if (target[at] == first && target[at + span] == last && target.compare(at, span, text.substr(0, span)) == 0)
      return true;
  return false;
}

bool rule_hits(const RuleReading& rule, std::string_view target) { return rule.usable && occurs(rule.text, target); }

Verdict match_rule(const char* line, const char* target) {
  const RuleReading rule = read_rule_line(line);
  return rule_hits(rule, target) ? rule.list : Verdict::None;
}
