// How lint prints: one finding a line in the form compilers use,
// "FILE:LINE: error: message [check]", and a closing tally.
#pragma once

#include <string>
#include <vector>

#include "admin/lint/lint_finding.h"
#include "common/console.h"

struct LintTally {
  int errors = 0;
  int warnings = 0;
  int files = 0;  // files checked
};

// Prints the findings of one file in the order of its lines and counts them.
void print_findings(const std::string& path, std::vector<Finding>& findings, Console& out, LintTally& tally);

// "error: message [check]", a finding without its place.
std::string finding_text(const Finding& finding);

// "N errors, M warnings in K files".
std::string tally_line(const LintTally& tally);
