// The logs a command line names. The Windows command interpreter hands
// wildcards to the program as written, so a word whose file name holds "*"
// or "?" is expanded here: the files of its directory whose names match
// (letter case ignored), in the order of their names.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/file.h"

struct LogFiles {
  std::vector<std::string> paths;      // path texts, in the order given
  std::vector<std::string> unmatched;  // wildcard words that match no file
};

LogFiles log_files(const std::vector<std::string>& words);

// Hands each log the words name to read, open, in that order; the word "-"
// is standard input (in), read under the name kStandardInput. A wildcard word
// that matches no file, and a log that cannot be opened, go to unreadable
// instead, first the words, then the logs, each told on err after the
// command's name ("QVADMIN replay"), with the reason. A file named again (by identity, whatever the path) is read
// once, and standard input once, which is said on standard error.
void read_logs(const std::vector<std::string>& words, const std::string& command, Console& err, std::FILE* in,
               const std::function<void(const std::string& path, std::FILE* file)>& read,
               const std::function<void(const std::string& path)>& unreadable);
// The same, handing each log file over to keep open as long as it likes
// (standard input comes as an empty handle and in).
void read_logs(const std::vector<std::string>& words, const std::string& command, Console& err, std::FILE* in,
               const std::function<void(const std::string& path, std::FILE* file, FileHandle owned)>& read,
               const std::function<void(const std::string& path)>& unreadable);

inline constexpr char kStandardInput[] = "(standard input)";

bool readable_directory(const std::string& path);

// True when the last component of the path text is a name of the checker's
// activity logs, QEL????.LOG in any letter case (with the trailing dots and
// spaces Windows drops).
bool is_activity_log_name(const std::string& path);

// "*" stands for any characters, "?" for one; letter case is ignored.
bool wildcard_match(const char* pattern, const char* name);
