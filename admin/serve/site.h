// The console's state, shared by the server's threads: what it serves, the
// sessions, the activity-log index. answer() (router.cc) is the one way in
// for a request; pages reach the logs and the engines through here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "admin/change/change_check.h"
#include "admin/change/change_plan.h"
#include "admin/replay/replay_hits.h"
#include "admin/serve/http_message.h"
#include "admin/serve/log_index.h"
#include "admin/serve/query.h"
#include "admin/serve/sessions.h"
#include "common/host.h"

struct SiteConfig {
  std::string directory;    // the program directory, ending with a backslash (or empty)
  int days = 30;            // of activity logs
  // Where the candidate tree is kept (ending with a backslash), "" for none:
  // named on the command line, never by a request.
  std::string candidate;
  std::string token_file;   // "" for none
  std::string start_token;  // the token made at start, "" for none
  // The Host header values answered, compared without regard to letter case.
  std::vector<std::string> hosts;
};

// Kept per request, within the console's memory budget.
struct SiteLimits {
  static constexpr std::size_t kPageLines = 100;        // activity lines per page
  static constexpr int kShownFileLines = 2000;          // lines of a rule file shown
  static constexpr std::size_t kShownFileBytes = 1 << 20;
};

class Site {
 public:
  explicit Site(SiteConfig config);

  // The answer to a request; never throws.
  Response answer(const Request& request);

  const SiteConfig& config() const { return config_; }
  // The Host header values answered, once the server knows its port.
  void answer_to(std::vector<std::string> hosts) { config_.hosts = std::move(hosts); }

  // The index, brought up to date first.
  ActivityAnswer activity(const ActivityFilter& filter, const Scope& scope, std::size_t first, std::size_t count);
  std::optional<LoggedLine> message(const std::string& log, std::uint64_t offset);
  std::vector<IndexedLog> logs();
  struct IndexSize {
    std::size_t messages, bytes;
    bool full;
  };
  IndexSize index_size();

  // The paths of the logs of the last days, newest first, that are there.
  std::vector<std::string> log_paths(int days);
  // The name of the log of a day given as in a request, "mmdd" (1207 for
  // QEL1207.LOG), among the days shown; "" for any other text.
  std::string log_of_day(const std::string& day);

  // Runs an engine (lint, replay, report) over the whole tree or the logs:
  // one at a time, so that their memory budgets do not add up.
  template <typename Run>
  auto engine(const Run& run) {
    HostThreadLockHold hold(engine_lock_);
    return run();
  }

  Sessions& sessions() { return sessions_; }

 private:
  void refresh_index();

  SiteConfig config_;
  Sessions sessions_;
  HostThreadLock index_lock_;
  LogIndex index_;
  HostThreadLock engine_lock_;
};

// How a request names a log's day: "mmdd".
std::string day_of_log(const std::string& log_name);

// The answer with the headers every answer has: no script, nothing from
// elsewhere, never in a frame, no sniffing, no referrer, not kept.
Response protect(Response response);

// What a page gets.
struct PageContext {
  Site& site;
  const Session& session;
  const Fields& query;
};

Response activity_page(const PageContext& context);
Response message_page(const PageContext& context);
Response rules_page(const PageContext& context);
Response report_page(const PageContext& context);
Response health_page(const PageContext& context);
Response change_page(const PageContext& context);
Response apply_page(const PageContext& context);
Response history_page(const PageContext& context);
Response rollback_page(const PageContext& context);
Response undo_page(const PageContext& context);
Response edit_page(const PageContext& context);
Response save_page(const PageContext& context);
Response candidate_page(const PageContext& context);
Response start_candidate_page(const PageContext& context);
Response discard_candidate_page(const PageContext& context);
Response promote_page(const PageContext& context);
Response put_live_page(const PageContext& context);

// The tree a request works on: the live one, or with the field tree=candidate
// (which the router lets through only to a session that sees everything, once
// a candidate is there) the candidate.
bool on_candidate(const PageContext& context);
const std::string& tree_of(const PageContext& context);
ChangeTrees change_trees(const PageContext& context);
// The fields of a link, with {"tree", "candidate"} on a page of the candidate.
std::vector<std::pair<std::string, std::string>> with_tree(const PageContext& context,
                                                           std::vector<std::pair<std::string, std::string>> fields);
// A hidden field of a form for that, or "".
std::string tree_input(const PageContext& context);
// A candidate is there: its folder holds a rule file or a history.
bool candidate_there(const std::string& directory);

// What every preview of a change shows before Apply: lint's new findings
// (of path alone, for a scoped session) and replay of the last days' logs
// against the tree with the change. blocked: the change brings an error.
std::string preview_sections(const PageContext& context, const ChangePlan& plan, const std::string& path, int days,
                             bool& blocked);
// The replay part of it alone: the counts by kind of change and the first
// changed messages, each linked.
std::string replay_section(const PageContext& context, const ChangePreview& preview, int days);
// The rows of a table.diff: the lines the change takes out (-) and puts in
// (+), numbered, between the lines before and after it begins and ends with.
std::string diff_rows(const std::string& before, const std::string& after);
// Who made a change at the console, as the change log names it.
std::string console_author(const Session& session);
