#include "admin/replay/listed_files.h"

#include <vector>

#include "common/host.h"
#include "common/text.h"

const std::optional<std::set<std::string>>& ListedDiskRuleSource::listing(const std::string& directory) {
  const auto found = listings_.find(directory);
  if (found != listings_.end()) return found->second;
  if (listings_.size() >= max_directories_) listings_.clear();
  std::optional<std::set<std::string>> names;
  // A directory that its own directory does not hold is empty; otherwise it
  // is listed.
  std::string trimmed = directory;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  if (!trimmed.empty() && !may_exist(trimmed)) {
    names.emplace();
  } else {
    std::vector<DirectoryEntry> entries;
    if (host_list_directory(directory.c_str(), entries)) {
      names.emplace();
      for (const DirectoryEntry& entry : entries) names->insert(upper_case(entry.name));
    }
  }
  return listings_.emplace(directory, std::move(names)).first->second;
}

bool ListedDiskRuleSource::may_exist(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // Names the lookup treats apart, and the top of a path (a drive, the root):
  // left to the file system. So are names that Windows finds under another
  // name: short names ("PROGRA~1") and names ending in a dot or a space.
  if (name.empty() || name == "." || name == ".." || name.find_first_of(":~") != std::string::npos ||
      name.back() == '.' || name.back() == ' ')
    return true;
  if (slash == 0 || (slash != std::string::npos && path.find_first_not_of('\\') == std::string::npos)) return true;
  const std::optional<std::set<std::string>>& names =
      listing(slash == std::string::npos ? "" : path.substr(0, slash + 1));
  return !names || names->count(upper_case(name)) > 0;
}

std::unique_ptr<RuleLineReader> ListedDiskRuleSource::open(const char* path) {
  if (!may_exist(path)) return nullptr;
  return disk_.open(path);
}
