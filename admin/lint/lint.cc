#include "admin/lint/lint.h"

#include <string>

#include "admin/activity_log/log_files.h"
#include "admin/lint/lint_report.h"
#include "admin/lint/lint_run.h"
#include "admin/options.h"
#include "common/host.h"

namespace {


}  // namespace

const Usage kLintUsage = {
    "QVADMIN lint [--dir PROGRAM_DIR] [--from-dir DIR] [--werror] [--notes] [FILE...]\n",
    "\n"
    "Reads rule files as QUORVANT reads them and reports the traps of the rule format, one\n"
    "finding a line: FILE:LINE: error|warning|note: message [check]. Without FILE words it\n"
    "checks every *.QUORVANT below the program directory; with them, those files. Either way\n"
    "also every file their REDIRECT lines name.\n"
    "\n"
    "  --dir PROGRAM_DIR  the directory of QUORVANT.EXE and its rule files (default: the\n"
    "                     directory of QVADMIN itself)\n"
    "  --from-dir DIR     the directory the mail filter starts QUORVANT in: relative REDIRECT\n"
    "                     paths count from there (default: the current directory)\n"
    "  --werror           a warning fails the run too\n"
    "  --notes            also print notes (they never fail a run)\n"
    "\n"
    "Exit code: 1 when an error was found (with --werror also a warning), else 0; 2 for a\n"
    "mistake on the command line or a program directory that cannot be read.\n",
};

int run_lint(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--dir", "--from-dir"}, {"--werror", "--notes"}}, options, code)) return code;
  LintRequest request;
  request.notes = options.has("--notes");
  request.program_directory = program_directory_option(line, options.value("--dir"));
  if (const std::string* word = options.value("--from-dir")) {
    request.start_directory = program_directory_option(line, word);
    if (!readable_directory(request.start_directory))
      return mistake(line, "--from-dir " + *word + ": not a directory that can be read: " + host_error_text());
  }
  for (const std::string& word : options.words) request.files.push_back(host_path_argument(word.c_str()));
  request.tree = request.files.empty();
  // Each file printed as soon as its findings are known.
  LintTally tally;
  request.each_file = [&](const LintedFile& file) {
    if (file.read) ++tally.files;
    std::vector<Finding> findings = file.lint.findings;
    print_findings(host_native_path(file.path.c_str()), findings, line.out, tally);
  };
  LintResult result;
  if (!lint_rules(request, result)) {
    line.err.print("QVADMIN lint: cannot read the program directory " +
                   (request.program_directory.empty() ? "." : request.program_directory) + ": " + host_error_text() +
                   "\n");
    return kExitUsage;
  }
  for (const std::string& trouble : result.troubles) line.err.print("QVADMIN lint: " + trouble + "\n");
  tally.errors += static_cast<int>(result.troubles.size());
  if (result.no_rule_files) {
    // Lint in the wrong directory must not say that all is well.
    ++tally.warnings;
    line.out.print(host_native_path(request.program_directory.empty() ? "." : request.program_directory.c_str()) +
                   ": warning: no rule file (*.QUORVANT) here or in its folders: is this QUORVANT's program "
                   "directory? (--dir names it) [" + std::string(lint_check::kNoRuleFiles) + "]\n");
  }
  line.out.print(tally_line(tally) + "\n");
  const bool failed = tally.errors > 0 || (options.has("--werror") && tally.warnings > 0);
  return failed ? kExitFound : kExitOk;
}
