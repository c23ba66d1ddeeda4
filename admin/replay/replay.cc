#include "admin/replay/replay.h"

#include <string>
#include <utility>

#include "admin/activity_log/log_files.h"
#include "admin/options.h"
#include "admin/replay/replay_hits.h"
#include "admin/replay/replay_run.h"

namespace {

constexpr char kUsage[] = "usage: QVADMIN replay [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--hits] LOG...\n";

}  // namespace

int run_replay(CommandLine& line) {
  Options options;
  std::string error;
  if (!parse_options(line.args, {{"--dir", "--rules"}, {"--hits"}}, options, error)) {
    line.err.print("QVADMIN replay: " + error + "\n" + kUsage);
    return kExitUsage;
  }
  if (options.words.empty()) {
    line.err.print(std::string("QVADMIN replay: give at least one log\n") + kUsage);
    return kExitUsage;
  }
  ReplayRequest request;
  request.live = program_directory_option(line, options.value("--dir"));
  request.candidate =
      options.has("--rules") ? program_directory_option(line, options.value("--rules")) : request.live;
  for (const auto& [option, directory] : {std::pair{"--dir", &request.live}, {"--rules", &request.candidate}}) {
    const std::string* word = options.value(option);
    if (word && !readable_directory(*directory)) {
      line.err.print("QVADMIN replay: " + std::string(option) + " " + *word + ": not a directory that can be read\n");
      return kExitUsage;
    }
  }
  request.logs = options.words;
  ReplayHits hits;
  if (options.has("--hits")) request.hits = &hits;
  const ReplayTally tally = replay_logs(request, [&](const std::string& change) { line.out.print(change); }, line.err);
  const std::string& candidate = request.candidate;
  line.out.print(replay_summary(tally, "Replayed against the rule files in " +
                                           (candidate.empty() ? std::string(".\\") : candidate)));
  if (options.has("--hits")) hits.print(candidate, line.out);
  if (tally.unreadable > 0) return kExitUsage;
  return tally.changed > 0 ? kExitFound : kExitOk;
}
