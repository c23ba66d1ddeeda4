// What a rule-file line is: the kinds the checker tells apart, why a line is
// invalid, and the parts of REDIRECT and SUBJECT lines.
#pragma once

#include <cstddef>
#include <string_view>

#include "checker/limits.h"
#include "checker/verdict.h"

// The codes are the values the kinds have always had in the trace.
enum class RuleLineKind : int {
  Invalid = 0,
  Strict = 20,
  SubjectRule = 21,
  FromRule = 22,
  Redirect = 23,
  NoDomain = 200,
};

// The field a rule tests, named by the word after its list word.
enum class RuleField { None, From, Subject };

// A comment: "#" in the first column. The checker classifies every other
// piece it reads.
inline bool is_comment(const char* line) { return line[0] == '#'; }

// line: normalised, not a comment. The keywords STRICT, REDIRECT and NO DOMAIN
// count anywhere in the line.
RuleLineKind classify_rule_line(const char* line);
RuleLineKind classify_rule_line(std::string_view line);

// A rule begins with a list word, WHITELIST or BLACKLIST, of this length; its
// field word, FROM or SUBJECT, stands at kFieldAt (one character between).
inline constexpr std::size_t kListWordLength = 9;
inline constexpr std::size_t kFieldAt = 10;
// A SUBJECT rule's text holds this many characters at least.
inline constexpr std::size_t kShortestSubjectText = 5;
bool begins_with_list_word(const char* line);
// The list word of a verdict: WHITELIST or BLACKLIST (None has none: "").
const char* list_word(Verdict verdict);
// What the list word a line begins with stands for; None for neither.
Verdict list_word_verdict(const char* line);
Verdict list_word_verdict(std::string_view line);
// Whether the line holds the field's word (FROM or SUBJECT) at kFieldAt; for
// a line that begins with a list word, the same as its first occurrence there.
bool field_at(std::string_view line, RuleField field);

// What a line is and, for a rule, what it looks for, from one reading of it.
struct RuleReading {
  RuleLineKind kind = RuleLineKind::Invalid;
  Verdict list = Verdict::None;       // of its list word; None when it begins with none
  RuleField field = RuleField::None;  // None: neither FROM nor SUBJECT at kFieldAt
  bool usable = false;                // false for a FROM rule without "@", which never hits
  // The address around the last "@" of a FROM rule, or the trimmed text of a
  // SUBJECT rule, within the line: a rule hits when this occurs anywhere in
  // its target. Only the line's first piece (99 characters) gives it.
  std::string_view text;
};
// line: normalised, not a comment.
RuleReading read_rule_line(std::string_view line);

// Why a line is taken as invalid, finest first.
enum class InvalidReason {
  None,            // the line is not invalid
  Empty,           // nothing but spaces
  LeadingSpace,    // a keyword or "#" after leading spaces
  UnknownKeyword,  // begins with no list word (WHITELIST or BLACKLIST)
  Separator,       // FROM or SUBJECT, but not exactly one character after the list word
  NoField,         // a list word followed by neither FROM nor SUBJECT
  FromWithoutAt,   // a FROM rule without "@"
  ShortSubject,    // a SUBJECT rule whose text is shorter than five characters
  ShortRedirect,   // a REDIRECT line with fewer than three words
};

// line: normalised and not a comment. ShortRedirect for a REDIRECT line with
// fewer than three words, None for every line that is not invalid.
InvalidReason invalid_reason(const char* line);

// The start of a SUBJECT rule's text in a normalised line: nine characters
// after the first "CONTAINS", else position 18. May lie past the line's end.
std::size_t subject_rule_text_start(const char* line);
std::size_t subject_text_start(std::string_view line);

// The first three words of a REDIRECT line: the keyword, the target (a domain
// form when it begins with "@") and the rule file.
struct RedirectWords {
  char keyword[kTextSize];
  char target[kTextSize];
  char file[kTextSize];
};
// False when the line has fewer than three words.
bool split_redirect(const char* line, RedirectWords& words);
// Whether a REDIRECT's target takes the recipient: a domain form anywhere in
// it, any other target at its start.
bool redirect_takes(const char* target, const char* recipient);
