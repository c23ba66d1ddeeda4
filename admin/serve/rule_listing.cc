#include "admin/serve/rule_listing.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace {

FileRole role_of(const TreeFile* tree) {
  if (!tree) return FileRole::Redirect;
  if (tree->anyone) return FileRole::ServerWide;
  if (tree->recipients.size() == 2) return FileRole::Domain;
  if (tree->recipients.size() == 1) return FileRole::User;
  return FileRole::Unreached;
}

std::string label_of(FileRole role, const LintedFile& file, const TreeFile* tree) {
  switch (role) {
    case FileRole::Domain: {
      const std::string& one = tree->recipients[0];
      return one.substr(one.rfind('@') + 1);
    }
    case FileRole::User:
      return tree->recipients[0];
    default:
      return file.path;
  }
}

}  // namespace

const char* role_name(FileRole role) {
  switch (role) {
    case FileRole::ServerWide:
      return "server-wide";
    case FileRole::Domain:
      return "domain";
    case FileRole::User:
      return "user";
    case FileRole::Redirect:
      return "REDIRECT target";
    case FileRole::Unreached:
      break;
  }
  return "reached by no recipient";
}

RuleListing list_rules(const std::string& program_directory, const Scope& scope) {
  RuleListing listing;
  LintRequest request;
  request.program_directory = program_directory;
  listing.read = lint_rules(request, listing.lint);
  // What the tree walk found of each file: who reaches it. A file lint
  // checked that the walk did not find is a REDIRECT target.
  walk_rule_tree(program_directory, listing.tree);
  const PathKeys keys;
  std::map<std::string, const TreeFile*> found;
  for (const TreeFile& file : listing.tree.files) found.emplace(keys.key(file.path), &file);
  const LintResult& lint = listing.lint;
  for (std::size_t i = 0; i < lint.files.size(); ++i) {
    const auto in_tree = found.find(keys.key(lint.files[i].path));
    const TreeFile* tree = in_tree == found.end() ? nullptr : in_tree->second;
    ListedFile file;
    file.role = role_of(tree);
    file.label = label_of(file.role, lint.files[i], tree);
    // A scope sees the files it may change: not the server-wide file, the
    // REDIRECT targets (others may share them) or files nobody reaches.
    if (!scope.sees_everything() &&
        !(file.role == FileRole::User ? scope.may_change(file.label)
                                      : file.role == FileRole::Domain && scope.may_change("@" + file.label)))
      continue;
    file.lint = &lint.files[i];
    file.tree = tree;
    listing.files.push_back(std::move(file));
  }
  std::stable_sort(listing.files.begin(), listing.files.end(), [](const ListedFile& a, const ListedFile& b) {
    return std::tie(a.role, a.label) < std::tie(b.role, b.label);
  });
  for (std::size_t i = 0; i < listing.files.size(); ++i) listing.files[i].place = static_cast<int>(i) + 1;
  return listing;
}

const ListedFile* RuleListing::at(int place) const {
  if (place < 1 || place > static_cast<int>(files.size())) return nullptr;
  return &files[static_cast<std::size_t>(place) - 1];
}

const ListedFile* RuleListing::named(const std::string& path) const {
  const PathKeys keys;
  const std::string key = keys.key(path);
  for (const ListedFile& file : files)
    if (keys.key(file.lint->path) == key) return &file;
  return nullptr;
}

std::vector<long> decided_by_line(const std::vector<HitLine>& hits, const std::string& path, int lines) {
  std::vector<long> decided(static_cast<std::size_t>(std::max(lines, 0)) + 1, -1);
  const PathKeys keys;
  const std::string key = keys.key(path);
  for (const HitLine& hit : hits)
    if (hit.line >= 1 && hit.line <= lines && keys.key(hit.file) == key)
      decided[static_cast<std::size_t>(hit.line)] = std::max(decided[static_cast<std::size_t>(hit.line)], 0L) + hit.decided;
  return decided;
}
