#include "checker/rule_line.h"

#include <cstring>
#include <initializer_list>

#include "common/text.h"

namespace {

// The length counts the text as written, trailing spaces included.
bool subject_text_long_enough(const char* line) {
  const std::size_t start = subject_rule_text_start(line);
  const std::size_t length = std::strlen(line);
  return length > start && length - start >= kShortestSubjectText;
}

}  // namespace

bool begins_with_list_word(const char* line) { return list_word_verdict(line) != Verdict::None; }

const char* list_word(Verdict verdict) {
  switch (verdict) {
    case Verdict::Whitelisted:
      return "WHITELIST";
    case Verdict::Blacklisted:
      return "BLACKLIST";
    case Verdict::None:
      break;
  }
  return "";
}

Verdict list_word_verdict(const char* line) {
  for (const Verdict verdict : {Verdict::Whitelisted, Verdict::Blacklisted})
    if (begins_with(line, list_word(verdict))) return verdict;
  return Verdict::None;
}

std::size_t subject_rule_text_start(const char* line) {
  const long contains_at = position_of(line, "CONTAINS");
  return contains_at >= 0 ? static_cast<std::size_t>(contains_at) + 9 : 18;
}

RuleLineKind classify_rule_line(const char* line) {
  if (contains(line, "STRICT")) return RuleLineKind::Strict;
  if (contains(line, "REDIRECT")) return RuleLineKind::Redirect;
  if (contains(line, "NO DOMAIN")) return RuleLineKind::NoDomain;
  if (!begins_with_list_word(line)) return RuleLineKind::Invalid;
  if (stands_at(line, "FROM", kFieldAt)) return contains(line, "@") ? RuleLineKind::FromRule : RuleLineKind::Invalid;
  if (stands_at(line, "SUBJECT", kFieldAt))
    return subject_text_long_enough(line) ? RuleLineKind::SubjectRule : RuleLineKind::Invalid;
  return RuleLineKind::Invalid;
}

InvalidReason invalid_reason(const char* line) {
  const RuleLineKind kind = classify_rule_line(line);
  if (kind == RuleLineKind::Redirect) {
    RedirectWords words;
    return split_redirect(line, words) ? InvalidReason::None : InvalidReason::ShortRedirect;
  }
  if (kind != RuleLineKind::Invalid) return InvalidReason::None;
  const char* text = line + std::strspn(line, " ");
  if (*text == '\0') return InvalidReason::Empty;
  if (!begins_with_list_word(line))
    return text != line && (begins_with_list_word(text) || *text == '#') ? InvalidReason::LeadingSpace
                                                                           : InvalidReason::UnknownKeyword;
  if (stands_at(line, "FROM", kFieldAt)) return InvalidReason::FromWithoutAt;
  if (stands_at(line, "SUBJECT", kFieldAt)) return InvalidReason::ShortSubject;
  const char* rest = line + kListWordLength;
  return contains(rest, "FROM") || contains(rest, "SUBJECT") ? InvalidReason::Separator : InvalidReason::NoField;
}

bool split_redirect(const char* line, RedirectWords& words) {
  const char* p = line;
  for (char* word : {words.keyword, words.target, words.file}) {
    while (*p == ' ') ++p;
    if (!*p) return false;
    std::size_t n = 0;
    while (p[n] && p[n] != ' ') ++n;
    if (n >= kTextSize) n = kTextSize - 1;  // a normalised line holds at most 99 characters
    std::memcpy(word, p, n);
    word[n] = '\0';
    p += n;
  }
  return true;
}

bool redirect_takes(const char* target, const char* recipient) {
  return target[0] == '@' ? contains(recipient, target) : begins_with(recipient, target);
}
