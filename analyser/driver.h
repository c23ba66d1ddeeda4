// The analyser's run: command line, GLOBAL.CFG names, log scan, report.
#pragma once

#include "common/console.h"

// argv[0] is the program; argv[1] the log, then up to two optional arguments
// in either order: a scan limit and a GLOBAL.CFG path. Gives the exit code,
// which is always 0.
int run_analyser(int argc, char** argv, Console& console);
