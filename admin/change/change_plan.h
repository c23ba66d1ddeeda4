// A rule change as data, before anything is written: the files it puts in
// place (with their bytes as read and as they will be) or takes away, in the
// order they go in place. The rule-change commands, and any other caller,
// take a change through its steps one by one: plan it here, check and
// preview it (change_check.h), write and record it (change_write.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "admin/change/rule_edit.h"
#include "admin/rule_tree/rule_overlay.h"

// The most a rule file may hold for QVADMIN to change it: the checker reads
// at most 501 lines of 99 characters.
inline constexpr std::size_t kMaxRuleFileBytes = 16u << 20;

// The trees a change concerns. Path texts ending with a backslash (or empty:
// the current directory).
struct ChangeTrees {
  std::string live;  // the program directory
  std::string tree;  // the tree changed: the live one or a candidate; its history folder keeps the change
};

struct FileChange {
  std::string path;                   // path text
  std::optional<std::string> before;  // the bytes as read; nullopt: there was no file
  std::optional<std::string> after;   // nullopt: the change takes the file away
};
// "added", "changed" or "removed".
const char* change_word(const FileChange& file);

struct ChangePlan {
  ChangeTrees trees;
  std::vector<FileChange> files;     // in the order they go in place
  std::vector<std::string> folders;  // made before the files, parents first
  std::string what;                  // what the change does, for the history
  int rolls_back = 0;                // the history entry a rollback puts back
};

// The files as the change leaves them, over the disk.
RuleOverlay overlay_of(const ChangePlan& plan);

// The rule files WHERE names, as the checker finds them below the tree: an
// address (its own file, then its domain's and the server-wide file, as the
// cascade reads them), "@domain" (the domain's file, then the server-wide
// one), "*" (the server-wide file) or the path of a rule file (a REDIRECT
// target; one naming the live directory is read below the tree). The first
// is the file an edit changes.
struct RuleWhere {
  std::vector<std::string> cascade;  // path texts
  std::vector<std::string> levels;   // "User", "Domain", "Program", "Rule file", for each
};
bool resolve_where(const ChangeTrees& trees, const std::string& word, RuleWhere& where, std::string& why);

enum class PlanStatus {
  Planned,
  Refused,  // the edit does not apply (see edit) or the file cannot be changed safely (why)
  Failed,   // the file cannot be read (why)
};

struct EditPlan {
  PlanStatus status = PlanStatus::Planned;
  std::string why;
  EditOutcome edit;  // what the edit found
  ChangePlan plan;
};

// One edit of the file at path (a path text), on its bytes as they are now.
EditPlan plan_edit(const ChangeTrees& trees, const std::string& path, const RuleEdit& edit);

// The candidate tree put live: every *.QUORVANT below it (the history folder
// aside) in place of the live file of the same name, and every live one it
// lacks taken away. False (with why) when it cannot be planned.
bool plan_promote(const ChangeTrees& trees, ChangePlan& plan, std::string& why);

// Puts the files in the order that never lets a checker run meet a REDIRECT
// to a file not there yet: files put in place before those whose new bytes
// REDIRECT to them, and after them the files taken away, each before those
// its old bytes REDIRECT to (write_change waits a moment before them, for
// runs that read the old bytes). Otherwise the server-wide file goes first,
// then the domains' files, then the others, the reverse of the order a checker
// run reads them: a run that meets a new file meets only new files after it,
// so it sees one of the trees the writing passes through.
void order_for_writing(std::vector<FileChange>& files);

// The folders to make for a new file at path, parents first.
std::vector<std::string> missing_folders(const std::string& path);

// The REDIRECT targets the checker reads in a rule file of these bytes.
std::vector<std::string> redirect_targets(const std::string& bytes);
