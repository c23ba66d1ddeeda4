// The checker's run: from the command line to the exit code.
#pragma once

#include <cstdio>

#include "common/console.h"

extern const char kBanner[];

// argv[0] is the program's path in Windows form; the words after it are
// [level word] message-file. Gives the exit code: 1, 100 or 0.
int run_checker(int argc, char** argv, Console& out, Console& err, std::FILE* in);
