#include "admin/change/history.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "common/host.h"
#include "common/sha256.h"
#include "common/text.h"

namespace {

constexpr char kManifest[] = "change.txt";
constexpr char kChangeLog[] = "changes.log";

std::string entry_folder(const std::string& tree, int id) {
  return history_folder(tree) + std::to_string(id) + "\\";
}

std::string kept_name(std::size_t file, bool before) { return std::to_string(file + 1) + (before ? ".old" : ".new"); }

// A text on one line of the manifest or the log.
std::string one_line(const std::string& text) { return printable(text); }

std::string hash_word(const std::string& hash) { return hash.empty() ? "-" : hash; }

std::string two_digits(int n) {
  const char digits[] = {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10), '\0'};
  return digits;
}

std::string iso_time() {
  const LocalTime t = host_local_time();
  const int offset = host_utc_offset_minutes();
  const int minutes = offset < 0 ? -offset : offset;
  return std::to_string(t.year) + "-" + two_digits(t.month) + "-" + two_digits(t.day) + "T" + two_digits(t.hour) + ":" +
         two_digits(t.minute) + ":" + two_digits(t.second) + (offset < 0 ? "-" : "+") + two_digits(minutes / 60) +
         ":" + two_digits(minutes % 60);
}

std::string manifest_text(const HistoryEntry& e) {
  std::string text = "id " + std::to_string(e.id) + "\r\ntime " + e.time + "\r\naccount " + one_line(e.account) +
                     "\r\ncommand " + one_line(e.command) + "\r\nwhat " + one_line(e.what) + "\r\n";
  if (e.rolls_back) text += "rolls-back " + std::to_string(e.rolls_back) + "\r\n";
  for (const std::string& folder : e.folders) text += "folder " + folder + "\r\n";
  for (const HistoryFile& f : e.files)
    text += "file " + hash_word(f.before_hash) + " " + hash_word(f.after_hash) + " " + f.path + "\r\n";
  if (e.done) text += "done\r\n";
  return text;
}

bool parse_manifest(const std::string& text, HistoryEntry& e) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
    if (key == "id") e.id = std::atoi(value.c_str());
    else if (key == "time") e.time = value;
    else if (key == "account") e.account = value;
    else if (key == "command") e.command = value;
    else if (key == "what") e.what = value;
    else if (key == "rolls-back") e.rolls_back = std::atoi(value.c_str());
    else if (key == "folder") e.folders.push_back(value);
    else if (key == "done") e.done = true;
    else if (key == "file") {
      const std::size_t second = value.find(' ');
      const std::size_t third = second == std::string::npos ? second : value.find(' ', second + 1);
      if (third == std::string::npos) return false;
      HistoryFile f;
      f.before_hash = value.substr(0, second);
      f.after_hash = value.substr(second + 1, third - second - 1);
      f.path = value.substr(third + 1);
      for (std::string* hash : {&f.before_hash, &f.after_hash})
        if (*hash == "-") hash->clear();
      e.files.push_back(std::move(f));
    }
  }
  return e.id > 0;
}

// The entry folders' numbers, and whether each has its manifest.
bool entry_ids(const std::string& tree, std::map<int, bool>& ids, std::string& why) {
  std::vector<DirectoryEntry> entries;
  const std::string folder = history_folder(tree);
  if (host_file_kind(folder.c_str()) == FileKind::Missing) return true;
  if (!host_list_directory(folder.c_str(), entries)) {
    why = "cannot read the history folder " + folder;
    return false;
  }
  for (const DirectoryEntry& entry : entries) {
    if (!entry.is_directory || entry.name.find_first_not_of("0123456789") != std::string::npos ||
        entry.name.size() > 9 || entry.name[0] == '0')
      continue;
    const int id = std::atoi(entry.name.c_str());
    ids[id] = host_file_kind((entry_folder(tree, id) + kManifest).c_str()) == FileKind::Regular;
  }
  return true;
}

std::string current_hash(const std::string& path, std::optional<std::string>& bytes, std::string& why) {
  bytes.reset();
  if (host_file_kind(path.c_str()) == FileKind::Missing) return "";
  std::string read;
  if (!host_read_file(path.c_str(), kMaxRuleFileBytes, read)) {
    why = path + " cannot be read: " + host_error_text();
    return "?";
  }
  bytes = std::move(read);
  return sha256_hex(*bytes);
}

