#include "admin/change/change_plan.h"

#include <algorithm>
#include <map>

#include "admin/columns.h"
#include "admin/replay/kept_rules.h"
#include "admin/rule_tree/rule_tree.h"
#include "checker/rule_line.h"
#include "checker/rule_reader.h"
#include "common/host.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

std::string parent_of(const std::string& path) {
  std::size_t slash = path.find_last_of('\\');
  while (slash != std::string::npos && slash > 0 && path[slash - 1] == '\\') --slash;
  return slash == std::string::npos ? "" : path.substr(0, slash);
}

bool in_history_folder(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t end; start <= path.size(); start = end + 1) {
    end = std::min(path.find('\\', start), path.size());
    if (same_ignoring_case(std::string_view(path).substr(start, end - start), kHistoryFolder)) return true;
  }
  return false;
}

std::string quoted(const std::string& text) { return join({"\"", printable(text), "\""}); }

std::string what_of(const std::string& path, const RuleEdit& edit, const EditOutcome& outcome) {
  const std::string at = outcome.lines.empty() ? "" : std::to_string(outcome.lines.front());
  switch (edit.kind) {
    case EditKind::Add:
    case EditKind::AddFirst:
      return "added " + quoted(edit.rule) + " at line " + at + " of " + path;
    case EditKind::Remove:
      return "removed " + quoted(edit.rule) + " from " + path;
    case EditKind::RemoveLine:
      return "removed line " + at + " of " + path;
    case EditKind::MoveUp:
    case EditKind::MoveDown:
      return "moved line " + std::to_string(edit.line) + " of " + path + (edit.kind == EditKind::MoveUp ? " up" : " down");
  }
  return "";
}

// Where the checker reads a file in a run: a $default$ file before the
// other files of its folder, a folder before the folders below it.
int read_rank(const std::string& path) {
  int depth = 0;
  for (std::size_t i = 1; i < path.size(); ++i)
    if (path[i] == '\\' && path[i - 1] != '\\') ++depth;
  const std::size_t slash = path.rfind('\\');
  const bool is_default = same_ignoring_case(path.substr(slash == std::string::npos ? 0 : slash + 1), "$default$.QUORVANT");
  return 2 * depth + (is_default ? 0 : 1);
}

}  // namespace

std::vector<std::string> missing_folders(const std::string& path) {
  std::vector<std::string> folders;
  for (std::string folder = parent_of(path); !folder.empty() && host_file_kind(folder.c_str()) == FileKind::Missing;
       folder = parent_of(folder))
    folders.insert(folders.begin(), folder);
  return folders;
}

RuleOverlay overlay_of(const ChangePlan& plan) {
  RuleOverlay overlay;
  for (const FileChange& file : plan.files) {
    if (file.after)
      overlay.put(file.path, *file.after);
    else
      overlay.take_away(file.path);
  }
  return overlay;
}

bool resolve_where(const ChangeTrees& trees, const std::string& word, RuleWhere& where, std::string& why) {
  where = RuleWhere{};
  const bool address = word.find('@') != std::string::npos && word.find_first_of("\\/") == std::string::npos;
  if (word == "*" || address) {
    const bool whole = address && word[0] != '@';
    // Read as explain --to reads an address: a "To:" line of an envelope.
    const Cascade cascade =
        cascade_of_envelope(trees.tree, "TO: " + (word == "*" ? "A@B" : whole ? word : "A" + word) + "\r\n");
    if (cascade.recipient.empty()) {
      why = "the checker reads no rule file for a recipient " + word + ": it ends the run as a bad or missing address";
      return false;
    }
    static const char* const kLevels[] = {"User", "Domain", "Program"};
    PathKeys keys;
    for (std::size_t level = word == "*" ? 2 : whole ? 0 : 1; level < 3; ++level) {
      const std::string& path = cascade.paths[level];
      if (path.empty()) continue;
      if (!where.cascade.empty() && keys.key(where.cascade.back()) == keys.key(path)) continue;
      where.cascade.push_back(path);
      where.levels.push_back(kLevels[level]);
    }
  } else if (!word.empty()) {
    std::string path = host_path_argument(word.c_str());
    if (!trees.live.empty() && !same_ignoring_case(trees.live, trees.tree))
      path = DirectoryMap{trees.live, trees.tree}(path.c_str());
    where.cascade = {path};
    where.levels = {"Rule file"};
  }
  if (where.cascade.empty()) {
    why = "names no rule file";
    return false;
  }
  if (host_names_device(where.cascade[0].c_str())) {
    why = where.cascade[0] + " is a name Windows takes for a device: the checker never opens it";
    return false;
  }
  if (in_history_folder(where.cascade[0])) {
    why = where.cascade[0] + " lies in the history folder, which the checker never reads";
    return false;
  }
  return true;
}

