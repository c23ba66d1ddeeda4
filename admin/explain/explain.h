// QVADMIN explain: one message through the checker's own code, every rule
// line it reads and why it decides as it does.
#pragma once

#include "admin/command.h"

extern const Usage kExplainUsage;

// Gives the checker's exit code for the message (1, 100 or 0), or 2 for a
// command-line mistake.
int run_explain(CommandLine& line);
