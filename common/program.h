// How every program of the system starts and ends.
#pragma once

// Which command-line words are path texts: on POSIX their "/" become "\".
enum class PathWords { All, None };

// Makes sure the standard descriptors are open, prepares the console, puts
// the arguments in the form the programs expect and runs body. A failure that escapes body (out of memory, say) ends the
// program with failure_exit_code, a code its caller knows, never with a
// crash.
int run_program(int argc, char** argv, int (*body)(int, char**), PathWords paths, int failure_exit_code);
