#include "checker/rule_match.h"

#include <cstring>

#include "checker/activity_log.h"
#include "common/text.h"

std::size_t subject_rule_text_start(const char* line) {
  const long contains_at = position_of(line, "CONTAINS");
  return contains_at >= 0 ? static_cast<std::size_t>(contains_at) + 9 : 18;
}

int match_rule(const char* line, const char* target) {
  if (log_level() >= kDebug)
    log_at(kDebug, std::string("Checking: rule = ") + line + "  Data=" + target);

  int verdict;
  if (begins_with(line, "BLACKLIST"))
    verdict = kRuleBlacklisted;
  else if (begins_with(line, "WHITELIST"))
    verdict = kRuleWhitelisted;
  else
    return kRuleNoHit;

  char work[kTextSize];
  copy_text(work, sizeof work, line);
  if (stands_at(line, "FROM", 10)) {
    if (!contains(work, "@")) return kRuleNoHit;
    // Only the run of address characters around the last "@" counts; names,
    // brackets and remarks on the line play no part.
    return contains(target, extract_address(work)) ? verdict : kRuleNoHit;
  }
  if (stands_at(line, "SUBJECT", 10)) {
    const std::size_t start = subject_rule_text_start(work);
    char* text = start < std::strlen(work) ? work + start : work + std::strlen(work);
    return contains(target, trim_spaces(text)) ? verdict : kRuleNoHit;
  }
  return kRuleNoField;
}
