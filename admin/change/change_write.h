// Writing a planned change: with the tree's history locked, every file is
// checked to be still as the plan read it, the history keeps the bytes
// before and after, then each file goes in place with one rename (or is
// removed) in the plan's order, and the history records the change as done.
#pragma once

#include <string>
#include <vector>

#include "admin/change/change_plan.h"

struct ChangeAuthor {
  std::string account;  // who makes the change
  std::string command;  // how (a command line, a page's action)
};

enum class WriteStatus {
  Written,
  Stale,   // a file changed since the plan read it (stale): nothing was written; plan again
  Failed,  // why; the files are as they were, unless why says otherwise
};

struct WriteOutcome {
  WriteStatus status = WriteStatus::Failed;
  std::string why;
  int entry = 0;                   // Written: the history entry
  std::vector<std::string> stale;  // Stale: the files that changed
};

// How long a write waits for another one on the same tree to finish.
inline constexpr int kHistoryLockWaitMs = 10000;

// How long files taken away stay after the last file put in place: a
// checker run that read a file's old bytes just before it was replaced opens
// the files read after it (a REDIRECT target those bytes name, the domain's
// and the server-wide file) a moment later, and must still find them.
inline constexpr int kRemovalGraceMs = 1000;

WriteOutcome write_change(const ChangePlan& plan, const ChangeAuthor& author);
