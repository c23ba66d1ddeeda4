#include "checker/rule_line.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "common/text.h"
#include "common/vector_sets.h"

#if defined(X86_VECTORS)
#include <emmintrin.h>
#endif

namespace {

using std::string_view;

template <std::size_t N>
bool word_at(string_view line, std::size_t at, const char (&word)[N]) {
  return line.size() >= at + (N - 1) && std::memcmp(line.data() + at, word, N - 1) == 0;
}

// Which of STRICT, REDIRECT and NO DOMAIN a line holds, where its first
// CONTAINS and its last "@" stand. Each of these words holds one "I" (STRICT
// and REDIRECT as their fourth letter, CONTAINS as its sixth, NO DOMAIN as
// its eighth), so the line is looked at only around its "I"s, which are found
// with the "@"s in one pass, sixteen bytes at a time where the processor has
// vectors.
struct Marks {
  bool strict = false, redirect = false, no_domain = false;
  std::size_t contains_at = string_view::npos, last_at = string_view::npos;
};

Marks marks_in(string_view line) {
  Marks found;
  const auto look_at = [&](std::size_t i) {
    // No word has its "I" so early, or last; each has C, R or N after it.
    if (i < 3 || i + 1 >= line.size()) return;
    if (const char next = line[i + 1]; next != 'C' && next != 'R' && next != 'N') return;
    const char first = line[i - 3];  // S or R
    found.strict = found.strict || (first == 'S' && word_at(line, i - 3, "STRICT"));
    found.redirect = found.redirect || (first == 'R' && word_at(line, i - 3, "REDIRECT"));
    found.no_domain = found.no_domain || (i >= 7 && line[i - 7] == 'N' && word_at(line, i - 7, "NO DOMAIN"));
    if (found.contains_at == string_view::npos && i >= 5 && line[i - 5] == 'C' && word_at(line, i - 5, "CONTAINS"))
      found.contains_at = i - 5;
  };
  std::size_t i = 0;
#if defined(X86_VECTORS)
  // The bytes from `from` on of the sixteen at p, which stand at base.
  const auto chunk = [&](const char* p, std::size_t base, std::size_t from) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned keep = 0xFFFFu << from;
    unsigned is = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('I')))) & keep;
    const unsigned ats = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('@')))) & keep;
    for (; is != 0; is &= is - 1) look_at(base + static_cast<std::size_t>(std::countr_zero(is)));
    if (ats) found.last_at = base + 31 - static_cast<std::size_t>(std::countl_zero(ats));
  };
  for (; i + 16 <= line.size(); i += 16) chunk(line.data() + i, i, 0);
  // The last bytes in a chunk that ends with the line.
  if (i < line.size() && line.size() >= 16) {
    const std::size_t base = line.size() - 16;
    chunk(line.data() + base, base, i - base);
    i = line.size();
  }
#endif
  for (; i < line.size(); ++i) {
    if (line[i] == 'I') look_at(i);
    if (line[i] == '@') found.last_at = i;
  }
  return found;
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

Verdict list_word_verdict(string_view line) {
  if (word_at(line, 0, "WHITELIST")) return Verdict::Whitelisted;
  if (word_at(line, 0, "BLACKLIST")) return Verdict::Blacklisted;
  return Verdict::None;
}

// The list words hold neither field word, nor its first two letters in a row,
// so after a list word the field word at kFieldAt is also its first occurrence.
bool field_at(string_view line, RuleField field) {
  return field == RuleField::From ? word_at(line, kFieldAt, "FROM") : word_at(line, kFieldAt, "SUBJECT");
}

std::size_t subject_rule_text_start(const char* line) { return subject_text_start(line); }

std::size_t subject_text_start(string_view line) {
  const std::size_t contains_at = line.find("CONTAINS");
  return contains_at != string_view::npos ? contains_at + 9 : 18;
}

RuleLineKind classify_rule_line(const char* line) { return read_rule_line(line).kind; }

RuleLineKind classify_rule_line(string_view line) { return read_rule_line(line).kind; }

// The kind looks at the whole line, the rule's text at its first piece; each
// word is looked for once, for both.
RuleReading read_rule_line(string_view line) {
  RuleReading reading;
  const Marks marks = marks_in(line);
  reading.list = list_word_verdict(line);
  const string_view piece = line.substr(0, kPieceLength);
  bool complete = false;  // a FROM rule with "@", a SUBJECT rule with text enough
  if (reading.list != Verdict::None) {
    if (field_at(line, RuleField::From)) {
      reading.field = RuleField::From;
      std::size_t at = marks.last_at;
      complete = at != string_view::npos;
      if (complete && at >= piece.size()) at = piece.rfind('@');
      // Only the run of address characters around the last "@" counts;
      // names, brackets and remarks on the line play no part.
      if (at != string_view::npos) {
        reading.text = address_around(piece, at);
        reading.usable = true;
      }
    } else if (field_at(line, RuleField::Subject)) {
      reading.field = RuleField::Subject;
      // The first CONTAINS of the piece is the line's, if that lies in it.
      const std::size_t contains_at = marks.contains_at;
      const std::size_t start = contains_at != string_view::npos ? contains_at + 9 : 18;
      const std::size_t piece_start =
          contains_at != string_view::npos && contains_at + 8 > piece.size() ? 18 : start;
      // The length counts the text as written, trailing spaces included.
      complete = line.size() > start && line.size() - start >= kShortestSubjectText;
      reading.text = trimmed(piece.substr(std::min(piece_start, piece.size())));
      reading.usable = true;
    }
  }
  if (marks.strict)
    reading.kind = RuleLineKind::Strict;
  else if (marks.redirect)
    reading.kind = RuleLineKind::Redirect;
  else if (marks.no_domain)
    reading.kind = RuleLineKind::NoDomain;
  else if (complete)
    reading.kind = reading.field == RuleField::From ? RuleLineKind::FromRule : RuleLineKind::SubjectRule;
  return reading;
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
