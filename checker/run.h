// One checker run: from the command line to the exit code.
#pragma once

#include <cstdio>

#include "common/host.h"

// Exit codes, the verdict the mail filter reads.
constexpr int kExitNoVerdict = 0;
constexpr int kExitWhitelisted = 1;
constexpr int kExitBlacklisted = 100;

extern const char kBanner[];

// argv[0] is the program's path in Windows form; the words after it are
// [level word] message-file. Sets the run-wide log path and level.
int run(int argc, char** argv, const LocalTime& now, std::FILE* console);
int run(int argc, char** argv);
