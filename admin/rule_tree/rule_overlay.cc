#include "admin/rule_tree/rule_overlay.h"

#include <algorithm>

#include "common/text.h"

namespace {

std::string last_name(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void RuleOverlay::put(const std::string& path, std::string bytes) {
  files_[keys_.key(path)] = File{path, std::move(bytes)};
}

void RuleOverlay::take_away(const std::string& path) { files_[keys_.key(path)] = File{path, std::nullopt}; }

const std::optional<std::string>* RuleOverlay::find(const std::string& path) const {
  const auto found = files_.find(keys_.key(path));
  return found == files_.end() ? nullptr : &found->second.bytes;
}

void RuleOverlay::adjust_listing(const std::string& directory, std::vector<DirectoryEntry>& entries) const {
  const std::string below = keys_.key(directory) + "\\";
  const auto named = [&](const std::string& name) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const DirectoryEntry& e) { return same_ignoring_case(e.name, name); });
  };
  for (const auto& [key, file] : files_) {
    if (key.size() <= below.size() || key.compare(0, below.size(), below) != 0) continue;
    const std::string rest = key.substr(below.size());
    const std::size_t slash = rest.find('\\');
    if (slash != std::string::npos) {
      // A file further down: its folder is there once it holds a new file.
      if (file.bytes && named(rest.substr(0, slash)) == entries.end())
        entries.push_back(DirectoryEntry{rest.substr(0, slash), true, false});
      continue;
    }
    const auto at = named(last_name(file.path));
    if (!file.bytes) {
      if (at != entries.end() && !at->is_directory) entries.erase(at);
    } else if (at == entries.end()) {
      entries.push_back(DirectoryEntry{last_name(file.path), false, true});
    }
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
}

std::unique_ptr<RuleLineReader> OverlayRuleSource::open(const char* path) {
  const std::optional<std::string>* bytes = overlay_.find(path);
  if (!bytes) return base_.open(path);
  if (!*bytes) return nullptr;
  return std::make_unique<BytesRuleLineReader>(**bytes);
}
