// Rule files from the disk for tools that look up very many of them: every
// directory that holds a rule file asked for is listed once, and a file whose
// name its directory does not hold (letter case ignored, as file names
// match) is missing at once, without asking the file system again. A replay
// looks up the user and domain rule file of every recipient in its logs, and
// most of them do not exist.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>

#include "checker/rule_reader.h"

class ListedDiskRuleSource : public RuleSource {
 public:
  explicit ListedDiskRuleSource(std::size_t max_directories = 20000) : max_directories_(max_directories) {}
  std::unique_ptr<RuleLineReader> open(const char* path) override;
  // False only when the path's directory surely holds no entry of its name.
  bool may_exist(const std::string& path);

 private:
  // The names in a directory, upper case; nullopt when it cannot be listed
  // (it may still be entered: the open decides then).
  const std::optional<std::set<std::string>>& listing(const std::string& directory);

  DiskRuleSource disk_;
  std::size_t max_directories_;
  std::unordered_map<std::string, std::optional<std::set<std::string>>> listings_;
};
