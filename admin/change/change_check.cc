#include "admin/change/change_check.h"

#include <map>
#include <set>

#include "admin/lint/lint_run.h"
#include "admin/rule_tree/rule_tree.h"

namespace {

// A finding as it stays the same across a change that moves lines: its
// check, its file and the text of its line (the numbers in its message
// masked), each part ended by a zero byte.
class FindingKeys {
 public:
  explicit FindingKeys(const ChangePlan& plan, bool after) {
    for (const FileChange& file : plan.files) {
      const std::optional<std::string>& bytes = after ? file.after : file.before;
      if (bytes) lines_[keys_.key(file.path)] = editor_lines(*bytes);
    }
  }

  std::string key(const std::string& path, const Finding& f) const {
    const std::string file = keys_.key(path);
    std::string key = file + '\0' + f.check + '\0';
    const auto lines = lines_.find(file);
    if (lines == lines_.end()) {
      key += std::to_string(f.line) + '\0' + f.message;
    } else {
      if (f.line >= 1 && f.line <= static_cast<int>(lines->second.size())) key += lines->second[f.line - 1];
      key += '\0';
      for (const char c : f.message) key += c >= '0' && c <= '9' ? '#' : c;
    }
    return key;
  }

 private:
  PathKeys keys_;
  std::map<std::string, std::vector<std::string>> lines_;
};

bool lint_tree(const ChangePlan& plan, const RuleOverlay* overlay, LintResult& result) {
  LintRequest request;
  request.program_directory = plan.trees.tree;
  request.overlay = overlay;
  for (const FileChange& file : plan.files)
    if (overlay ? file.after.has_value() : file.before.has_value()) request.files.push_back(file.path);
  return lint_rules(request, result);
}

}  // namespace

ChangeCheck check_change(const ChangePlan& plan) {
  ChangeCheck check;
  const RuleOverlay overlay = overlay_of(plan);
  LintResult before, after;
  if (!lint_tree(plan, nullptr, before) || !lint_tree(plan, &overlay, after)) {
    check.why = "cannot read the directory " + (plan.trees.tree.empty() ? std::string(".") : plan.trees.tree);
    return check;
  }
  check.done = true;
  const FindingKeys before_keys(plan, false), after_keys(plan, true);
  std::multiset<std::string> seen;
  for (const LintedFile& file : before.files)
    for (const Finding& f : file.lint.findings) {
      seen.insert(before_keys.key(file.path, f));
      if (f.severity == Severity::Error) check.errors_before.push_back({file.path, f});
    }
  for (const LintedFile& file : after.files)
    for (const Finding& f : file.lint.findings) {
      const auto found = seen.find(after_keys.key(file.path, f));
      if (found != seen.end()) {
        seen.erase(found);
        continue;
      }
      check.added.push_back({file.path, f});
      if (f.severity == Severity::Error) ++check.added_errors;
      if (f.severity == Severity::Warning) ++check.added_warnings;
    }
  return check;
}

ChangePreview preview_change(const ChangePlan& plan, const std::vector<std::string>& logs, std::size_t limit,
                             const std::string& command, Console& err,
                             const std::function<bool(std::string_view recipient)>& takes) {
  const RuleOverlay overlay = overlay_of(plan);
  ReplayRequest request;
  request.live = plan.trees.live;
  request.candidate = plan.trees.tree;
  request.logs = logs;
  request.command = command;
  request.overlay = &overlay;
  request.takes = takes;
  ChangePreview preview;
  request.changed_at = [&](const std::string& log, std::uint64_t offset, ResultKind now) {
    if (preview.places.size() < limit) preview.places.push_back({log, offset, now});
  };
  preview.tally = replay_logs(
      request,
      [&](const std::string& change) {
        if (preview.changes.size() < limit)
          preview.changes.push_back(change);
        else
          ++preview.more;
      },
      err);
  return preview;
}
