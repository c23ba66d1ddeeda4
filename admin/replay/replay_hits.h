// replay --hits: how many replayed messages each line of the candidate tree
// decided, and the rules that decided none.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/console.h"

// A rule, STRICT or NO DOMAIN line, or a line that decided messages.
struct HitLine {
  std::string file;  // as replay names it
  int line = 0;      // as an editor numbers it
  std::string text;  // as the checker reads it
  long decided = 0;  // messages
};

class ReplayHits {
 public:
  // One message decided by the line with this counter in the file.
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

  std::map<std::string, File> files_;  // by the path with letter case and doubled "\" folded
};
