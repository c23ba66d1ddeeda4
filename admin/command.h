// What every QVADMIN command gets, and the exit codes they share.
#pragma once

#include <string>
#include <vector>

#include "common/console.h"

// Exit code of a command-line mistake (and of trouble that stops a command).
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
