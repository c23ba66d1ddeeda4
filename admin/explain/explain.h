// QVADMIN explain: one message through the checker's own code, every rule
// line it reads and why it decides as it does.
#pragma once

#include <string>

#include "admin/command.h"
#include "checker/message_check.h"

extern const Usage kExplainUsage;

// Gives the checker's exit code for the message (1, 100 or 0), or 2 for a
// command-line mistake.
int run_explain(CommandLine& line);

// The account `QVADMIN explain --dir DIRECTORY --from FROM --to TO [--subject
// SUBJECT] [--quiet]` prints (subject nullptr: no --subject), on out; gives
// the check, whose decision names the deciding file and line.
MessageCheck explain_by_address(const std::string& directory, const std::string& from, const std::string& to,
                                const std::string* subject, bool quiet, Console& out);
