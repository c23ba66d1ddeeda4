#include "admin/replay/replay.h"

#include <cstdlib>
#include <limits>
#include <string>
#include <utility>

#include "admin/activity_log/log_files.h"
#include "admin/options.h"
#include "admin/replay/replay_hits.h"
#include "admin/replay/replay_run.h"
#include "common/host.h"

namespace {

// Prints the change lines up to a limit, and counts the others; none at all
// for a summary.
class ChangeLines {
 public:
  ChangeLines(Console& out, long limit, bool summary) : out_(out), limit_(summary ? 0 : limit), summary_(summary) {}
  void print(const std::string& text) {
    if (printed_ < limit_) {
      out_.print(text);
      ++printed_;
    } else {
      ++left_out_;
    }
  }
  // "... N more", when the limit left some out.
  void finish() const {
    if (left_out_ > 0 && !summary_)
      out_.print("... " + std::to_string(left_out_) + " more change" + (left_out_ == 1 ? "" : "s") + "\n");
  }

 private:
  Console& out_;
  long limit_;
  bool summary_;
  long printed_ = 0, left_out_ = 0;
};

}  // namespace

const Usage kReplayUsage = {
    "QVADMIN replay [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--hits] [--summary | --limit N] LOG...\n",
    "\n"
    "Puts every message of past activity logs through a candidate rule tree, on QUORVANT's\n"
    "own code, and prints each message whose verdict would change, then the counts. A LOG\n"
    "may hold * and ?; \"-\" reads a log from standard input.\n"
    "\n"
    "  --dir PROGRAM_DIR      the live program directory (default: the directory of QVADMIN\n"
    "                         itself)\n"
    "  --rules CANDIDATE_DIR  the candidate tree (default: the live one)\n"
    "  --hits                 also count, for every rule, the messages it decided\n"
    "  --summary              print the counts alone, no line for each change\n"
    "  --limit N              print at most N change lines, then how many more there are\n"
    "\n"
    "Exit code: 0 nothing changed, 1 something changed, 2 a mistake on the command line or a\n"
    "log that cannot be read (the others are still replayed).\n",
};

int run_replay(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--dir", "--rules", "--limit"}, {"--hits", "--summary"}}, options, code))
    return code;
  if (options.words.empty()) return mistake(line, "give at least one log");
  long limit = std::numeric_limits<long>::max();
  if (const std::string* word = options.value("--limit")) {
    if (options.has("--summary")) return mistake(line, "give --summary or --limit, not both");
    char* end = nullptr;
    limit = std::strtol(word->c_str(), &end, 10);
    if (word->empty() || *end || limit < 0 || (*word)[0] == '-')
      return mistake(line, "--limit " + *word + ": give a number of change lines, 0 or more");
  }
  ReplayRequest request;
  request.live = program_directory_option(line, options.value("--dir"));
  request.candidate =
      options.has("--rules") ? program_directory_option(line, options.value("--rules")) : request.live;
  for (const auto& [option, directory] : {std::pair{"--dir", &request.live}, {"--rules", &request.candidate}}) {
    const std::string* word = options.value(option);
    if (word && !readable_directory(*directory))
      return mistake(line, std::string(option) + " " + *word + ": not a directory that can be read: " +
                               host_error_text());
  }
  request.logs = options.words;
  request.standard_input = line.in;
  ReplayHits hits;
  if (options.has("--hits")) request.hits = &hits;
  ChangeLines change_lines(line.out, limit, options.has("--summary"));
  const ReplayTally tally =
      replay_logs(request, [&](const std::string& change) { change_lines.print(change); }, line.err);
  change_lines.finish();
  const std::string& candidate = request.candidate;
  line.out.print(replay_summary(tally, "Replayed against the rule files in " +
                                           host_native_path(candidate.empty() ? ".\\" : candidate.c_str())));
  if (options.has("--hits")) hits.print(candidate, line.out);
  if (tally.unreadable > 0) return kExitUsage;
  return tally.changed > 0 ? kExitFound : kExitOk;
}
