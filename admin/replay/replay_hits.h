// replay --hits: how many replayed messages each line of the candidate tree
// decided, and the rules that decided none.
#pragma once

#include <map>
#include <unordered_map>
#include <string>
#include <vector>

#include "common/console.h"

// A rule, STRICT or NO DOMAIN line, or a line that decided messages.
struct HitLine {
  std::string file;  // a path text (print shows it as a person opens it)
  int line = 0;      // as an editor numbers it
  std::string text;  // as the checker reads it
  long decided = 0;  // messages
};

// Each file is counted once whatever path names it (the host's identity of
// the file), and named by its place in the candidate tree when it is there,
// else by the first path that decided a message; files come in the order of
// those names.
class ReplayHits {
 public:
  // One message decided by the line with this counter in the file (a path
  // text).
  void count(const std::string& file, int counter);
  // Every rule, STRICT and NO DOMAIN line of the *.QUORVANT files below the
  // candidate directory and of the files that decided messages.
  void print(const std::string& candidate_directory, Console& out);
  // The same lines, file by file in the order of their lines.
  std::vector<HitLine> lines(const std::string& candidate_directory);

 private:
  struct File {
    std::string path;
    std::map<int, long> decided;  // by the checker's line counter
  };
  File& file(const std::string& path);

  std::unordered_map<std::string, std::string> keys_;  // path text -> the file's key
  std::map<std::string, File> files_;                  // by key
};
