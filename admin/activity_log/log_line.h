// The lines QUORVANT writes to its activity log (checker/log_words.h), read
// back: the result line of each message, the invalid-entry lines and the
// trace.
//
// A result line is parsed from both ends. The words come last and are one of
// the checker's endings; they hold lower-case letters, and the Subject never
// does (the checker upper-cases it), so the last " Subject: " of a line is the one that starts
// the Subject, whatever the Subject holds. Sender and recipient are runs of
// address characters, so " From: " and " To: " are found going left from
// there; the identifier is whatever stands between the time and " To: ".
// A line with no words at all is taken as a message whose domain or program
// rule file stopped the cascade (kind Stopped) when the rest parses; the
// caller decides whether to believe that (see LogWalk).
#pragma once

#include <string_view>

#include "checker/log_words.h"

// A name for people: "Whitelisted-User", "No Action", "Stopped", ...
std::string_view result_name(ResultKind kind);

struct ResultLine {
  ResultKind kind = ResultKind::NoAction;
  std::string_view time;  // empty for Unopenable
  std::string_view identifier;
  // The rest only for kinds with a message.
  std::string_view recipient, local_part, domain;
  std::string_view sender, subject;
  std::string_view sender_domain;  // after the sender's "@"; empty when it has none
  bool sender_cut = false;   // the sender part reached the line's 150 characters
  bool subject_cut = false;  // the subject part reached 199
};

// False for a line that is no result line (result then holds anything).
bool parse_result_line(std::string_view line, ResultLine& result);

// kInvalidEntryTrace FILE kLineLabel COUNTER kDataLabel DATA
struct InvalidEntryLine {
  std::string_view file;
  long line_number = 0;
  std::string_view data;
};
bool parse_invalid_entry(std::string_view line, InvalidEntryLine& entry);

// kRuleFileTrace PATH: gives the path.
bool parse_rule_file_check(std::string_view line, std::string_view& path);
