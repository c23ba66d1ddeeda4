// Rule files held in memory under their path texts, read with the checker's
// own reader, for tests and fuzz targets of the tools that evaluate many
// messages.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "checker/rule_reader.h"

class MemoryRuleSource : public RuleSource {
 public:
  std::map<std::string, std::string> files;  // path text -> bytes
  int opened = 0;                            // how many times a file was opened

  std::unique_ptr<RuleLineReader> open(const char* path) override {
    const auto found = files.find(path);
    if (found == files.end()) return nullptr;
    ++opened;
    return std::make_unique<BytesRuleLineReader>(found->second);
  }
};
