// QVADMIN explain: one message through the checker's own code, every rule
// line it reads and why it decides as it does.
#pragma once

#include <string>

#include "admin/command.h"
#include "checker/activity_log.h"
#include "checker/message_check.h"

extern const Usage kExplainUsage;

// Gives the checker's exit code for the message (1, 100 or 0), or 2 for a
// command-line mistake.
int run_explain(CommandLine& line);

// How explain reads the message's rule files, as its options say.
struct ExplainSetting {
  std::string directory;  // the program directory (--dir)
  std::string candidate;  // the tree read in its place (--rules); the program directory for the live one
  std::string start;      // where relative REDIRECT words count from (--from-dir); empty: here
  LogLevel level = LogLevel::Mid;
  bool quiet = false;
};

// The account `QVADMIN explain --dir DIRECTORY --from FROM --to TO [--subject
// SUBJECT] [--quiet]` prints (subject nullptr: no --subject), on out; gives
// the check, whose decision names the deciding file and line.
MessageCheck explain_by_address(const std::string& directory, const std::string& from, const std::string& to,
                                const std::string* subject, bool quiet, Console& out);
// The same with every option; a note beside a quiet verdict goes to err.
MessageCheck explain_by_address(const ExplainSetting& setting, const std::string& from, const std::string& to,
                                const std::string* subject, Console& out, Console* err);
