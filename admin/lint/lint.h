// QVADMIN lint: checks rule files as the checker reads them and reports the
// traps of the rule format, one finding a line.
#pragma once

#include "admin/command.h"

extern const Usage kLintUsage;

// Gives 1 when an error was found (or a warning, with --werror), else 0; 2
// for a command-line mistake.
int run_lint(CommandLine& line);
