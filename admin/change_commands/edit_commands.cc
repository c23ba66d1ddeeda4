// QVADMIN add and remove: one rule line into or out of one rule file.
#include <cstdlib>
#include <string>

#include "admin/change_commands/change_commands.h"
#include "admin/columns.h"
#include "admin/change_commands/change_steps.h"

namespace {

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
int refused(CommandLine& line, const std::string& path, const EditPlan& planned, const RuleEdit& edit) {
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
      return mistake(line, "the rule is empty or holds a tab, a line end or another control character");
  }
  return kExitRefused;
}

int run_edit(CommandLine& line, bool adding) {
  Options options;
  KnownOptions known{{"--dir", "--rules"}, {"--dry-run"}, {"--preview"}, names_log};
  if (adding) known.flags.insert(known.flags.end(), {"--first", "--force"});
  if (int code; !read_options(line, known, options, code)) return code;
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
    return mistake(line, std::string("give WHERE and the rule's words") + (adding ? "" : ", or WHERE:LINE"));
  }
  const std::optional<ChangeTrees> trees = trees_of(line, options);
  if (!trees) return kExitUsage;
  RuleWhere where;
  std::string why;
  if (!resolve_where(*trees, where_word, where, why)) return mistake(line, where_word + ": " + why);
  const std::string& path = where.cascade.front();

  ChangeSteps steps;
  steps.can_force = adding;
  steps.force = options.has("--force");
  steps.dry_run = options.has("--dry-run");
  if (options.lists.count("--preview")) steps.logs = options.lists.at("--preview");
  steps.plan = [&](ChangePlan& plan, bool) -> std::optional<int> {
    EditPlan planned = plan_edit(*trees, path, edit);
    if (planned.status == PlanStatus::Failed) {
      line.err.print(line.command + ": " + planned.why + "\n");
      return kExitUsage;
    }
    if (planned.status == PlanStatus::Refused) return refused(line, path, planned, edit);
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

const Usage kAddUsage = {
    "QVADMIN add [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--first] [--preview LOG...] [--dry-run]\n"
    "            [--force] WHERE RULE...\n",
    "\n"
    "Adds a rule line to the rule file WHERE names, after its last line, or before its first rule\n"
    "with --first; a file or domain folder not there yet is made. The changed file and what it\n"
    "reaches are linted first: a change that brings an error is refused. The file's old bytes go\n"
    "to the history (QVADMIN history), and the new file takes the old one's place in one step.\n"
    "\n"
    "  WHERE                  ADDRESS (that recipient's own file, as the checker names it),\n"
    "                         @DOMAIN (the domain's file), * (the server-wide file), or the\n"
    "                         path of a rule file (a REDIRECT target)\n"
    "  RULE                   the rule line's words: WHITELIST FROM @partner.example\n"
    "  --dir PROGRAM_DIR      the live program directory (default: the directory of QVADMIN\n"
    "                         itself)\n"
    "  --rules CANDIDATE_DIR  change a candidate tree instead of the live one\n"
    "  --first                before the file's first rule, so that it is tested first\n"
    "  --preview LOG...       replay the logs against the rules with the change first and\n"
    "                         show what it changes (LOG words end with .LOG; repeat\n"
    "                         --preview for others)\n"
    "  --dry-run              show all that, and write nothing\n"
    "  --force                write a change that brings lint errors all the same\n"
    "\n"
    "Exit code: 0 done, 1 refused (the rule is there already, lint errors), 2 a mistake on the\n"
    "command line or a failure.\n",
};

const Usage kRemoveUsage = {
    "QVADMIN remove [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--preview LOG...] [--dry-run]\n"
    "               (WHERE RULE... | WHERE:LINE)\n",
    "\n"
    "Takes a rule line out of the rule file WHERE names: every line that is the rule (letter\n"
    "case aside), or the line of that number (as lint and your editor number it). Checked,\n"
    "kept in the history and written as add does.\n"
    "\n"
    "  WHERE, --dir, --rules, --preview, --dry-run  as for QVADMIN add\n"
    "\n"
    "Exit code: 0 done, 1 refused (no such rule: the lines most like it are shown), 2 a\n"
    "mistake on the command line or a failure.\n",
};

int run_add(CommandLine& line) { return run_edit(line, true); }
int run_remove(CommandLine& line) { return run_edit(line, false); }
