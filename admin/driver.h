// QVADMIN's run: the command word, then the command.
#pragma once

#include <cstdio>

#include "common/console.h"

// argv[0] is the program's path; argv[1] the command. in is standard input
// (a log named "-"). Gives the command's exit code, or kExitUsage for a
// command-line mistake.
int run_admin(int argc, char** argv, Console& out, Console& err, std::FILE* in);
