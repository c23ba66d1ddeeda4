// The plan of a promote: the candidate tree's rule files against the live
// tree's, by their names below each (letter case aside).
#include <algorithm>
#include <map>

#include "admin/change/change_plan.h"
#include "admin/rule_tree/rule_tree.h"
#include "common/host.h"
#include "common/text.h"

namespace {

struct Found {
  std::string path;
  bool regular = true;
};

// The rule files below root by their names below it (upper case).
bool rule_files(const std::string& root, std::map<std::string, Found>& files, std::string& why) {
  RuleTree tree;
  if (!walk_rule_tree(root, tree)) {
    why = "cannot read the directory " + (root.empty() ? std::string(".") : root);
    return false;
  }
  if (!tree.unreadable_directories.empty()) {
    why = "cannot read the directory " + tree.unreadable_directories.front();
    return false;
  }
  for (const TreeFile& file : tree.files) {
    std::string below = file.path.substr(root.size());
    below.erase(0, below.find_first_not_of('\\'));
    files[upper_case(below)] = Found{file.path, file.regular};
  }
  return true;
}

bool read(const std::string& path, std::string& bytes, std::string& why) {
  if (host_read_file(path.c_str(), kMaxRuleFileBytes, bytes)) return true;
  why = path + " cannot be read: " + host_error_text();
  return false;
}

}  // namespace

bool plan_promote(const ChangeTrees& trees, ChangePlan& plan, std::string& why) {
  plan = ChangePlan{};
  plan.trees = {trees.live, trees.live};
  PathKeys keys;
  const std::string live_key = keys.key(trees.live), candidate_key = keys.key(trees.tree);
  const auto inside = [](const std::string& a, const std::string& b) {
    return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == '\\');
  };
  if (inside(live_key, candidate_key) || inside(candidate_key, live_key)) {
    why = "the candidate and the live directory must lie apart, neither inside the other";
    return false;
  }
  std::map<std::string, Found> live, candidate;
  if (!rule_files(trees.live, live, why) || !rule_files(trees.tree, candidate, why)) return false;
  std::size_t added = 0, changed = 0, removed = 0;
  for (const auto& [name, file] : candidate) {
    if (!file.regular) {
      why = file.path + " is not a regular file";
      return false;
    }
    FileChange change;
    std::string bytes;
    if (!read(file.path, bytes, why)) return false;
    change.after = std::move(bytes);
    const auto there = live.find(name);
    if (there == live.end()) {
      // Named below the live directory as the candidate names it.
      std::string below = file.path.substr(trees.tree.size());
      below.erase(0, below.find_first_not_of('\\'));
      change.path = trees.live + below;
      ++added;
      for (const std::string& folder : missing_folders(change.path))
        if (std::find(plan.folders.begin(), plan.folders.end(), folder) == plan.folders.end())
          plan.folders.push_back(folder);
    } else {
      if (!there->second.regular) {
        why = there->second.path + " is not a regular file";
        return false;
      }
      change.path = there->second.path;
      if (!read(change.path, bytes, why)) return false;
      if (bytes == *change.after) continue;
      change.before = std::move(bytes);
      ++changed;
    }
    plan.files.push_back(std::move(change));
  }
  for (const auto& [name, file] : live) {
    if (candidate.count(name)) continue;
    if (!file.regular) continue;  // no file of the checker's: left alone
    std::string bytes;
    if (!read(file.path, bytes, why)) return false;
    plan.files.push_back(FileChange{file.path, std::move(bytes), std::nullopt});
    ++removed;
  }
  order_for_writing(plan.files);
  plan.what = "promoted " + trees.tree + ": " + std::to_string(added) + " added, " + std::to_string(changed) +
              " changed, " + std::to_string(removed) + " removed";
  return true;
}
