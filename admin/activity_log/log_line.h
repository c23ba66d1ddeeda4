// The lines QUORVANT writes to its activity log, read back: the result line
// of each message, the invalid-entry lines and the trace.
//
// A result line is
//   HH:MM:SS ID To: USER@DOMAIN From: SENDER Subject: SUBJECT<words>
// or, when the envelope stopped the check, HH:MM:SS ID<words>. It is parsed
// from both ends. The words come last and are one of the checker's endings;
// they hold lower-case letters, and the Subject never does (the checker
// upper-cases it), so the last " Subject: " of a line is the one that starts
// the Subject, whatever the Subject holds. Sender and recipient are runs of
// address characters, so " From: " and " To: " are found going left from
// there; the identifier is whatever stands between the time and " To: ".
// A line with no words at all is taken as a message whose domain or program
// rule file stopped the cascade (kind Stopped) when the rest parses; the
// caller decides whether to believe that (see LogWalk).
#pragma once

#include <optional>
#include <string_view>

enum class ResultKind : unsigned char {
  WhitelistedUser,
  WhitelistedDomain,
  WhitelistedProgram,
  BlacklistedUser,
  BlacklistedDomain,
  BlacklistedProgram,
  NoAction,      // " No Action.": no rule file decided, or the user file stopped the cascade
  Stopped,       // no words: the domain or program file stopped the cascade
  BadSender,     // " Bad Mail From Address "
  BadRecipient,  // " Bad Mail To Address "
  NoRecipient,   // " Mail To missing "
  Unopenable,    // "Could not open message file.", a line of its own
};
inline constexpr int kResultKinds = 12;

// The words the checker ends the line with ("" for Stopped; the whole line
// for Unopenable).
std::string_view result_words(ResultKind kind);
// A name for people: "Whitelisted-User", "No Action", "Stopped", ...
const char* result_name(ResultKind kind);
// The kinds whose line holds To, From and Subject: the rule files decided.
bool result_has_message(ResultKind kind);
// The verdict a kind gives, whichever file of the cascade gave it.
enum class Verdict { Whitelisted, Blacklisted, None };
Verdict result_verdict(ResultKind kind);
// The kind that the cascade's words give (as cascade_words gives them).
std::optional<ResultKind> result_kind_of_words(std::string_view words);

struct ResultLine {
  ResultKind kind = ResultKind::NoAction;
  std::string_view time;  // empty for Unopenable
  std::string_view identifier;
  // The rest only for kinds with a message.
  std::string_view recipient, local_part, domain;
  std::string_view sender, subject;
  bool sender_cut = false;   // the sender part reached the line's 150 characters
  bool subject_cut = false;  // the subject part reached 199
};

// False for a line that is no result line.
bool parse_result_line(std::string_view line, ResultLine& result);

// "Invalid entry. File: %s Line: %i Data: %s"
struct InvalidEntryLine {
  std::string_view file;
  long line_number = 0;
  std::string_view data;
};
bool parse_invalid_entry(std::string_view line, InvalidEntryLine& entry);

// "Checking Rule File = %s": gives the path.
bool parse_rule_file_check(std::string_view line, std::string_view& path);
