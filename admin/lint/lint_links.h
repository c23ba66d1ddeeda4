// Checks across rule files, once every file has been checked on its own:
// REDIRECT targets that cannot be opened, REDIRECT chains that come back on
// themselves or go deeper than the checker follows, lines after a REDIRECT
// that every recipient takes, and files that no recipient reaches.
#pragma once

#include <string>
#include <vector>

#include "admin/lint/lint_file.h"

struct LintedFile {
  std::string path;  // as printed
  bool read = false;           // opened and checked
  bool start = false;          // the cascade evaluates it for some recipient (or it was named on the command line)
  bool check_reach = false;    // say when no recipient reaches it
  std::string unreachable_why;
  bool given_recipients = false;  // lint.redirect_for_given counts for it, unless a REDIRECT names it
  FileLint lint;
  std::vector<int> targets;  // for each of lint.redirects, the index of the file it names
};

// Adds the findings to the files' own lists. start_directory: where the
// checker reads relative REDIRECT words from (empty: the current directory).
void check_links(std::vector<LintedFile>& files, const std::string& start_directory);
