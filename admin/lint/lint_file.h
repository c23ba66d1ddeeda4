// One rule file, checked line by line as the checker reads it: the checker's
// own engine evaluates it (so every piece, line counter, kind and invalid
// entry is the checker's), the same reader then goes on past the line limit,
// and each line is looked at for the traps of the rule format.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "admin/lint/lint_finding.h"

// A REDIRECT line with its three words, which the checker reads.
struct RedirectLink {
  int line = 0;
  int counter = 0;
  std::string file;  // the rule-file word, a path text
};

// A line the checker reads as a rule, a directive or a REDIRECT.
struct ActingLine {
  int line = 0;
  int counter = 0;
};

struct FileLint {
  std::vector<Finding> findings;
  std::vector<RedirectLink> redirects;  // in the order of the file
  std::vector<ActingLine> acting;       // in the order of the file
  // The counter of the REDIRECT at which the checker leaves the file for
  // every one of the given recipients (0: none such).
  int redirect_for_given = 0;
  // The same for every recipient whatever (a REDIRECT to "@").
  int redirect_for_anyone = 0;
  int lines = 0;  // physical lines
};

struct FileLintOptions {
  bool notes = false;
  // Recipients that stand for all who reach the file (see TreeFile).
  std::vector<std::string> recipients;
};

// False when the file cannot be opened as the checker opens it.
bool lint_rule_file(const std::string& path, const FileLintOptions& options, FileLint& result);
// The same for a file that would hold these bytes (a change not yet written).
void lint_rule_bytes(const std::string& path, std::string_view bytes, const FileLintOptions& options,
                     FileLint& result);
