// What every QVADMIN command gets, and the exit codes they share.
#pragma once

#include <string>
#include <vector>

#include "common/console.h"

// Exit codes the commands share: done and nothing found; lint found an error
// (or with --werror a warning), replay a verdict that changes; a command-line
// mistake, or trouble that stops a command.
constexpr int kExitOk = 0;
constexpr int kExitFound = 1;
constexpr int kExitUsage = 2;

struct CommandLine {
  std::vector<std::string> args;    // the words after the command
  std::string own_directory;        // QVADMIN's own directory, found as the checker finds its own
  Console& out;                     // standard output
  Console& err;                     // standard error
};

// The program directory a command works on: the --dir word as a path text,
// ending with a backslash, or QVADMIN's own directory.
std::string program_directory_option(const CommandLine& line, const std::string* dir_word);
