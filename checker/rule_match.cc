#include "checker/rule_match.h"

#include <cstring>

#include "checker/rule_line.h"
#include "common/text.h"

RuleTest rule_test(const char* line) {
  RuleTest test;
  if (begins_with(line, "BLACKLIST"))
    test.verdict = kRuleBlacklisted;
  else if (begins_with(line, "WHITELIST"))
    test.verdict = kRuleWhitelisted;
  else
    return test;

  char work[kTextSize];
  copy_text(work, sizeof work, line);
  if (stands_at(line, "FROM", 10)) {
    test.field = RuleField::From;
    if (!contains(work, "@")) return test;
    // Only the run of address characters around the last "@" counts; names,
    // brackets and remarks on the line play no part.
    copy_text(test.text, sizeof test.text, extract_address(work));
    test.usable = true;
  } else if (stands_at(line, "SUBJECT", 10)) {
    test.field = RuleField::Subject;
    const std::size_t start = subject_rule_text_start(work);
    const std::size_t length = std::strlen(work);
    copy_text(test.text, sizeof test.text, trim_spaces(work + (start < length ? start : length)));
    test.usable = true;
  }
  return test;
}

int match_rule(const char* line, const char* target) {
  const RuleTest test = rule_test(line);
  if (test.verdict == kRuleNoHit) return kRuleNoHit;
  if (test.field == RuleField::None) return kRuleNoField;
  if (!test.usable) return kRuleNoHit;
  return contains(target, test.text) ? test.verdict : kRuleNoHit;
}
