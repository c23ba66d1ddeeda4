#include "checker/testing/reference_rules.h"

#include <cstring>

#include "common/text.h"

namespace {

bool reference_list_word(const char* line) { return begins_with(line, "WHITELIST") || begins_with(line, "BLACKLIST"); }

bool address_character(char c) { return c != '\0' && std::strchr("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_=!#%*", c); }

// The run of address characters around the last "@", cut from the text; the
// text's first character never belongs to it unless it is the "@".
const char* address_in(char* text) {
  char* at = std::strrchr(text, '@');
  char* start = at;
  while (start - 1 > text && address_character(start[-1])) --start;
  if (at - text < 2) start = at;
  char* end = at + 1;
  while (address_character(*end)) ++end;
  *end = '\0';
  return start;
}

std::size_t reference_subject_start(const char* line) {
  const long contains_at = position_of(line, "CONTAINS");
  return contains_at >= 0 ? static_cast<std::size_t>(contains_at) + 9 : 18;
}

}  // namespace

RuleLineKind reference_classify_rule_line(const char* line) {
  if (contains(line, "STRICT")) return RuleLineKind::Strict;
  if (contains(line, "REDIRECT")) return RuleLineKind::Redirect;
  if (contains(line, "NO DOMAIN")) return RuleLineKind::NoDomain;
  if (!reference_list_word(line)) return RuleLineKind::Invalid;
  if (stands_at(line, "FROM", 10)) return contains(line, "@") ? RuleLineKind::FromRule : RuleLineKind::Invalid;
  if (stands_at(line, "SUBJECT", 10)) {
    const std::size_t start = reference_subject_start(line);
    const std::size_t length = std::strlen(line);
    return length > start && length - start >= 5 ? RuleLineKind::SubjectRule : RuleLineKind::Invalid;
  }
  return RuleLineKind::Invalid;
}

RuleTest reference_rule_test(const char* line) {
  RuleTest test;
  if (begins_with(line, "BLACKLIST"))
    test.list = Verdict::Blacklisted;
  else if (begins_with(line, "WHITELIST"))
    test.list = Verdict::Whitelisted;
  else
    return test;
  char work[kTextSize];
  copy_text(work, sizeof work, line);
  if (stands_at(line, "FROM", 10)) {
    test.field = RuleField::From;
    if (!contains(work, "@")) return test;
    copy_text(test.text, sizeof test.text, address_in(work));
    test.usable = true;
  } else if (stands_at(line, "SUBJECT", 10)) {
    test.field = RuleField::Subject;
    const std::size_t start = reference_subject_start(work);
    const std::size_t length = std::strlen(work);
    copy_text(test.text, sizeof test.text, trim_spaces(work + (start < length ? start : length)));
    test.usable = true;
  }
  return test;
}
