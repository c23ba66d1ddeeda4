#include "admin/change_commands/change_steps.h"

#include <cstdio>

#include "admin/activity_log/log_files.h"
#include "admin/change/change_check.h"
#include "admin/change/change_write.h"
#include "admin/columns.h"
#include "admin/lint/lint_report.h"
#include "admin/rule_text/rule_text.h"
#include "common/host.h"
#include "common/text.h"

namespace {

constexpr int kWriteAttempts = 5;

void print_findings(const std::vector<ChangeFinding>& findings, Console& out) {
  LintTally ignored;
  for (const ChangeFinding& f : findings) {
    std::vector<Finding> one{f.finding};
    print_findings(f.file, one, out, ignored);
  }
}

// Lint before and after; false when the change is refused.
std::optional<int> checked(CommandLine& line, const ChangeSteps& steps, const ChangePlan& plan) {
  const ChangeCheck check = check_change(plan);
  if (!check.done) {
    line.err.print(line.command + ": " + check.why + "\n");
    return kExitUsage;
  }
  if (check.added.empty()) {
    line.out.print("Lint: no new findings.\n");
  } else {
    line.out.print("Lint: the change brings " + counted(check.added_errors, "error") + " and " +
                   counted(check.added_warnings, "warning") + ":\n");
    print_findings(check.added, line.out);
  }
  if (!check.errors_before.empty())
    line.out.print(join({"(", counted(static_cast<long long>(check.errors_before.size()), "error"),
                         " already there before the change; QVADMIN lint shows them.)\n"}));
  if (check.added_errors > 0 && !steps.force) {
    line.out.print(std::string("Refused: the change brings errors; nothing written") +
                   (steps.can_force ? " (--force writes it all the same).\n" : ".\n"));
    return kExitRefused;
  }
  return std::nullopt;
}

std::optional<int> previewed(CommandLine& line, const ChangeSteps& steps, const ChangePlan& plan) {
  line.out.print("\nReplay of the logs against the rules with the change:\n");
  const ChangePreview preview =
      preview_change(plan, steps.logs, kPreviewChanges, line.command, line.err);
  for (const std::string& change : preview.changes) line.out.print(change);
  if (preview.more > 0) line.out.print("... " + std::to_string(preview.more) + " more\n");
  line.out.print(replay_summary(preview.tally, "Replayed against the rule files with the change"));
  if (preview.tally.unreadable > 0) {
    line.err.print(line.command + ": a log cannot be read: nothing written\n");
    return kExitUsage;
  }
  line.out.print("\n");
  return std::nullopt;
}

bool confirmed(CommandLine& line, const ChangeSteps& steps) {
  if (steps.yes) return true;
  if (!host_input_is_terminal()) {
    line.out.print("Nothing written: give --yes to write it.\n");
    return false;
  }
  line.out.print("Write it? [y/N] ");
  line.out.flush();
  char answer[64] = "";
  if (!std::fgets(answer, sizeof answer, stdin)) answer[0] = '\0';
  const std::string word = upper_case(trim_spaces(cut_at_control_char(answer)));
  if (word == "Y" || word == "YES") return true;
  line.out.print("Nothing written.\n");
  return false;
}

}  // namespace

std::optional<ChangeTrees> trees_of(CommandLine& line, const Options& options) {
  ChangeTrees trees;
  trees.live = program_directory_option(line, options.value("--dir"));
  trees.tree = options.has("--rules") ? program_directory_option(line, options.value("--rules")) : trees.live;
  for (const auto& [option, directory] : {std::pair{"--dir", &trees.live}, {"--rules", &trees.tree}}) {
    if (!options.has(option) && option != std::string("--dir")) continue;
    if (!readable_directory(directory->empty() ? "." : *directory)) {
      line.err.print(line.command + ": " + (options.has(option) ? std::string(option) + " " : "") +
                     (directory->empty() ? "." : *directory) + ": cannot be read: " + host_error_text() + "\n");
      return std::nullopt;
    }
  }
  return trees;
}

int run_change(CommandLine& line, const ChangeSteps& steps) {
  for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
    ChangePlan plan;
    if (const std::optional<int> code = steps.plan(plan, attempt > 0)) return *code;
    if (steps.check)
      if (const std::optional<int> code = checked(line, steps, plan)) return *code;
    if (attempt == 0) {
      if (!steps.logs.empty())
        if (const std::optional<int> code = previewed(line, steps, plan)) return *code;
      if (steps.dry_run) {
        line.out.print("Dry run: nothing written.\n");
        return 0;
      }
      if (steps.confirm && !confirmed(line, steps)) return kExitRefused;
    }
    const WriteOutcome written = write_change(plan, ChangeAuthor{host_account_name(), command_text(line)});
    switch (written.status) {
      case WriteStatus::Written:
        line.out.print("Written as change " + std::to_string(written.entry) + " (QVADMIN rollback " +
                       std::to_string(written.entry) + " undoes it).\n");
        return 0;
      case WriteStatus::Stale:
        for (const std::string& path : written.stale)
          line.out.print(path + " changed since it was read: the change is planned again on its new content.\n");
        break;
      case WriteStatus::Failed:
        line.err.print(line.command + ": " + written.why + "\n");
        return kExitUsage;
    }
  }
  line.err.print(line.command + ": the files kept changing while the change was written: nothing written\n");
  return kExitUsage;
}

std::string command_text(const CommandLine& line) {
  std::string text = line.command;
  for (const std::string& arg : line.args)
    text += arg.find_first_of(" \t\"") == std::string::npos && !arg.empty() ? " " + arg : " \"" + arg + "\"";
  return text;
}

std::string numbered(int line, const std::string& text) {
  std::string number = std::to_string(line);
  if (number.size() < 6) number.insert(0, 6 - number.size(), ' ');
  return number + "  " + printable(text);
}

bool names_log(const std::string& word) {
  return word.size() > 4 && same_ignoring_case(std::string_view(word).substr(word.size() - 4), ".LOG");
}
