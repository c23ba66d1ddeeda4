// Lint of a rule tree or of given rule files, as data: every file checked,
// each with its findings, and the trouble met outside any rule file. The
// lint command prints it; the rule-change commands compare it before and
// after a change.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "admin/lint/lint_links.h"

class RuleOverlay;

struct LintRequest {
  bool notes = false;
  // With tree: every *.QUORVANT below the program directory (a path text
  // ending with a backslash, or empty for the current directory).
  bool tree = true;
  std::string program_directory;
  // And these files (path texts). Either way also every file a REDIRECT of
  // a checked file names.
  std::vector<std::string> files;
  // The files as a change not yet written leaves them; nullptr: the disk.
  const RuleOverlay* overlay = nullptr;
  // The directory the mail filter starts the checker in, from which it reads
  // relative REDIRECT words (a path text ending with a backslash); empty:
  // the current directory.
  std::string start_directory;
  // When given, each file goes here with all its findings once every file is
  // checked, and keeps none in the result: each file is read a second time
  // then, so that memory holds the findings of one file at a time, not of
  // the whole tree.
  std::function<void(const LintedFile&)> each_file;
};

struct LintResult {
  std::vector<LintedFile> files;      // in the order they were checked
  std::vector<std::string> troubles;  // outside any rule file; each counts as an error
  bool no_rule_files = false;         // the program directory holds none
};

// False when the program directory cannot be read (no file is checked then).
bool lint_rules(const LintRequest& request, LintResult& result);
