#include "admin/lint_report.h"

#include <algorithm>

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

std::string counted(long long n, const char* thing) {
  return std::to_string(n) + " " + thing + (n == 1 ? "" : "s");
}

std::string hex_digits(unsigned char c) {
  static const char digits[] = "0123456789ABCDEF";
  return {digits[c >> 4], digits[c & 15]};
}

std::string lint_quoted(const std::string& text) {
  constexpr std::size_t kLongest = 60;
  std::string quoted = "\"";
  for (std::size_t i = 0; i < text.size() && i < kLongest; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c < 127) {
      quoted += static_cast<char>(c);
    } else {
      quoted += "\\x" + hex_digits(c);
    }
  }
  if (text.size() > kLongest) quoted += "...";
  return quoted + "\"";
}

void print_findings(const std::string& path, std::vector<Finding>& findings, Console& out, LintTally& tally) {
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) { return a.line < b.line; });
  for (const Finding& f : findings) {
    if (f.severity == Severity::Error) ++tally.errors;
    if (f.severity == Severity::Warning) ++tally.warnings;
    out.print(path + ":" + std::to_string(f.line) + ": " + severity_word(f.severity) + ": " + f.message + " [" +
              f.check + "]\n");
  }
}

std::string tally_line(const LintTally& tally) {
  return counted(tally.errors, "error") + ", " + counted(tally.warnings, "warning") + " in " +
         counted(tally.files, "file");
}
