// What every QVADMIN command gets, and the exit codes they share.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "admin/options.h"
#include "common/console.h"

// Exit codes the commands share: done and nothing found; lint found an error
// (or with --werror a warning), replay a verdict that changes; a command-line
// mistake, or trouble that stops a command.
constexpr int kExitOk = 0;
constexpr int kExitFound = 1;
constexpr int kExitUsage = 2;

// How a command is called, as -h, --help and "QVADMIN help COMMAND" print it.
struct Usage {
  const char* synopsis;  // the command's forms, one a line: "QVADMIN lint [--dir PROGRAM_DIR] [FILE...]\n"
  const char* details;   // what it does, and each option
};

struct CommandLine {
  std::vector<std::string> args;    // the words after the command
  std::string own_directory;        // QVADMIN's own directory, found as the checker finds its own
  Console& out;                     // standard output
  Console& err;                     // standard error
  std::FILE* in;                    // standard input, read as bytes ("-" names it)
  std::string command;              // "QVADMIN lint"
  const Usage& usage;
};

// The usage as printed: "usage: " before the first form, then the details.
std::string usage_text(const Usage& usage);

// Reads the command's words. False when the command is to end with code:
// after its usage on standard output for -h or --help (0), or after a
// mistake (see mistake) on standard error (2).
bool read_options(CommandLine& line, const KnownOptions& known, Options& options, int& code);

// Tells a command-line mistake on standard error, with a one-line hint
// where to find the usage; gives kExitUsage.
int mistake(CommandLine& line, const std::string& message);

// The program directory a command works on: the --dir word as a path text,
// ending with a backslash, or QVADMIN's own directory.
std::string program_directory_option(const CommandLine& line, const std::string* dir_word);
