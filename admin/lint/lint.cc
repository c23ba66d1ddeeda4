#include "admin/lint/lint.h"

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "admin/lint/lint_file.h"
#include "admin/lint/lint_links.h"
#include "admin/lint/lint_report.h"
#include "admin/rule_tree/rule_tree.h"
#include "admin/options.h"
#include "checker/limits.h"
#include "common/host.h"

namespace {

using namespace lint_check;

constexpr char kUsage[] = "usage: QVADMIN lint [--dir PROGRAM_DIR] [--werror] [--notes] [FILE...]\n";

constexpr int kExitFound = 1;

// The files to check and what lint knows of them before reading them.
class LintRun {
 public:
  explicit LintRun(bool notes) : notes_(notes) {}

  void add_tree(const std::string& program_directory, const RuleTree& tree) {
    for (const std::string& directory : tree.unreadable_directories)
      trouble("cannot read the directory " + directory + ": the rule files in it are not checked");
    for (std::size_t t = 0; t < tree.files.size(); ++t) {
      const TreeFile& found = tree.files[t];
      const auto [index, added] = add(found.path, Origin::Tree);
      if (!added) continue;
      Entry& entry = entries_[index];
      entry.tree_file = static_cast<int>(t);
      entry.regular = found.regular;
      entry.recipients = found.recipients;
      entry.file.start = found.reachable();
      entry.file.check_reach = true;
      entry.file.unreachable_why = found.unreachable_why;
      entry.file.given_recipients = !found.recipients.empty();
    }
    if (program_directory.size() > kMaxProgramDirectory)
      trouble("the program directory " + program_directory + " is longer than " +
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
      if (entries_[i].regular && lint_rule_file(entries_[i].file.path, options, lint)) {
        entries_[i].file.read = true;
        entries_[i].file.lint = std::move(lint);
        // Adding entries moves them: the REDIRECTs are taken by index.
        for (std::size_t r = 0; r < entries_[i].file.lint.redirects.size(); ++r) {
          const std::string target_path = entries_[i].file.lint.redirects[r].file;
          const int target = add(target_path, Origin::Redirect).first;
          entries_[i].file.targets.push_back(target);
        }
      } else if (entries_[i].origin != Origin::Redirect) {
        entries_[i].file.lint.findings.push_back(
            Finding{1, 0, Severity::Error, kUnreadableFile,
                    entries_[i].regular ? "cannot be opened: the checker takes it as missing and decides nothing with it"
                                        : "not a regular file (a directory?): the checker takes it as missing and "
                                          "decides nothing with it"});
      }
    }
    std::vector<LintedFile> files;
    for (Entry& entry : entries_) {
      files.push_back(std::move(entry.file));
      tree_files_.push_back(entry.tree_file);
    }
    check_links(files);
    files_ = std::move(files);
  }

  LintTally print(Console& out, Console& err) {
    LintTally tally;
    for (const std::string& trouble : troubles_) err.print("QVADMIN lint: " + trouble + "\n");
    tally.errors = static_cast<int>(troubles_.size());
    for (LintedFile& file : files_) {
      if (file.read) ++tally.files;
      print_findings(file.path, file.lint.findings, out, tally);
    }
    out.print(tally_line(tally) + "\n");
    return tally;
  }

  void give(LintedTree& tree) {
    tree.files = std::move(files_);
    tree.tree_files = std::move(tree_files_);
    tree.troubles = std::move(troubles_);
  }

 private:
  enum class Origin { Tree, Argument, Redirect };
  struct Entry {
    Origin origin = Origin::Tree;
    int tree_file = -1;
    bool regular = true;
    std::vector<std::string> recipients;
    LintedFile file;
  };

  // The file's entry, and whether it is new.
  std::pair<int, bool> add(const std::string& path, Origin origin) {
    const auto [at, added] = known_.emplace(keys_.key(path), static_cast<int>(entries_.size()));
    if (added) {
      Entry entry;
      entry.origin = origin;
      entry.file.path = path;
      entries_.push_back(std::move(entry));
    }
    return {at->second, added};
  }

  // Trouble outside any rule file, for standard error; it counts as an error.
  void trouble(const std::string& message) { troubles_.push_back(message); }

  bool notes_;
  PathKeys keys_;
  std::unordered_map<std::string, int> known_;
  std::vector<Entry> entries_;
  std::vector<LintedFile> files_;
  std::vector<int> tree_files_;
  std::vector<std::string> troubles_;
};

}  // namespace

bool lint_tree(const std::string& program_directory, bool notes, LintedTree& tree) {
  if (!walk_rule_tree(program_directory, tree.tree)) return false;
  LintRun run(notes);
  run.add_tree(program_directory, tree.tree);
  run.check();
  run.give(tree);
  return true;
}

int run_lint(CommandLine& line) {
  Options options;
  std::string error;
  if (!parse_options(line.args, {{"--dir"}, {"--werror", "--notes"}}, options, error)) {
    line.err.print("QVADMIN lint: " + error + "\n" + kUsage);
    return kExitUsage;
  }
  const std::string directory = program_directory_option(line, options.value("--dir"));
  LintRun run(options.has("--notes"));
  if (options.words.empty()) {
    RuleTree tree;
    if (!walk_rule_tree(directory, tree)) {
      line.err.print("QVADMIN lint: cannot read the program directory " + (directory.empty() ? "." : directory) +
                     "\n" + kUsage);
      return kExitUsage;
    }
    run.add_tree(directory, tree);
  } else {
    for (const std::string& word : options.words) run.add_argument(host_path_argument(word.c_str()));
  }
  run.check();
  const LintTally tally = run.print(line.out, line.err);
  const bool failed = tally.errors > 0 || (options.has("--werror") && tally.warnings > 0);
  return failed ? kExitFound : 0;
}
