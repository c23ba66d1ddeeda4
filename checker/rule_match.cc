#include "checker/rule_match.h"

#include <cstring>

#include "checker/rule_line.h"
#include "common/text.h"

RuleTest rule_test(const char* line) {
  RuleTest test;
  test.list = list_word_verdict(line);
  if (test.list == Verdict::None) return test;

  char work[kTextSize];
  copy_text(work, sizeof work, line);
  if (stands_at(line, "FROM", kFieldAt)) {
    test.field = RuleField::From;
    if (!contains(work, "@")) return test;
    // Only the run of address characters around the last "@" counts; names,
    // brackets and remarks on the line play no part.
    copy_text(test.text, sizeof test.text, extract_address(work));
    test.usable = true;
  } else if (stands_at(line, "SUBJECT", kFieldAt)) {
    test.field = RuleField::Subject;
    const std::size_t start = subject_rule_text_start(work);
    const std::size_t length = std::strlen(work);
    copy_text(test.text, sizeof test.text, trim_spaces(work + (start < length ? start : length)));
    test.usable = true;
  }
  return test;
}

Verdict match_rule(const char* line, const char* target) {
  const RuleTest test = rule_test(line);
  return test.usable && contains(target, test.text) ? test.list : Verdict::None;
}
