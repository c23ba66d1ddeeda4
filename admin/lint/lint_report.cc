#include "admin/lint/lint_report.h"

#include <algorithm>

#include "admin/rule_text/rule_text.h"

namespace {

const char* severity_word(Severity severity) {
  switch (severity) {
    case Severity::Error:
      return "error";
    case Severity::Warning:
      return "warning";
    case Severity::Note:
      break;
  }
  return "note";
}

}  // namespace

void print_findings(const std::string& path, std::vector<Finding>& findings, Console& out, LintTally& tally) {
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) { return a.line < b.line; });
  for (const Finding& f : findings) {
    if (f.severity == Severity::Error) ++tally.errors;
    if (f.severity == Severity::Warning) ++tally.warnings;
    out.print(path + ":" + std::to_string(f.line) + ": " + finding_text(f) + "\n");
  }
}

std::string finding_text(const Finding& f) {
  return std::string(severity_word(f.severity)) + ": " + f.message + " [" + f.check + "]";
}

std::string tally_line(const LintTally& tally) {
  return counted(tally.errors, "error") + ", " + counted(tally.warnings, "warning") + " in " +
         counted(tally.files, "file");
}
