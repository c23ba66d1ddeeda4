// How every program of the system starts and ends: main hands its command
// line and its driver to run_program.
#pragma once

#include <cstdio>

#include "common/console.h"

// A program's driver: argv[0] is the program's path, the words after it are
// its command line; out and err are standard output and standard error, in
// standard input (nullptr when there is none). Gives the exit code.
using Driver = int (*)(int argc, char** argv, Console& out, Console& err, std::FILE* in);

// Which command-line words are path texts: on POSIX their "/" become "\".
enum class PathWords { All, None };

// Makes sure the standard descriptors are open, prepares the console, puts
// the arguments in the form the programs expect and runs the driver on the
// standard streams, flushing them after it. A failure that escapes the driver
// (out of memory, say) ends the program with failure_exit_code, a code its
// caller knows, never with a crash.
int run_program(int argc, char** argv, Driver driver, PathWords paths, int failure_exit_code);
