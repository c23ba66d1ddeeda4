#include "admin/change/change_write.h"

#include <algorithm>

#include "admin/change/history.h"
#include "common/host.h"
#include "common/text.h"

namespace {

// A file's bytes go beside it under this name first, then take its place.
std::string temporary_of(const std::string& path) { return path + ".qvadmin-new"; }

bool has_control_char(const std::string& text) {
  return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
}

bool put(const FileChange& file, const std::optional<std::string>& bytes) {
  if (bytes) return host_install_file(file.path.c_str(), temporary_of(file.path).c_str(), *bytes);
  return host_file_kind(file.path.c_str()) == FileKind::Missing || host_remove_file(file.path.c_str());
}

class HistoryLock {
 public:
  explicit HistoryLock(HostLock* lock) : lock_(lock) {}
  ~HistoryLock() { host_unlock(lock_); }
  HistoryLock(const HistoryLock&) = delete;
  HistoryLock& operator=(const HistoryLock&) = delete;

 private:
  HostLock* lock_;
};

// Temporaries a stopped run left beside the files of the plan, and of the
// entry it rolls back.
void remove_leftovers(const ChangePlan& plan) {
  std::vector<std::string> paths;
  for (const FileChange& file : plan.files) paths.push_back(file.path);
  std::vector<HistoryEntry> entries;
  std::string why;
  if (plan.rolls_back && read_history(plan.trees.tree, entries, why))
    for (const HistoryEntry& entry : entries)
      if (entry.id == plan.rolls_back)
        for (const HistoryFile& file : entry.files) paths.push_back(file.path);
  for (const std::string& path : paths)
    if (host_file_kind(temporary_of(path).c_str()) == FileKind::Regular) host_remove_file(temporary_of(path).c_str());
}

std::vector<std::string> stale_files(const ChangePlan& plan) {
  std::vector<std::string> stale;
  for (const FileChange& file : plan.files) {
    std::optional<std::string> now;
    const FileKind kind = host_file_kind(file.path.c_str());
    if (kind != FileKind::Missing) {
      std::string bytes;
      if (kind != FileKind::Regular || !host_read_file(file.path.c_str(), kMaxRuleFileBytes, bytes)) {
        stale.push_back(file.path);
        continue;
      }
      now = std::move(bytes);
    }
    if (now != file.before) stale.push_back(file.path);
  }
  return stale;
}

}  // namespace

WriteOutcome write_change(const ChangePlan& plan, const ChangeAuthor& author) {
  WriteOutcome out;
  for (const FileChange& file : plan.files)
    if (has_control_char(file.path)) {
      out.why = "a path holds a control character: " + printable(file.path);
      return out;
    }
  bool created = false;
  const std::string folder = history_folder(plan.trees.tree);
  if (!host_make_directory(folder.c_str(), created)) {
    out.why = "cannot make the history folder " + folder + ": " + host_error_text();
    return out;
  }
  HostLock* lock = host_lock((folder + "lock").c_str(), kHistoryLockWaitMs);
  if (!lock) {
    out.why = "cannot lock the history " + folder + "lock (another QVADMIN changing rules?): " + host_error_text();
    return out;
  }
  const HistoryLock held(lock);
  discard_unfinished(plan.trees.tree);
  remove_leftovers(plan);
  out.stale = stale_files(plan);
  if (!out.stale.empty()) {
    out.status = WriteStatus::Stale;
    return out;
  }

  HistoryWrite history{plan.trees.tree, {}};
  if (!begin_entry(plan, author.account, author.command, history, out.why)) {
    if (history.entry.id) discard_entry(history);
    return out;
  }
  std::vector<std::string> made;
  bool ok = true;
  for (const std::string& path : plan.folders) {
    if (!host_make_directory(path.c_str(), created)) {
      out.why = "cannot make the folder " + path + ": " + host_error_text();
      ok = false;
      break;
    }
    if (created) made.push_back(path);
  }
  std::size_t placed = 0;
  for (; ok && placed < plan.files.size(); ++placed) {
    const FileChange& file = plan.files[placed];
    if (!file.after && placed > 0 && plan.files[placed - 1].after) host_sleep_ms(kRemovalGraceMs);
    if (!put(file, file.after)) {
      out.why = file.path + (file.after ? " cannot be put in place: " : " cannot be removed: ") + host_error_text();
      ok = false;
      break;
    }
  }
  if (!ok) {
    // Back as it was, newest first; the entry goes when that succeeds.
    bool restored = true;
    while (placed-- > 0) restored = put(plan.files[placed], plan.files[placed].before) && restored;
    for (auto path = made.rbegin(); path != made.rend(); ++path) host_remove_empty_directory(path->c_str());
    if (restored)
      discard_entry(history);
    else
      out.why += "; some files stay changed: QVADMIN rollback " + std::to_string(history.entry.id) + " puts them back";
    return out;
  }
  if (plan.rolls_back) {
    // Folders the rolled-back change made go when they are empty now.
    std::vector<HistoryEntry> entries;
    std::string ignored;
    if (read_history(plan.trees.tree, entries, ignored))
      for (const HistoryEntry& entry : entries)
        if (entry.id == plan.rolls_back)
          for (auto path = entry.folders.rbegin(); path != entry.folders.rend(); ++path)
            host_remove_empty_directory(path->c_str());
  }
  out.entry = history.entry.id;
  if (!finish_entry(history, out.why)) {
    out.why = "the change is in place, but its history entry " + std::to_string(out.entry) + " is not finished: " + out.why;
    return out;
  }
  out.status = WriteStatus::Written;
  return out;
}
