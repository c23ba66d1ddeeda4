#include "admin/lint/lint_run.h"

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "admin/lint/lint_file.h"
#include "admin/rule_tree/candidate.h"
#include "admin/rule_tree/rule_overlay.h"
#include "admin/rule_tree/rule_tree.h"
#include "common/host.h"
#include "checker/limits.h"

namespace {

using namespace lint_check;

// The files to check and what lint knows of them before reading them.
class LintRun {
 public:
  LintRun(const LintRequest& request, LintResult& result)
      : notes_(request.notes),
        start_(request.start_directory),
        overlay_(request.overlay),
        each_file_(request.each_file),
        result_(result) {}

  void add_tree(const std::string& program_directory, const RuleTree& tree) {
    for (const std::string& directory : tree.unreadable_directories)
      result_.troubles.push_back("cannot read the directory " + directory + ": the rule files in it are not checked");
    for (const TreeFile& found : tree.files) {
      const auto [index, added] = add(found.path, Origin::Tree);
      if (!added) continue;
      Entry& entry = entries_[index];
      entry.regular = found.regular;
      entry.recipients = found.recipients;
      entry.file.start = found.reachable();
      entry.file.check_reach = true;
      entry.file.unreachable_why = found.unreachable_why;
      entry.file.given_recipients = !found.recipients.empty();
    }
    if (program_directory.size() > kMaxProgramDirectory)
      result_.troubles.push_back("the program directory " + program_directory + " is longer than " +
                                 std::to_string(kMaxProgramDirectory) +
                                 " characters: QUORVANT ends every run there without reading a rule file");
  }

  void add_argument(const std::string& path) {
    const auto [index, added] = add(path, Origin::Argument);
    if (added) entries_[index].file.start = true;
  }

  // Checks every file, and every file a REDIRECT of a checked file names.
  void check() {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      FileLint lint;
      const FileLintOptions options{notes_, entries_[i].recipients};
      if (entries_[i].regular && lint_one(entries_[i].file.path, options, lint)) {
        entries_[i].file.read = true;
        if (each_file_) keep_links_only(lint);
        entries_[i].file.lint = std::move(lint);
        // Adding entries moves them: the REDIRECTs are taken by index.
        for (std::size_t r = 0; r < entries_[i].file.lint.redirects.size(); ++r) {
          const std::string& word = entries_[i].file.lint.redirects[r].file;
          const std::string target_path = is_relative_path(word) ? start_ + word : word;
          const int target = add(target_path, Origin::Redirect).first;
          entries_[i].file.targets.push_back(target);
        }
      } else if (entries_[i].origin != Origin::Redirect) {
        const std::string why = entries_[i].regular ? host_error_text() : "not a regular file (a directory?)";
        entries_[i].file.lint.findings.push_back(
            Finding{1, 0, Severity::Error, kUnreadableFile,
                    "cannot be opened (" + why + "): the checker takes it as missing and decides nothing with it"});
      }
    }
    for (Entry& entry : entries_) {
      recipients_.push_back(std::move(entry.recipients));
      result_.files.push_back(std::move(entry.file));
    }
    check_links(result_.files, start_);
    if (!each_file_) return;
    // Each file's own findings again, with those across files, one file at a
    // time.
    for (std::size_t i = 0; i < result_.files.size(); ++i) {
      LintedFile& file = result_.files[i];
      std::vector<Finding> links = std::move(file.lint.findings);
      if (file.read) {
        FileLint again;
        lint_one(file.path, FileLintOptions{notes_, recipients_[i]}, again);
        file.lint.findings = std::move(again.findings);
      }
      file.lint.findings.insert(file.lint.findings.end(), links.begin(), links.end());
      each_file_(file);
      std::vector<Finding>().swap(file.lint.findings);
    }
  }

 private:
  enum class Origin { Tree, Argument, Redirect };
  struct Entry {
    Origin origin = Origin::Tree;
    bool regular = true;
    std::vector<std::string> recipients;
    LintedFile file;
  };

  // What the checks across files need of a file read, and no more.
  static void keep_links_only(FileLint& lint) {
    std::vector<Finding>().swap(lint.findings);
    if (!lint.redirect_for_given && !lint.redirect_for_anyone) std::vector<ActingLine>().swap(lint.acting);
  }

  bool lint_one(const std::string& path, const FileLintOptions& options, FileLint& lint) const {
    const std::optional<std::string>* bytes = overlay_ ? overlay_->find(path) : nullptr;
    if (!bytes) return lint_rule_file(path, options, lint);
    if (!*bytes) return false;
    lint_rule_bytes(path, **bytes, options, lint);
    return true;
  }

  // The file's entry, and whether it is new. A file is known by its identity
  // on the host, however a path names it ("/" or "\\", letter case, trailing
  // dots, a link); a path that opens nothing by its text.
  std::pair<int, bool> add(const std::string& path, Origin origin) {
    std::string key = file_identity_key(path);
    if (key.empty()) key.append(1, '?').append(keys_.key(path));
    const auto [at, added] = known_.emplace(std::move(key), static_cast<int>(entries_.size()));
    if (added) {
      Entry entry;
      entry.origin = origin;
      entry.file.path = path;
      entries_.push_back(std::move(entry));
    }
    return {at->second, added};
  }

  bool notes_;
  std::string start_;  // relative REDIRECT words count from here
  const RuleOverlay* overlay_;
  std::function<void(const LintedFile&)> each_file_;
  std::vector<std::vector<std::string>> recipients_;  // each file's, by index, to read it again
  LintResult& result_;
  PathKeys keys_;
  std::unordered_map<std::string, int> known_;
  std::vector<Entry> entries_;
};

}  // namespace

bool lint_rules(const LintRequest& request, LintResult& result) {
  result = LintResult{};
  LintRun run(request, result);
  if (request.tree) {
    RuleTree tree;
    if (!walk_rule_tree(request.program_directory, tree, request.overlay)) return false;
    result.no_rule_files = tree.files.empty();
    run.add_tree(request.program_directory, tree);
  }
  for (const std::string& path : request.files) run.add_argument(path);
  run.check();
  return true;
}
