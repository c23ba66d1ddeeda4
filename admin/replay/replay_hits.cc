#include "admin/replay/replay_hits.h"

#include <algorithm>
#include <vector>

#include "admin/columns.h"
#include "admin/rule_tree/rule_tree.h"
#include "checker/rule_line.h"
#include "checker/rule_reader.h"
#include "common/host.h"
#include "common/text.h"

namespace {

// The same file whatever the letter case, with "\\" as the checker writes it
// before the program rule file's name, and with ".\\" or without.
std::string file_key(const std::string& path) {
  std::string key;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    const std::string component = path.substr(start, end - start);
    // An empty first component is the root of an absolute path.
    if (start == 0 && component.empty() && end < path.size()) key += '\\';
    if (!component.empty() && component != ".") {
      if (!key.empty() && key.back() != '\\') key += '\\';
      key += upper_case(component);
    }
    start = end + 1;
  }
  return key;
}

void tree_files(const std::string& directory, int depth, std::vector<std::string>& out) {
  std::vector<DirectoryEntry> entries;
  if (depth > 8 || !host_list_directory(directory.c_str(), entries)) return;
  for (const DirectoryEntry& entry : entries) {
    const std::string path = directory + entry.name;
    if (entry.is_directory)
      tree_files(path + "\\", depth + 1, out);
    else if (entry.is_file && is_rule_file_name(entry.name))
      out.push_back(path);
  }
}

}  // namespace

ReplayHits::File& ReplayHits::file(const std::string& path) {
  auto known = keys_.find(path);
  if (known == keys_.end()) {
    std::string key = file_identity_key(path);
    if (key.empty()) key.append(1, '?').append(file_key(path));
    known = keys_.emplace(path, std::move(key)).first;
  }
  File& f = files_[known->second];
  if (f.path.empty()) f.path = path;
  return f;
}

void ReplayHits::count(const std::string& path, int counter) { ++file(path).decided[counter]; }

std::vector<HitLine> ReplayHits::lines(const std::string& candidate_directory) {
  std::vector<std::string> tree;
  tree_files(candidate_directory, 0, tree);
  for (const std::string& path : tree) file(path).path = path;
  std::vector<const File*> by_name;
  for (const auto& [key, f] : files_) by_name.push_back(&f);
  std::sort(by_name.begin(), by_name.end(),
            [](const File* a, const File* b) { return file_key(a->path) < file_key(b->path); });

  std::vector<HitLine> lines;
  DiskRuleSource disk;
  for (const File* file : by_name) {
    const File& f = *file;
    std::unique_ptr<RuleLineReader> reader = disk.open(f.path.c_str());
    if (!reader) continue;
    RuleLine line;
    while (reader->next(line)) {
      if (line.skipped) continue;
      const RuleLineKind kind = is_comment(line.text) ? RuleLineKind::Invalid : classify_rule_line(line.text);
      const auto decided = f.decided.find(line.counter);
      const bool decides = kind == RuleLineKind::FromRule || kind == RuleLineKind::SubjectRule ||
                           kind == RuleLineKind::Strict || kind == RuleLineKind::NoDomain;
      if (decided != f.decided.end() || decides)
        lines.push_back({f.path, line.editor_line, line.text, decided == f.decided.end() ? 0 : decided->second});
      if (ends_reading(line)) break;
    }
  }
  return lines;
}

void ReplayHits::print(const std::string& candidate_directory, Console& out) {
  std::vector<HitLine> all = lines(candidate_directory);
  std::string file, shown;
  for (HitLine& l : all) {
    if (l.file != file) shown = host_native_path((file = l.file).c_str());
    l.file = shown;
  }
  out.print("\nMessages decided by each line\n");
  for (const HitLine& l : all)
    if (l.decided > 0) out.print(right(l.decided) + "\t" + l.file + ":" + std::to_string(l.line) + "  " + l.text + "\n");
  out.print("\nUnused in this mail: rules that decided no message\n");
  for (const HitLine& l : all)
    if (l.decided == 0) out.print("\t" + l.file + ":" + std::to_string(l.line) + "  " + l.text + "\n");
}
