// Rule files as a change not yet written leaves them: some hold new bytes,
// some are gone, the rest are as on the disk. Lint, replay and the rule-change
// commands read through an overlay, so that a change is checked and replayed
// before it goes live.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "admin/rule_tree/rule_tree.h"
#include "checker/rule_reader.h"
#include "common/host.h"

class RuleOverlay {
 public:
  // The file at the path text holds these bytes.
  void put(const std::string& path, std::string bytes);
  // The file at the path text is gone.
  void take_away(const std::string& path);

  // nullptr when the overlay leaves the file as it is on the disk; else its
  // bytes, or nullopt when it is gone.
  const std::optional<std::string>* find(const std::string& path) const;

  // A listing of the directory as the overlay leaves it: its new files, and
  // the folders that hold new files, are added; the files gone are dropped.
  void adjust_listing(const std::string& directory, std::vector<DirectoryEntry>& entries) const;

 private:
  struct File {
    std::string path;
    std::optional<std::string> bytes;
  };
  PathKeys keys_;
  std::map<std::string, File> files_;  // by PathKeys key
};

// Rule files through an overlay, the others from base.
class OverlayRuleSource : public RuleSource {
 public:
  OverlayRuleSource(const RuleOverlay& overlay, RuleSource& base) : overlay_(overlay), base_(base) {}
  std::unique_ptr<RuleLineReader> open(const char* path) override;

 private:
  const RuleOverlay& overlay_;
  RuleSource& base_;
};
