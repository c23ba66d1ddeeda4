// The rule tree as the console lists it: the server-wide file, the domains'
// files, the users' files, the REDIRECT targets they reach, and files no
// recipient reaches, each with lint's findings. Files are addressed by their
// place in this listing, never by a path from a request; a scope leaves out
// what it does not see (see list_rules).
#pragma once

#include <string>
#include <vector>

#include "admin/lint/lint_run.h"
#include "admin/replay/replay_hits.h"
#include "admin/rule_tree/rule_tree.h"
#include "admin/serve/scope.h"

enum class FileRole { ServerWide, Domain, User, Redirect, Unreached };

struct ListedFile {
  int place = 0;  // from 1
  FileRole role = FileRole::Unreached;
  std::string label;  // the domain, the recipient, or the path
  const LintedFile* lint = nullptr;
  const TreeFile* tree = nullptr;  // nullptr for a REDIRECT target
};

struct RuleListing {
  bool read = false;  // false: the program directory cannot be read
  LintResult lint;
  RuleTree tree;
  std::vector<ListedFile> files;  // in the listing's order

  // The file at that place, or nullptr.
  const ListedFile* at(int place) const;
  // The listed file that a path names (as lint or replay print it), or nullptr.
  const ListedFile* named(const std::string& path) const;
};

RuleListing list_rules(const std::string& program_directory, const Scope& scope);

const char* role_name(FileRole role);

// The messages each line of a file decided, by editor line.
std::vector<long> decided_by_line(const std::vector<HitLine>& hits, const std::string& path, int lines);
