// The logs a command line names. The Windows command interpreter hands
// wildcards to the program as written, so a word whose file name holds "*"
// or "?" is expanded here: the files of its directory whose names match
// (letter case ignored), in the order of their names.
#pragma once

#include <string>
#include <vector>

struct LogFiles {
  std::vector<std::string> paths;      // path texts, in the order given
  std::vector<std::string> unmatched;  // wildcard words that match no file
};

LogFiles log_files(const std::vector<std::string>& words);

// "*" stands for any characters, "?" for one; letter case is ignored.
bool wildcard_match(const char* pattern, const char* name);
