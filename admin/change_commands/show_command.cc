// QVADMIN show: the rule files of WHERE as the checker's cascade reads them,
// each line numbered as an editor numbers it, lint's findings beside it.
#include <algorithm>
#include <climits>
#include <map>
#include <string>

#include "admin/change/change_plan.h"
#include "admin/change_commands/change_commands.h"
#include "admin/change_commands/change_steps.h"
#include "admin/lint/lint_report.h"
#include "admin/lint/lint_run.h"
#include "admin/rule_tree/rule_tree.h"
#include "common/host.h"

namespace {

void print_file(const std::string& bytes, std::vector<Finding>& findings, Console& out) {
  const std::vector<std::string> lines = editor_lines(bytes);
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) { return a.line < b.line; });
  std::size_t next = 0;
  const auto findings_up_to = [&](int line) {
    for (; next < findings.size() && findings[next].line <= line; ++next)
      out.print("        " + finding_text(findings[next]) + "\n");
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out.print(numbered(static_cast<int>(i) + 1, lines[i]) + "\n");
    findings_up_to(static_cast<int>(i) + 1);
  }
  findings_up_to(INT_MAX);
}

}  // namespace

const Usage kShowUsage = {
    "QVADMIN show [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] WHERE\n",
    "\n"
    "Shows the rule files the checker reads for WHERE, in the order of its cascade: each line\n"
    "numbered as your editor numbers it, lint's findings below the lines they concern.\n"
    "\n"
    "  WHERE                  ADDRESS (its own file, then its domain's and the server-wide\n"
    "                         file), @DOMAIN (the domain's file, then the server-wide one),\n"
    "                         * (the server-wide file), or the path of a rule file\n"
    "  --dir PROGRAM_DIR      the live program directory (default: the directory of QVADMIN\n"
    "                         itself)\n"
    "  --rules CANDIDATE_DIR  show a candidate tree's files\n"
    "\n"
    "Exit code: 0, or 2 for a mistake on the command line.\n",
};

int run_show(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--dir", "--rules"}, {}}, options, code)) return code;
  if (options.words.size() != 1) return mistake(line, "give one WHERE");
  const std::optional<ChangeTrees> trees = trees_of(line, options);
  if (!trees) return kExitUsage;
  RuleWhere where;
  std::string why;
  if (!resolve_where(*trees, options.words[0], where, why)) return mistake(line, options.words[0] + ": " + why);
  LintRequest request;
  request.program_directory = trees->tree;
  request.files = where.cascade;
  LintResult lint;
  if (!lint_rules(request, lint)) {
    line.err.print(line.command + ": cannot read the directory " + trees->tree + ": " + host_error_text() + "\n");
    return kExitUsage;
  }
  PathKeys keys;
  std::map<std::string, std::vector<Finding>> findings;
  for (LintedFile& file : lint.files) {
    std::vector<Finding>& of_file = findings[keys.key(file.path)];
    of_file.insert(of_file.end(), file.lint.findings.begin(), file.lint.findings.end());
  }
  for (std::size_t i = 0; i < where.cascade.size(); ++i) {
    const std::string& path = where.cascade[i];
    line.out.print((i ? "\n" : "") + where.levels[i] + " rule file " + path + "\n");
    std::string bytes;
    const FileKind kind = host_file_kind(path.c_str());
    if (kind == FileKind::Missing) {
      line.out.print(i + 1 < where.cascade.size() ? "  no such file: the cascade goes on to the next one\n"
                                                  : "  no such file: it decides nothing\n");
    } else if (!host_read_file(path.c_str(), kMaxRuleFileBytes, bytes)) {
      line.out.print("  cannot be read: " + host_error_text() + "\n");
    } else {
      print_file(bytes, findings[keys.key(path)], line.out);
    }
  }
  return 0;
}
