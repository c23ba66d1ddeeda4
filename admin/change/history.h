// The history of the rule changes made to a tree, in its history folder
// ($history$, which the checker never reads): for each change a numbered
// entry folder with its manifest (change.txt) and the bytes of each file
// before (N.old) and after (N.new) the change, and a change log
// (changes.log) with one line for each change done.
#pragma once

#include <string>
#include <vector>

#include "admin/change/change_plan.h"

struct HistoryFile {
  std::string path;
  std::string before_hash, after_hash;  // SHA-256; empty: no file
};

struct HistoryEntry {
  int id = 0;
  std::string time;     // ISO 8601 with the UTC offset
  std::string account;  // who made it
  std::string command;  // how
  std::string what;
  int rolls_back = 0;  // the entry a rollback put back
  bool done = false;   // false: interrupted before every file was in place
  std::vector<HistoryFile> files;
  std::vector<std::string> folders;  // made by the change
};

// tree + "$history$\".
std::string history_folder(const std::string& tree);

// Every entry, oldest first; none when the tree has no history. False (with
// why) when the history cannot be read.
bool read_history(const std::string& tree, std::vector<HistoryEntry>& entries, std::string& why);

// The bytes an entry kept of its file number `file`, as they were before or
// after the change.
bool kept_bytes(const std::string& tree, const HistoryEntry& entry, std::size_t file, bool before, std::string& bytes,
                std::string& why);

// The entry a rollback without an ID puts back: the latest change (no
// rollback itself) whose files are still as it left them, as far as the
// history tells; 0 when there is none.
int latest_in_effect(const std::vector<HistoryEntry>& entries);

// The plan that puts back the files of entry id (0: latest_in_effect): each
// file as the change left it gets its bytes from before the change (a file
// the change made goes); a file already as before is left alone. Refused
// (why) when a file has changed since, or there is nothing to put back.
PlanStatus plan_rollback(const std::string& tree, int id, ChangePlan& plan, std::string& why);

// Writing entries, for write_change: each call with the history locked.
struct HistoryWrite {
  std::string tree;
  HistoryEntry entry;
};
// Makes the next entry: keeps the bytes of every file of the plan, then
// writes its manifest (the entry exists from then on).
bool begin_entry(const ChangePlan& plan, const std::string& account, const std::string& command, HistoryWrite& write,
                 std::string& why);
// Marks the entry done and adds its line to the change log.
bool finish_entry(HistoryWrite& write, std::string& why);
// Removes the entry (nothing of it was put in place).
void discard_entry(const HistoryWrite& write);
// Removes the entry folders that never got their manifest (a run stopped
// while it kept the bytes).
void discard_unfinished(const std::string& tree);
