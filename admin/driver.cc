#include "admin/driver.h"

#include <cstring>
#include <string>

#include "admin/change_commands/change_commands.h"
#include "admin/command.h"
#include "admin/explain/explain.h"
#include "admin/lint/lint.h"
#include "admin/replay/replay.h"
#include "admin/report/report.h"
#include "admin/serve/serve.h"
#include "admin/token/token.h"
#include "checker/driver.h"
#include "common/host.h"
#include "common/text.h"

namespace {

constexpr char kVersion[] = "QVADMIN 1.1";

// A command: its word, its code and its usage. A new command is one entry.
struct CommandEntry {
  const char* name;
  int (*run)(CommandLine&);
  const Usage& usage;
};

const CommandEntry kCommands[] = {
    {"explain", run_explain, kExplainUsage},
    {"lint", run_lint, kLintUsage},
    {"replay", run_replay, kReplayUsage},
    {"report", run_report, kReportUsage},
    {"show", run_show, kShowUsage},
    {"add", run_add, kAddUsage},
    {"remove", run_remove, kRemoveUsage},
    {"promote", run_promote, kPromoteUsage},
    {"rollback", run_rollback, kRollbackUsage},
    {"history", run_history, kHistoryUsage},
    {"serve", run_serve, kServeUsage},
    {"token", run_token, kTokenUsage},
};

const CommandEntry* find_command(const std::string& name) {
  for (const CommandEntry& entry : kCommands)
    if (name == entry.name) return &entry;
  return nullptr;
}

std::string overview() {
  std::string text = "QVADMIN - see what QUORVANT does with your rule files\n\n";
  for (const CommandEntry& entry : kCommands)
    for (const char* line = entry.usage.synopsis; *line;) {
      const char* end = std::strchr(line, '\n');
      text += "  " + std::string(line, end ? end + 1 : line + std::strlen(line));
      line = end ? end + 1 : line + std::strlen(line);
    }
  return text +
         "  QVADMIN help COMMAND\n"
         "  QVADMIN --version\n"
         "\n"
         "PROGRAM_DIR is the directory of QUORVANT.EXE and its rule files; without --dir it is the\n"
         "directory of QVADMIN itself. \"QVADMIN help COMMAND\" (or \"QVADMIN COMMAND --help\") tells more.\n";
}

int unknown_command(const std::string& name, Console& err) {
  err.print("QVADMIN: unknown command " + name + "\nTry \"QVADMIN --help\" for the commands.\n");
  return kExitUsage;
}

}  // namespace

int run_admin(int argc, char** argv, Console& out, Console& err, std::FILE* in) {
  if (argc < 2) {
    err.print(overview());
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--version") {
    out.print(std::string(kVersion) + ", on the rule engine of " + kBanner + "\n");
    return kExitOk;
  }
  if (command == "help" || command == "--help" || command == "-h") {
    if (argc == 2) {
      out.print(overview());
      return kExitOk;
    }
    const CommandEntry* entry = argc == 3 ? find_command(argv[2]) : nullptr;
    if (!entry) return unknown_command(argc == 3 ? argv[2] : "for help: name one command", err);
    out.print(usage_text(entry->usage));
    return kExitOk;
  }
  const CommandEntry* entry = find_command(command);
  if (!entry) return unknown_command(command, err);
  // QVADMIN finds its own directory the way the checker finds its own.
  std::string own = host_path_argument(host_program_path(argv));
  own.resize(std::strlen(directory_part(own.data())));
  CommandLine line{{argv + 2, argv + argc}, own, out, err, in, "QVADMIN " + command, entry->usage};
  return entry->run(line);
}
