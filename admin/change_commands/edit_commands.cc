// QVADMIN add and remove: one rule line into or out of one rule file.
#include <cstdlib>
#include <string>

#include "admin/change_commands/change_commands.h"
#include "admin/columns.h"
#include "admin/change_commands/change_steps.h"

namespace {

constexpr char kAddUsage[] =
    "usage: QVADMIN add [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--first] [--preview LOG...] [--dry-run]\n"
    "                   [--force] WHERE RULE...\n"
    "WHERE: an address (its own rule file), @DOMAIN (the domain's file), * (the server-wide file) or a\n"
    "rule file's path. RULE: the rule line's words, e.g. WHITELIST FROM @partner.example\n";
constexpr char kRemoveUsage[] =
    "usage: QVADMIN remove [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--preview LOG...] [--dry-run]\n"
    "                      (WHERE RULE... | WHERE:LINE)\n"
    "WHERE as for add; WHERE:LINE takes out the line of that number (as lint and your editor number it).\n";

// "WHERE:LINE": the line's number, or 0.
int line_of(const std::string& word, std::string& where) {
  const std::size_t colon = word.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == word.size() || colon + 10 < word.size() ||
      word.find_first_not_of("0123456789", colon + 1) != std::string::npos)
    return 0;
  where = word.substr(0, colon);
  return std::atoi(word.c_str() + colon + 1);
}

std::string joined(const std::vector<std::string>& words, std::size_t from) {
  std::string text;
  for (std::size_t i = from; i < words.size(); ++i) text += (i > from ? " " : "") + words[i];
  return text;
}

// The refusal of an edit that does not apply, on standard output.
int refused(CommandLine& line, const std::string& command, const std::string& path, const EditPlan& planned,
            const RuleEdit& edit) {
  const EditOutcome& outcome = planned.edit;
  switch (outcome.status) {
    case EditStatus::Done:
      line.out.print(planned.why + "\n");
      return kExitRefused;
    case EditStatus::AlreadyThere:
      line.out.print("The rule is in " + path + " already: nothing added.\n");
      for (const int at : outcome.lines) line.out.print(numbered(at, edit.rule) + "\n");
      return kExitRefused;
    case EditStatus::NotThere:
      line.out.print(path + " holds no line \"" + edit.rule + "\": nothing removed.\n");
      if (!outcome.closest.empty()) line.out.print("The lines most like it:\n");
      for (const auto& [at, text] : outcome.closest) line.out.print(numbered(at, text) + "\n");
      return kExitRefused;
    case EditStatus::NoSuchLine:
      line.out.print(path + " has no line " + std::to_string(edit.line) + " that the checker reads: nothing removed.\n");
      return kExitRefused;
    case EditStatus::NotARuleLine:
      line.err.print("QVADMIN " + command + ": the rule is empty or holds a tab, a line end or another control character\n");
      return kExitUsage;
  }
  return kExitRefused;
}

int run_edit(CommandLine& line, bool adding) {
  const std::string command = adding ? "add" : "remove";
  const char* usage = adding ? kAddUsage : kRemoveUsage;
  Options options;
  KnownOptions known{{"--dir", "--rules"}, {"--dry-run"}, {"--preview"}, names_log};
  if (adding) known.flags.insert(known.flags.end(), {"--first", "--force"});
  if (const std::optional<int> code = parse_command_line(line, known, command, usage, options)) return *code;
  RuleEdit edit;
  std::string where_word;
  const std::vector<std::string>& words = options.words;
  if (!adding && words.size() == 1 && (edit.line = line_of(words[0], where_word)) > 0) {
    edit.kind = EditKind::RemoveLine;
  } else if (words.size() >= 2) {
    where_word = words[0];
    edit.kind = !adding ? EditKind::Remove : options.has("--first") ? EditKind::AddFirst : EditKind::Add;
    edit.rule = joined(words, 1);
  } else {
    line.err.print("QVADMIN " + command + ": give WHERE and the rule's words" + (adding ? "" : ", or WHERE:LINE") +
                   "\n" + usage);
    return kExitUsage;
  }
  const std::optional<ChangeTrees> trees = trees_of(line, options, command);
  if (!trees) return kExitUsage;
  RuleWhere where;
  std::string why;
  if (!resolve_where(*trees, where_word, where, why)) {
    line.err.print("QVADMIN " + command + ": " + where_word + ": " + why + "\n");
    return kExitUsage;
  }
  const std::string& path = where.cascade.front();

  ChangeSteps steps;
  steps.command = command;
  steps.can_force = adding;
  steps.force = options.has("--force");
  steps.dry_run = options.has("--dry-run");
  if (options.lists.count("--preview")) steps.logs = options.lists.at("--preview");
  steps.plan = [&](ChangePlan& plan, bool) -> std::optional<int> {
    EditPlan planned = plan_edit(*trees, path, edit);
    if (planned.status == PlanStatus::Failed) {
      line.err.print("QVADMIN " + command + ": " + planned.why + "\n");
      return kExitUsage;
    }
    if (planned.status == PlanStatus::Refused) return refused(line, command, path, planned, edit);
    const FileChange& file = planned.plan.files.front();
    line.out.print(path + (file.before ? "" : " (a new file)") + "\n");
    const std::vector<std::string> lines = editor_lines(adding ? *file.after : *file.before);
    for (const int at : planned.edit.lines)
      line.out.print(join({adding ? "+" : "-", numbered(at, lines[static_cast<std::size_t>(at - 1)]), "\n"}));
    plan = std::move(planned.plan);
    return std::nullopt;
  };
  return run_change(line, steps);
}

}  // namespace

int run_add(CommandLine& line) { return run_edit(line, true); }
int run_remove(CommandLine& line) { return run_edit(line, false); }
