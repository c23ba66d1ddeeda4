#include "admin/rule_text/rule_text.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/text.h"

namespace {

constexpr const char* kKeywords[] = {"WHITELIST", "BLACKLIST", "STRICT",  "REDIRECT",
                                     "NO DOMAIN", "FROM",      "SUBJECT", "CONTAINS"};

// Edits (insert, delete, replace, swap two neighbours) that turn a into b.
std::size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i)
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] != b[j - 1])});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The first n space-separated words of a text, joined by one space.
std::string first_words(const char* text, int n) {
  std::string words;
  const char* p = text;
  for (int i = 0; i < n; ++i) {
    while (*p == ' ') ++p;
    if (!*p) break;
    const char* end = p + std::strcspn(p, " ");
    if (!words.empty()) words += ' ';
    words.append(p, end);
    p = end;
  }
  return words;
}

int word_count(const char* text) { return std::strchr(text, ' ') ? 2 : 1; }

// The list word as written: the line's first characters.
std::string written_list_word(const char* line) {
  return std::string(line, std::min(kListWordLength, std::strlen(line)));
}

// The keyword nearest (in edits) to the words a text begins with, or "" when
// none is near enough to be what was meant.
std::string closest_keyword(const std::string& text) {
  std::string best;
  std::size_t best_distance = 0;
  for (const char* keyword : kKeywords) {
    const std::string words = first_words(text.c_str(), word_count(keyword));
    const std::size_t d = edit_distance(words, keyword);
    const std::size_t allowed = std::max<std::size_t>(1, std::strlen(keyword) / 3);
    if (d <= allowed && d < words.size() && (best.empty() || d < best_distance)) {
      best = keyword;
      best_distance = d;
    }
  }
  return best;
}

std::string unknown_keyword(const char* text) {
  const std::string word = first_words(text, 1);
  const std::string suggestion = closest_keyword(text);
  if (suggestion == first_words(text, word_count(suggestion.c_str())))
    return "begins with " + suggestion + ": a rule must begin with WHITELIST or BLACKLIST";
  std::string message = "unknown keyword " + lint_quoted(word);
  if (!suggestion.empty()) return message + " (did you mean " + suggestion + "?)";
  return message + ": a rule begins with WHITELIST or BLACKLIST";
}

std::string no_field(const char* line) {
  std::string message = written_list_word(line) + " is followed by neither FROM nor SUBJECT";
  const std::string word = std::strlen(line) > kFieldAt ? first_words(line + kFieldAt, 1) : "";
  if (word.empty()) return message;
  const std::string suggestion = closest_keyword(line + kFieldAt);
  message += " but by " + lint_quoted(word);
  return suggestion == "FROM" || suggestion == "SUBJECT" ? message + " (did you mean " + suggestion + "?)" : message;
}

std::string subject_text(const char* line) {
  const std::size_t start = subject_rule_text_start(line);
  return start < std::strlen(line) ? std::string(line + start) : std::string();
}

}  // namespace

std::string invalid_entry_message(const RuleLine& line, InvalidReason why) {
  const char* text = line.text;
  const std::string rest = "the rest of a long line, read as a line of its own: ";
  switch (why) {
    case InvalidReason::Empty:
      if (line.continued) return "the rest of a long line, read as an empty line of its own";
      return "empty line, logged as an invalid entry whenever the file is read: remove it or make it a \"#\" "
             "comment";
    case InvalidReason::LeadingSpace:
      return "begins with a space: keywords and \"#\" must stand in the first column";
    case InvalidReason::UnknownKeyword:
      return (line.continued ? rest : "") + unknown_keyword(text + std::strspn(text, " "));
    case InvalidReason::Separator:
      return (line.continued ? rest : "") + "not exactly one character between " + written_list_word(text) +
             " and FROM or SUBJECT";
    case InvalidReason::NoField:
      return (line.continued ? rest : "") + no_field(text);
    case InvalidReason::FromWithoutAt:
      return (line.continued ? rest : "") + "FROM rule without \"@\", which never hits";
    case InvalidReason::ShortSubject: {
      std::string subject = subject_text(text);
      const std::string trimmed = trim_spaces(subject.data());
      const std::string least = std::to_string(kShortestSubjectText) + " characters";
      return (line.continued ? rest : "") + "the Subject text " +
             (trimmed.empty() ? "is empty: a SUBJECT rule needs " + least + " at least"
                              : lint_quoted(trimmed) + " is shorter than " + least);
    }
    case InvalidReason::ShortRedirect:
      return (line.continued ? rest : "") +
             "REDIRECT needs three words: REDIRECT, the recipient or @domain, and the rule file";
    case InvalidReason::None:
      break;
  }
  return "invalid entry";
}

std::string taken_as(const RuleLine& line, bool taken, RuleLineKind kind, bool invalid) {
  if (line.skipped) return "a skipped line (it begins with a zero byte)";
  if (!taken) return "a comment";
  if (invalid) return line.text[std::strspn(line.text, " ")] ? "an invalid entry" : "an empty line (an invalid entry)";
  switch (kind) {
    case RuleLineKind::Strict:
      return "STRICT";
    case RuleLineKind::NoDomain:
      return "NO DOMAIN";
    case RuleLineKind::Redirect:
      return "a REDIRECT";
    case RuleLineKind::FromRule:
      return "a FROM rule";
    case RuleLineKind::SubjectRule:
      return "a SUBJECT rule";
    case RuleLineKind::Invalid:
      break;
  }
  return "an invalid entry";
}

std::string counted(long long n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string hex_digits(unsigned char c) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[c >> 4], digits[c & 15]};
}

std::string lint_quoted(const std::string& text) {
  constexpr std::size_t kLongest = 60;
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size() && i < kLongest; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c < 127) {
      quoted += static_cast<char>(c);
    } else {
      quoted += "\\x" + hex_digits(c);
    }
  }
  if (text.size() > kLongest) quoted += "...";
  return quoted + "\"";
}
