// What a planned change does before it is written: lint of the tree before
// and after (the findings it brings), and replay of past activity logs
// against the tree as the change leaves it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "admin/change/change_plan.h"
#include "admin/lint/lint_finding.h"
#include "admin/replay/replay_run.h"
#include "common/console.h"

struct ChangeFinding {
  std::string file;  // as lint names it
  Finding finding;
};

struct ChangeCheck {
  bool done = false;  // false: the tree could not be linted (why)
  std::string why;
  // Findings after the change that were not there before (a finding is the
  // same when it is of the same check, file and line text), and the errors
  // that were there already.
  std::vector<ChangeFinding> added;
  std::vector<ChangeFinding> errors_before;
  int added_errors = 0, added_warnings = 0;
};

// Lints the tree changed (every rule file below it, the files the change
// writes, and what their REDIRECTs reach) as it is and as the change leaves it.
ChangeCheck check_change(const ChangePlan& plan);

// The first changed messages a preview shows.
inline constexpr std::size_t kPreviewChanges = 20;

struct ChangedAt {
  std::string log;           // as given
  std::uint64_t offset = 0;  // where the message's line begins
  ResultKind now = ResultKind::NoAction;
};

struct ChangePreview {
  ReplayTally tally;
  std::vector<std::string> changes;  // the first change lines
  std::vector<ChangedAt> places;     // where each of them is logged
  long more = 0;                     // change lines beyond them
};

// Replays the logs against the tree as the change leaves it; at most limit
// change lines are kept. A log that cannot be read is said on err, after
// command. takes, when given, limits the messages replayed to those of the
// recipients it takes.
ChangePreview preview_change(const ChangePlan& plan, const std::vector<std::string>& logs, std::size_t limit,
                             const std::string& command, Console& err,
                             const std::function<bool(std::string_view recipient)>& takes = {});