void remove_folder(const std::string& folder) {
  std::vector<DirectoryEntry> entries;
  if (host_list_directory(folder.c_str(), entries))
    for (const DirectoryEntry& entry : entries) {
      if (!entry.is_directory) host_remove_file((folder + entry.name).c_str());
    }
  host_remove_empty_directory(folder.c_str());
}

}  // namespace

std::string history_folder(const std::string& tree) { return tree + kHistoryFolder + "\\"; }

bool read_history(const std::string& tree, std::vector<HistoryEntry>& entries, std::string& why) {
  entries.clear();
  std::map<int, bool> ids;
  if (!entry_ids(tree, ids, why)) return false;
  for (const auto& [id, complete] : ids) {
    if (!complete) continue;
    std::string text;
    HistoryEntry entry;
    const std::string manifest = entry_folder(tree, id) + kManifest;
    const bool read = host_read_file(manifest.c_str(), kMaxRuleFileBytes, text);
    if (!read || !parse_manifest(text, entry) || entry.id != id) {
      why = manifest + " cannot be read: " + (read ? "not a manifest of QVADMIN's" : host_error_text());
      return false;
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

bool kept_bytes(const std::string& tree, const HistoryEntry& entry, std::size_t file, bool before, std::string& bytes,
                std::string& why) {
  const std::string path = entry_folder(tree, entry.id) + kept_name(file, before);
  if (!host_read_file(path.c_str(), kMaxRuleFileBytes, bytes)) {
    why = path + " cannot be read: " + host_error_text();
    return false;
  }
  const std::string& hash = before ? entry.files[file].before_hash : entry.files[file].after_hash;
  if (sha256_hex(bytes) == hash) return true;
  why = path + ": its SHA-256 is not the one the history recorded";
  return false;
}

int latest_in_effect(const std::vector<HistoryEntry>& entries) {
  std::map<int, const HistoryEntry*> by_id;
  std::map<int, bool> in_effect;
  for (const HistoryEntry& e : entries) {
    by_id[e.id] = &e;
    in_effect[e.id] = true;
    // Putting back an entry undoes it; when that entry was a rollback
    // itself, what it undid is in effect again, and so on down the chain.
    bool effect = false;
    for (int id = e.rolls_back; id && by_id.count(id); id = by_id[id]->rolls_back, effect = !effect)
      in_effect[id] = effect;
  }
  for (auto e = entries.rbegin(); e != entries.rend(); ++e)
    if (!e->rolls_back && in_effect[e->id]) return e->id;
  return 0;
}

PlanStatus plan_rollback(const std::string& tree, int id, ChangePlan& plan, std::string& why) {
  plan = ChangePlan{};
  plan.trees = {tree, tree};
  std::vector<HistoryEntry> entries;
  if (!read_history(tree, entries, why)) return PlanStatus::Failed;
  if (entries.empty()) {
    why = "no change in the history of " + (tree.empty() ? std::string(".") : tree);
    return PlanStatus::Refused;
  }
  if (id == 0 && (id = latest_in_effect(entries)) == 0) {
    why = "every change in the history has been rolled back (name one by its ID to roll back a rollback)";
    return PlanStatus::Refused;
  }
  const auto entry = std::find_if(entries.begin(), entries.end(), [&](const HistoryEntry& e) { return e.id == id; });
  if (entry == entries.end()) {
    why = "no change " + std::to_string(id) + " in the history";
    return PlanStatus::Refused;
  }
  plan.rolls_back = id;
  plan.what = "rollback of change " + std::to_string(id) + ": " + entry->what;
  for (std::size_t i = 0; i < entry->files.size(); ++i) {
    const HistoryFile& f = entry->files[i];
    std::optional<std::string> now;
    const std::string hash = current_hash(f.path, now, why);
    if (hash == "?") return PlanStatus::Failed;
    if (hash == f.before_hash) continue;  // as before already
    if (hash != f.after_hash) {
      why = f.path + " has changed since change " + std::to_string(id) +
            ": roll back the later changes first, or change the file by hand";
      return PlanStatus::Refused;
    }
    FileChange change{f.path, std::move(now), std::nullopt};
    if (!f.before_hash.empty()) {
      std::string bytes;
      if (!kept_bytes(tree, *entry, i, true, bytes, why)) return PlanStatus::Failed;
      change.after = std::move(bytes);
      if (!change.before)
        for (const std::string& folder : missing_folders(f.path))
          if (std::find(plan.folders.begin(), plan.folders.end(), folder) == plan.folders.end())
            plan.folders.push_back(folder);
    }
    plan.files.push_back(std::move(change));
  }
  // An interrupted change whose files are all as before (stopped before its
  // first file went in place) is rolled back all the same, with no file to
  // write: the temporary it may have left goes, and the history no longer
  // counts it in effect.
  if (plan.files.empty() && entry->done) {
    why = "the files of change " + std::to_string(id) + " are as they were before it already";
    return PlanStatus::Refused;
  }
  order_for_writing(plan.files);
  return PlanStatus::Planned;
}

bool begin_entry(const ChangePlan& plan, const std::string& account, const std::string& command, HistoryWrite& write,
                 std::string& why) {
  std::map<int, bool> ids;
  if (!entry_ids(write.tree, ids, why)) return false;
  HistoryEntry& e = write.entry;
  e = HistoryEntry{};
  e.id = ids.empty() ? 1 : ids.rbegin()->first + 1;
  e.time = iso_time();
  e.account = account;
  e.command = command;
  e.what = plan.what;
  e.rolls_back = plan.rolls_back;
  e.folders = plan.folders;
  bool created = false;
  const std::string folder = entry_folder(write.tree, e.id);
  if (!host_make_directory(folder.c_str(), created)) {
    why = "cannot make " + folder + ": " + host_error_text();
    return false;
  }
  for (std::size_t i = 0; i < plan.files.size(); ++i) {
    const FileChange& f = plan.files[i];
    HistoryFile kept{f.path, f.before ? sha256_hex(*f.before) : "", f.after ? sha256_hex(*f.after) : ""};
    for (const bool before : {true, false}) {
      const std::optional<std::string>& bytes = before ? f.before : f.after;
      const std::string path = folder + kept_name(i, before);
      if (bytes && !host_install_file(path.c_str(), (path + ".tmp").c_str(), *bytes)) {
        why = "cannot keep " + path + ": " + host_error_text();
        return false;
      }
    }
    e.files.push_back(std::move(kept));
  }
  const std::string manifest = folder + kManifest;
  if (!host_install_file(manifest.c_str(), (manifest + ".tmp").c_str(), manifest_text(e))) {
    why = "cannot write " + manifest + ": " + host_error_text();
    return false;
  }
  return true;
}

bool finish_entry(HistoryWrite& write, std::string& why) {
  HistoryEntry& e = write.entry;
  e.done = true;
  const std::string manifest = entry_folder(write.tree, e.id) + kManifest;
  if (!host_install_file(manifest.c_str(), (manifest + ".tmp").c_str(), manifest_text(e))) {
    why = "cannot write " + manifest + ": " + host_error_text();
    return false;
  }
  std::string line = e.time + " #" + std::to_string(e.id) + " " + one_line(e.account) + ": " + one_line(e.command) +
                     " | " + one_line(e.what);
  for (const HistoryFile& f : e.files)
    line += " | " + f.path + " " + (f.before_hash.empty() ? "none" : f.before_hash) + " -> " +
            (f.after_hash.empty() ? "none" : f.after_hash);
  line += "\r\n";
  const std::string log = history_folder(write.tree) + kChangeLog;
  if (!host_append(log.c_str(), line.data(), line.size())) {
    why = "cannot add to " + log;
    return false;
  }
  return true;
}

void discard_entry(const HistoryWrite& write) { remove_folder(entry_folder(write.tree, write.entry.id)); }

void discard_unfinished(const std::string& tree) {
  std::map<int, bool> ids;
  std::string why;
  if (!entry_ids(tree, ids, why)) return;
  for (const auto& [id, complete] : ids)
    if (!complete) remove_folder(entry_folder(tree, id));
}
