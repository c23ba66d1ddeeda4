#include "admin/lint/lint_links.h"

#include <algorithm>
#include <set>
#include <utility>

#include "admin/rule_tree/candidate.h"
#include "checker/limits.h"
#include "common/host.h"

namespace {

using namespace lint_check;

void add(LintedFile& file, const RedirectLink& at, Severity severity, const char* check, std::string message) {
  file.lint.findings.push_back(Finding{at.line, at.counter, severity, check, std::move(message)});
}

void check_missing(std::vector<LintedFile>& files, const std::string& start_directory) {
  const std::string from = start_directory.empty() ? "the current directory"
                                                   : host_native_path(start_directory.c_str()) + " (--from-dir)";
  for (LintedFile& file : files)
    for (std::size_t r = 0; r < file.targets.size(); ++r)
      if (!files[file.targets[r]].read) {
        const std::string& word = file.lint.redirects[r].file;
        add(file, file.lint.redirects[r], Severity::Error, kRedirectMissing,
            "REDIRECT target " + word + " cannot be opened" +
                (is_relative_path(word) ? " (a relative path counts from " + from + ")" : "") +
                ": for the recipients it applies to, the checker stops reading this file here and the REDIRECT "
                "decides nothing");
      }
}

// The files of a chain, a long one shortened: its first files, how many
// more, its last file.
std::string chain_text(const std::vector<LintedFile>& files, const std::vector<int>& chain) {
  constexpr std::size_t kFirst = 3;
  std::string text;
  for (std::size_t i = 0; i < chain.size(); ++i) {
    if (chain.size() > kFirst + 3 && i == kFirst) {
      text += "... " + std::to_string(chain.size() - kFirst - 1) + " more ... -> ";
      i = chain.size() - 1;
    }
    text += host_native_path(files[chain[i]].path.c_str()) + " -> ";
  }
  return text;
}

// Walks the REDIRECT graph depth first (without recursion: chains may be
// long), reporting every REDIRECT that leads back into the chain walked, and
// gives for every file the longest chain of REDIRECTs that starts there
// without coming back.
std::vector<int> find_loops(std::vector<LintedFile>& files) {
  enum class Mark { New, OnChain, Done };
  std::vector<Mark> marks(files.size(), Mark::New);
  std::vector<int> longest(files.size(), 0);
  for (std::size_t root = 0; root < files.size(); ++root) {
    if (marks[root] != Mark::New) continue;
    std::vector<std::pair<int, std::size_t>> chain{{static_cast<int>(root), 0}};  // file, next REDIRECT
    marks[root] = Mark::OnChain;
    while (!chain.empty()) {
      auto& [file, next] = chain.back();
      if (next == files[file].targets.size()) {
        marks[file] = Mark::Done;
        const int done = file;
        chain.pop_back();
        if (!chain.empty()) {
          int& up = longest[chain.back().first];
          up = std::max(up, longest[done] + 1);
        }
        continue;
      }
      const std::size_t r = next++;
      const int target = files[file].targets[r];
      if (marks[target] == Mark::New) {
        marks[target] = Mark::OnChain;
        chain.push_back({target, 0});
      } else if (marks[target] == Mark::Done) {
        longest[file] = std::max(longest[file], longest[target] + 1);
      } else {
        std::vector<int> loop;
        for (const auto& link : chain)
          if (!loop.empty() || link.first == target) loop.push_back(link.first);
        add(files[file], files[file].lint.redirects[r], Severity::Error, kRedirectLoop,
            "REDIRECT to " + files[file].lint.redirects[r].file + " can come back to a file already in its chain (" +
                chain_text(files, loop) + host_native_path(files[target].path.c_str()) + "): the checker follows it " +
                std::to_string(kMaxRedirectDepth) + " REDIRECTs deep, then stops with \"REDIRECT chain too deep\"");
      }
    }
  }
  return longest;
}

// The REDIRECT refused at the checker's depth limit on the longest chain
// from each file the cascade starts at.
void check_depth(std::vector<LintedFile>& files, const std::vector<int>& longest) {
  std::set<std::pair<int, int>> reported;
  for (std::size_t start = 0; start < files.size(); ++start) {
    if (!files[start].start || longest[start] <= kMaxRedirectDepth) continue;
    int file = static_cast<int>(start);
    for (int depth = 0;; ++depth) {
      // The REDIRECT that continues the longest chain.
      std::size_t r = 0;
      while (r + 1 < files[file].targets.size() && longest[files[file].targets[r]] + 1 != longest[file]) ++r;
      if (depth == kMaxRedirectDepth) {
        const RedirectLink& link = files[file].lint.redirects[r];
        if (reported.insert({file, link.line}).second)
          add(files[file], link, Severity::Error, kRedirectLoop,
              "REDIRECT chain too deep: this is REDIRECT " + std::to_string(depth + 1) + " of a chain from " +
                  host_native_path(files[start].path.c_str()) + ", and the checker follows at most " + std::to_string(kMaxRedirectDepth) +
                  "; there it stops with \"REDIRECT chain too deep\"");
        break;
      }
      file = files[file].targets[r];
    }
  }
}

void check_after_redirect_for_all(LintedFile& file, bool named) {
  const FileLint& lint = file.lint;
  const int at = file.given_recipients && !named ? lint.redirect_for_given : lint.redirect_for_anyone;
  if (!at) return;
  const auto redirect = std::find_if(lint.redirects.begin(), lint.redirects.end(),
                                     [&](const RedirectLink& link) { return link.counter == at; });
  if (redirect == lint.redirects.end()) return;
  for (const ActingLine& line : lint.acting)
    if (line.counter > at)
      file.lint.findings.push_back(Finding{
          line.line, line.counter, Severity::Warning, kShadowedRule,
          "never read: the REDIRECT at line " + std::to_string(redirect->line) +
              " applies to every recipient that reaches this file, and the checker reads no line after it"});
}

}  // namespace

void check_links(std::vector<LintedFile>& files, const std::string& start_directory) {
  check_missing(files, start_directory);
  check_depth(files, find_loops(files));

  std::vector<bool> named(files.size(), false), reached(files.size(), false);
  std::vector<int> todo;
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (int target : files[i].targets) named[target] = true;
    if (files[i].start) {
      reached[i] = true;
      todo.push_back(static_cast<int>(i));
    }
  }
  while (!todo.empty()) {
    const int file = todo.back();
    todo.pop_back();
    for (int target : files[file].targets)
      if (!reached[target]) {
        reached[target] = true;
        todo.push_back(target);
      }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    LintedFile& file = files[i];
    if (!file.read) continue;
    check_after_redirect_for_all(file, named[i]);
    if (file.check_reach && !reached[i])
      file.lint.findings.push_back(Finding{1, 0, Severity::Warning, kUnreachableFile,
                                           "no recipient makes the checker read this file, directly or through a "
                                           "REDIRECT: " + file.unreachable_why});
  }
}
