// QVADMIN lint: checks rule files as the checker reads them and reports the
// traps of the rule format, one finding a line.
#pragma once

#include <string>
#include <vector>

#include "admin/command.h"
#include "admin/lint/lint_links.h"
#include "admin/rule_tree/rule_tree.h"

extern const Usage kLintUsage;

// Gives 1 when an error was found (or a warning, with --werror), else 0; 2
// for a command-line mistake.
int run_lint(CommandLine& line);

// What `QVADMIN lint --dir DIRECTORY [--notes]` finds, for callers that show
// it themselves.
struct LintedTree {
  RuleTree tree;                     // the rule files found below the directory
  std::vector<LintedFile> files;     // those, then the REDIRECT targets they reach; findings unsorted
  std::vector<int> tree_files;       // for each of files, its place in tree.files, or -1 for a REDIRECT target
  std::vector<std::string> troubles; // outside any rule file; each counts as an error
};
// False when the program directory cannot be read.
bool lint_tree(const std::string& program_directory, bool notes, LintedTree& tree);
