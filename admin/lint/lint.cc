#include "admin/lint/lint.h"

#include <string>

#include "admin/lint/lint_report.h"
#include "admin/lint/lint_run.h"
#include "admin/options.h"
#include "common/host.h"

namespace {

constexpr char kUsage[] = "usage: QVADMIN lint [--dir PROGRAM_DIR] [--werror] [--notes] [FILE...]\n";

constexpr int kExitFound = 1;

}  // namespace

int run_lint(CommandLine& line) {
  Options options;
  std::string error;
  if (!parse_options(line.args, {{"--dir"}, {"--werror", "--notes"}}, options, error)) {
    line.err.print("QVADMIN lint: " + error + "\n" + kUsage);
    return kExitUsage;
  }
  LintRequest request;
  request.notes = options.has("--notes");
  request.program_directory = program_directory_option(line, options.value("--dir"));
  for (const std::string& word : options.words) request.files.push_back(host_path_argument(word.c_str()));
  request.tree = request.files.empty();
  LintResult result;
  if (!lint_rules(request, result)) {
    line.err.print("QVADMIN lint: cannot read the program directory " +
                   (request.program_directory.empty() ? "." : request.program_directory) + "\n" + kUsage);
    return kExitUsage;
  }
  for (const std::string& trouble : result.troubles) line.err.print("QVADMIN lint: " + trouble + "\n");
  LintTally tally;
  tally.errors = static_cast<int>(result.troubles.size());
  for (LintedFile& file : result.files) {
    if (file.read) ++tally.files;
    print_findings(file.path, file.lint.findings, line.out, tally);
  }
  line.out.print(tally_line(tally) + "\n");
  const bool failed = tally.errors > 0 || (options.has("--werror") && tally.warnings > 0);
  return failed ? kExitFound : 0;
}
