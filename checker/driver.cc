#include "checker/driver.h"

#include <cstring>
#include <optional>
#include <string>

#include "checker/activity_log.h"
#include "checker/limits.h"
#include "checker/log_trace.h"
#include "checker/message_check.h"
#include "common/host.h"
#include "common/text.h"

const char kBanner[] = "QUORVANT v1.3   1/9/04.  For more information, see https://quorvant.example/";

int run_checker(int argc, char** argv, Console& out, Console&, std::FILE*) {
  if (argc < 2) {
    out.print(kBanner);
    return kExitNoVerdict;
  }
  const LocalTime now = host_local_time();
  const std::string start_time = start_time_text(now);

  std::string program_directory = host_program_path(argv);
  program_directory.resize(std::strlen(directory_part(program_directory.data())));
  // The day's log name must fit behind the directory in a 99-character path.
  if (program_directory.size() > kMaxProgramDirectory) return kExitNoVerdict;
  const std::string log_path = make_log_path(program_directory.c_str(), now);

  LogLevel level = LogLevel::Mid;
  const char* message_path = argv[1];
  if (argc >= 3) {
    // Without a level word the upper-cased first word is the message path.
    if (const std::optional<LogLevel> word = log_level_word(upper_case_text(argv[1]))) {
      level = *word;
      message_path = argv[2];
    }
  }

  LogTrace trace(log_path, level);
  DiskRuleSource files;
  const MessageCheck check = check_message(program_directory, message_path, start_time, files, trace);
  if (!check.result_line.empty()) trace.write(check.threshold, check.result_line);
  return exit_code(check.verdict);
}
