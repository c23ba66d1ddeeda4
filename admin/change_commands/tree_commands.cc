// QVADMIN promote, rollback and history: whole trees and whole changes.
#include <cstdlib>
#include <map>
#include <string>

#include "admin/change/history.h"
#include "admin/change_commands/change_commands.h"
#include "admin/change_commands/change_steps.h"
#include "admin/columns.h"

namespace {

void print_files(const ChangePlan& plan, Console& out) {
  for (const FileChange& file : plan.files) {
    const std::string word = change_word(file);
    out.print("  " + word + std::string(9 - word.size(), ' ') + file.path + "\n");
  }
}

}  // namespace

const Usage kPromoteUsage = {
    "QVADMIN promote [--dir PROGRAM_DIR] --rules CANDIDATE_DIR [--yes] [LOG...]\n",
    "\n"
    "Puts a candidate tree live as one change: every *.QUORVANT below it in place of the live\n"
    "file of the same name, and every live one it lacks taken away. First the files it adds,\n"
    "changes and removes, lint of the tree as it would be (an error the live tree does not\n"
    "have refuses it) and replay of the LOGs; then, asked or with --yes, each file goes in\n"
    "place with one rename, REDIRECT targets before the files that name them. The live files\n"
    "are kept in the history first: QVADMIN rollback puts them all back.\n"
    "\n"
    "  --dir PROGRAM_DIR      the live program directory (default: the directory of QVADMIN\n"
    "                         itself)\n"
    "  --rules CANDIDATE_DIR  the candidate tree\n"
    "  --yes                  write without asking\n"
    "  LOG                    activity logs to replay first (* and ? allowed)\n"
    "\n"
    "Exit code: 0 done (or nothing to promote), 1 refused or not confirmed, 2 a mistake on the\n"
    "command line or a failure.\n",
};

const Usage kRollbackUsage = {
    "QVADMIN rollback [--dir PROGRAM_DIR] [--yes] [ID]\n",
    "\n"
    "Puts back the files of change ID, as QVADMIN history numbers the changes (without ID, the\n"
    "latest change that is still in effect): each file as the change left it gets its bytes\n"
    "from before the change, a file the change made is removed. A file that has changed since\n"
    "refuses the rollback. The rollback is a change of its own, so it can be rolled back.\n"
    "\n"
    "  --dir PROGRAM_DIR  the program directory (or a candidate tree) whose history it is\n"
    "  --yes              write without asking\n"
    "\n"
    "Exit code: 0 done, 1 refused or not confirmed, 2 a mistake on the command line or a\n"
    "failure.\n",
};

const Usage kHistoryUsage = {
    "QVADMIN history [--dir PROGRAM_DIR]\n",
    "\n"
    "Lists the changes add, remove, promote and rollback made, newest first: the ID, when\n"
    "(with the UTC offset), the account, the command, what it did and the files. The history\n"
    "is the folder $history$ in the program directory (its change log changes.log holds a line\n"
    "for each change with the SHA-256 of every file before and after).\n"
    "\n"
    "Exit code: 0, or 2 for a mistake on the command line or a history that cannot be read.\n",
};

int run_promote(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--dir", "--rules"}, {"--yes"}}, options, code)) return code;
  if (!options.has("--rules")) return mistake(line, "give the candidate tree with --rules");
  const std::optional<ChangeTrees> trees = trees_of(line, options);
  if (!trees) return kExitUsage;
  ChangeSteps steps;
  steps.logs = options.words;
  steps.confirm = true;
  steps.yes = options.has("--yes");
  bool nothing = false;
  steps.plan = [&](ChangePlan& plan, bool again) -> std::optional<int> {
    std::string why;
    if (!plan_promote(*trees, plan, why)) {
      line.err.print(line.command + ": " + why + "\n");
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
  if (int code; !read_options(line, {{"--dir"}, {"--yes"}}, options, code)) return code;
  int id = 0;
  if (options.words.size() > 1 ||
      (options.words.size() == 1 && (options.words[0].find_first_not_of("0123456789") != std::string::npos ||
                                     options.words[0].size() > 9 || (id = std::atoi(options.words[0].c_str())) <= 0)))
    return mistake(line, "give at most one ID, a number QVADMIN history shows");
  const std::optional<ChangeTrees> trees = trees_of(line, options);
  if (!trees) return kExitUsage;
  ChangeSteps steps;
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
        line.err.print(line.command + ": " + why + "\n");
        return kExitUsage;
    }
    id = plan.rolls_back;  // planned again, the same change
    line.out.print(std::string(again ? "Planned again: " : "") + plan.what + "\n");
    line.out.print(plan.files.empty() ? "It was stopped before its first file went in place: no file to put back.\n"
                                      : "in this order:\n");
    print_files(plan, line.out);
    return std::nullopt;
  };
  return run_change(line, steps);
}

int run_history(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--dir"}, {}}, options, code)) return code;
  if (!options.words.empty()) return mistake(line, "unexpected word " + options.words[0]);
  const std::optional<ChangeTrees> trees = trees_of(line, options);
  if (!trees) return kExitUsage;
  std::vector<HistoryEntry> entries;
  std::string why;
  if (!read_history(trees->tree, entries, why)) {
    line.err.print(line.command + ": " + why + "\n");
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
    if (e != entries.rbegin()) line.out.print("\n");
    line.out.print(join({std::to_string(e->id), "  ", e->time, "  ", e->account, "  ", e->command, "\n  ", e->what, "\n"}));
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
