// QVADMIN promote, rollback and history: whole trees and whole changes.
#include <cstdlib>
#include <map>
#include <string>

#include "admin/change/history.h"
#include "admin/change_commands/change_commands.h"
#include "admin/change_commands/change_steps.h"

namespace {

constexpr char kPromoteUsage[] =
    "usage: QVADMIN promote [--dir PROGRAM_DIR] --rules CANDIDATE_DIR [--yes] [LOG...]\n"
    "Puts the candidate's rule files live, after lint and a replay of the LOGs; asks first, unless --yes.\n";
constexpr char kRollbackUsage[] =
    "usage: QVADMIN rollback [--dir PROGRAM_DIR] [--yes] [ID]\n"
    "Puts back the files of change ID (QVADMIN history lists them; without ID the latest change still in\n"
    "effect); asks first, unless --yes.\n";
constexpr char kHistoryUsage[] = "usage: QVADMIN history [--dir PROGRAM_DIR]\n";

void print_files(const ChangePlan& plan, Console& out) {
  for (const FileChange& file : plan.files)
    out.print(std::string(!file.before ? "  added    " : file.after ? "  changed  " : "  removed  ") + file.path + "\n");
}

}  // namespace

int run_promote(CommandLine& line) {
  Options options;
  if (const std::optional<int> code =
          parse_command_line(line, KnownOptions{{"--dir", "--rules"}, {"--yes"}}, "promote", kPromoteUsage, options))
    return *code;
  if (!options.has("--rules")) {
    line.err.print(std::string("QVADMIN promote: give the candidate tree with --rules\n") + kPromoteUsage);
    return kExitUsage;
  }
  const std::optional<ChangeTrees> trees = trees_of(line, options, "promote");
  if (!trees) return kExitUsage;
  ChangeSteps steps;
  steps.command = "promote";
  steps.logs = options.words;
  steps.confirm = true;
  steps.yes = options.has("--yes");
  bool nothing = false;
  steps.plan = [&](ChangePlan& plan, bool again) -> std::optional<int> {
    std::string why;
    if (!plan_promote(*trees, plan, why)) {
      line.err.print("QVADMIN promote: " + why + "\n");
      return kExitUsage;
    }
    if (plan.files.empty()) {
      line.out.print("The live rule files are the candidate's already: nothing to promote.\n");
      nothing = true;
      return 0;
    }
    line.out.print((again ? "Planned again: " : "") + std::string("promote ") + trees->tree + " to " +
                   (trees->live.empty() ? "." : trees->live) + ", in this order:\n");
    print_files(plan, line.out);
    return std::nullopt;
  };
  return run_change(line, steps);
}

int run_rollback(CommandLine& line) {
  Options options;
  if (const std::optional<int> code =
          parse_command_line(line, KnownOptions{{"--dir"}, {"--yes"}}, "rollback", kRollbackUsage, options))
    return *code;
  int id = 0;
  if (options.words.size() > 1 ||
      (options.words.size() == 1 && ((id = std::atoi(options.words[0].c_str())) <= 0 ||
                                     options.words[0].find_first_not_of("0123456789") != std::string::npos))) {
    line.err.print(std::string("QVADMIN rollback: give at most one ID, a number QVADMIN history shows\n") +
                   kRollbackUsage);
    return kExitUsage;
  }
  const std::optional<ChangeTrees> trees = trees_of(line, options, "rollback");
  if (!trees) return kExitUsage;
  ChangeSteps steps;
  steps.command = "rollback";
  steps.check = false;  // what was live before is put back, findings and all
  steps.confirm = true;
  steps.yes = options.has("--yes");
  steps.plan = [&](ChangePlan& plan, bool again) -> std::optional<int> {
    std::string why;
    switch (plan_rollback(trees->tree, id, plan, why)) {
      case PlanStatus::Planned:
        break;
      case PlanStatus::Refused:
        line.out.print("Nothing rolled back: " + why + ".\n");
        return kExitRefused;
      case PlanStatus::Failed:
        line.err.print("QVADMIN rollback: " + why + "\n");
        return kExitUsage;
    }
    id = plan.rolls_back;  // planned again, the same change
    line.out.print(std::string(again ? "Planned again: " : "") + plan.what + "\nin this order:\n");
    print_files(plan, line.out);
    return std::nullopt;
  };
  return run_change(line, steps);
}

int run_history(CommandLine& line) {
  Options options;
  if (const std::optional<int> code =
          parse_command_line(line, KnownOptions{{"--dir"}, {}}, "history", kHistoryUsage, options))
    return *code;
  if (!options.words.empty()) {
    line.err.print(std::string("QVADMIN history: unexpected word ") + options.words[0] + "\n" + kHistoryUsage);
    return kExitUsage;
  }
  const std::optional<ChangeTrees> trees = trees_of(line, options, "history");
  if (!trees) return kExitUsage;
  std::vector<HistoryEntry> entries;
  std::string why;
  if (!read_history(trees->tree, entries, why)) {
    line.err.print("QVADMIN history: " + why + "\n");
    return kExitUsage;
  }
  if (entries.empty()) {
    line.out.print("No change in the history of " + (trees->tree.empty() ? std::string(".") : trees->tree) + ".\n");
    return 0;
  }
  std::map<int, int> rolled_back_by;
  for (const HistoryEntry& e : entries)
    if (e.rolls_back) rolled_back_by[e.rolls_back] = e.id;
  const int latest = latest_in_effect(entries);
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    line.out.print((e == entries.rbegin() ? "" : "\n") + std::to_string(e->id) + "  " + e->time + "  " + e->account +
                   "  " + e->command + "\n  " + e->what + "\n");
    for (const HistoryFile& f : e->files)
      line.out.print(std::string(f.before_hash.empty() ? "  added    " : f.after_hash.empty() ? "  removed  " : "  changed  ") +
                     f.path + "\n");
    if (!e->done)
      line.out.print("  interrupted before every file was in place: QVADMIN rollback " + std::to_string(e->id) +
                     " puts back those that were\n");
    if (rolled_back_by.count(e->id))
      line.out.print("  rolled back by change " + std::to_string(rolled_back_by[e->id]) + "\n");
    if (e->id == latest) line.out.print("  QVADMIN rollback without an ID puts this change back\n");
  }
  return 0;
}
