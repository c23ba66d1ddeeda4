// replay as a library call: the messages of past activity logs through a
// candidate rule tree, each message whose verdict changes as one line, and
// the counts. The replay command prints them; the rule-change commands show
// what a change would have done.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "admin/activity_log/log_walk.h"
#include "common/console.h"

class ReplayHits;
struct HitLine;
class RuleOverlay;

struct ReplayRequest {
  std::string live;       // the program directory, as the checker's paths name it
  std::string candidate;  // the tree replayed against; the live one for the rules as they are
  std::vector<std::string> logs;  // command-line words: paths, wildcards
  ReplayHits* hits = nullptr;     // counts what decided each message, when given
  std::string command = "QVADMIN replay";  // names the command in what goes to err
  std::FILE* standard_input = nullptr;     // the log "-", when there is one
  // The candidate's files as a change not yet written leaves them (path
  // texts below the candidate); nullptr: as on the disk.
  const RuleOverlay* overlay = nullptr;
  // When given, only the messages to the recipients it takes (upper case, as
  // logged) are replayed and counted: a console session's scope.
  std::function<bool(std::string_view recipient)> takes;
  // When given, told where the line of each changed message begins in its
  // log and the result it now gets, just before on_change gets the line.
  std::function<void(const std::string& log, std::uint64_t offset, ResultKind now)> changed_at;
};

// The kinds of change counted, from a verdict to another or the same verdict
// from another file of the cascade.
enum class Change {
  WhitelistedToBlacklisted,
  WhitelistedToNone,
  BlacklistedToWhitelisted,
  BlacklistedToNone,
  NoneToWhitelisted,
  NoneToBlacklisted,
  OtherFile,
};
inline constexpr int kChangeKinds = 7;
// "whitelisted -> blacklisted", as the summary names the kind.
const char* change_name(Change change);

struct ReplayTally {
  long logs = 0, unreadable = 0;
  long replayed = 0, unchanged = 0, changed = 0;
  std::array<long, kChangeKinds> changes{};
  long uncertain = 0, uncertain_different = 0;
  long envelope_problems = 0, unopenable = 0;
  LogCounts lines;
  std::vector<std::string> without_no_action;
};

// Replays the logs; every message whose verdict changes goes to on_change as
// its line (ending with a line end), in the order of the logs; a log that
// cannot be read is said on err.
ReplayTally replay_logs(const ReplayRequest& request, const std::function<void(const std::string&)>& on_change,
                        Console& err);

// The counts as replay prints them after the change lines; heading names the
// tree replayed against.
std::string replay_summary(const ReplayTally& tally, const std::string& heading);

// What `QVADMIN replay --dir DIRECTORY --hits LOG...` lists after its summary:
// every rule, STRICT and NO DOMAIN line of the tree below the directory (and
// of the files its REDIRECTs reach) with the messages of the logs it decided.
// Logs that cannot be read add nothing.
// takes, when given, as in ReplayRequest.
std::vector<HitLine> replay_hits(const std::string& directory, const std::vector<std::string>& logs,
                                 const std::function<bool(std::string_view recipient)>& takes = {});
