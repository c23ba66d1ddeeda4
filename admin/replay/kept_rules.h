// Rule files read once and kept, for evaluating many messages: the first time
// a path is asked for, its file is read through another RuleSource (the disk)
// with the checker's own reader, up to the line after which the checker
// stops reading, and from then on its lines come from memory: at most the
// checker's line limit of them, since pieces it skips (they begin with a
// zero byte) are not kept.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "admin/rule_tree/candidate.h"
#include "checker/rule_reader.h"

// One piece as the checker's reader gave it.
struct KeptLine {
  int counter = 0;
  int editor_line = 0;
  bool continued = false;
  bool skipped = false;
  std::string raw;  // the characters read, its line end included
};

struct KeptFile {
  std::vector<KeptLine> lines;
  std::size_t bytes = 0;  // memory it holds, roughly
};

// The RuleLine the checker's reader gave for a kept piece.
void restore_rule_line(const KeptLine& kept, RuleLine& line);

class KeptRuleSource : public RuleSource {
 public:
  explicit KeptRuleSource(RuleSource& base, DirectoryMap map = {}) : base_(base), map_(std::move(map)) {}

  std::unique_ptr<RuleLineReader> open(const char* path) override;
  // The kept file for a path, read now if it was not yet; nullptr when it
  // cannot be opened.
  const KeptFile* file(const char* path);
  // Memory held by the kept files.
  std::size_t bytes() const { return bytes_; }
  // Forgets every file: they are read again when next asked for.
  void clear();

 private:
  RuleSource& base_;
  DirectoryMap map_;
  std::unordered_map<std::string, std::unique_ptr<KeptFile>> files_;  // nullptr: cannot be opened
  std::size_t bytes_ = 0;
};
