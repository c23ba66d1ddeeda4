// The analyser's run: command line, GLOBAL.CFG names, log scan, report.
#pragma once

#include <cstdio>

#include "common/console.h"

// VESKOL's one exit code: whatever it meets, it tells on its console.
constexpr int kExitDone = 0;

// argv[0] is the program; argv[1] the log, then up to two optional arguments
// in either order: a scan limit and a GLOBAL.CFG path. Prints on out, and
// gives kExitDone.
int run_analyser(int argc, char** argv, Console& out, Console& err, std::FILE* in);