EditPlan plan_edit(const ChangeTrees& trees, const std::string& path, const RuleEdit& edit) {
  EditPlan out;
  out.plan.trees = trees;
  std::optional<std::string> before;
  switch (host_file_kind(path.c_str())) {
    case FileKind::Link:
      out.status = PlanStatus::Refused;
      out.why = path + " is a link: change the file it leads to instead, so that every file sharing it changes alike";
      return out;
    case FileKind::Other:
      out.status = PlanStatus::Refused;
      out.why = path + " is not a regular file";
      return out;
    case FileKind::Regular: {
      std::string bytes;
      if (!host_read_file(path.c_str(), kMaxRuleFileBytes, bytes)) {
        out.status = PlanStatus::Failed;
        out.why = path + " cannot be read: " + host_error_text();
        return out;
      }
      before = std::move(bytes);
      break;
    }
    case FileKind::Missing:
      out.plan.folders = missing_folders(path);
      break;
  }
  out.edit = apply_edit(before.value_or(""), edit);
  if (out.edit.status != EditStatus::Done) {
    out.status = PlanStatus::Refused;
    return out;
  }
  out.plan.files = {FileChange{path, before, out.edit.bytes}};
  out.plan.what = what_of(path, edit, out.edit);
  return out;
}

std::vector<std::string> redirect_targets(const std::string& bytes) {
  std::vector<std::string> targets;
  TextReader text(bytes.data(), bytes.size());
  TextRuleLineReader reader(text);
  RuleLine line;
  while (reader.next(line)) {
    RedirectWords words;
    if (!line.skipped && line.text[0] != '#' && classify_rule_line(line.text) == RuleLineKind::Redirect &&
        split_redirect(line.text, words))
      targets.push_back(words.file);
    if (line.counter > kRuleLineLimit) break;
  }
  return targets;
}

void order_for_writing(std::vector<FileChange>& files) {
  PathKeys keys;
  std::map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < files.size(); ++i) index[keys.key(files[i].path)] = i;
  // needs[i]: the files that must be written before file i.
  std::vector<std::vector<std::size_t>> needs(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::optional<std::string>& bytes = files[i].after ? files[i].after : files[i].before;
    if (!bytes) continue;
    for (const std::string& target : redirect_targets(*bytes)) {
      const auto found = index.find(keys.key(target));
      if (found == index.end() || found->second == i) continue;
      const std::size_t t = found->second;
      if (files[i].after && files[t].after) needs[i].push_back(t);     // the target first
      if (!files[i].after && !files[t].after) needs[t].push_back(i);   // taken away: the file naming it first
    }
  }
  // Files put in place, then files taken away. Within each, in the reverse
  // of the order a checker run reads them (the program's file, the domains'
  // files, the others), as far as the needs allow (a loop is broken where it
  // closes): a run that meets a new file then meets only new files, so it
  // sees one of the trees the writing passes through.
  std::vector<std::size_t> by_rank(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) by_rank[i] = i;
  std::stable_sort(by_rank.begin(), by_rank.end(),
                   [&](std::size_t a, std::size_t b) { return read_rank(files[a].path) < read_rank(files[b].path); });
  std::vector<FileChange> ordered;
  std::vector<int> state(files.size(), 0);  // 0 new, 1 on the way, 2 placed
  const auto place = [&](auto&& self, std::size_t i) -> void {
    if (state[i] != 0) return;
    state[i] = 1;
    for (const std::size_t before : needs[i]) self(self, before);
    state[i] = 2;
    ordered.push_back(std::move(files[i]));
  };
  for (const bool putting : {true, false})
    for (const std::size_t i : by_rank)
      if (state[i] == 0 && files[i].after.has_value() == putting) place(place, i);
  files = std::move(ordered);
}

const char* change_word(const FileChange& file) { return !file.before ? "added" : file.after ? "changed" : "removed"; }
