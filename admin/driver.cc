#include "admin/driver.h"

#include <cstring>
#include <string>

#include "admin/command.h"
#include "admin/explain/explain.h"
#include "admin/lint/lint.h"
#include "admin/replay/replay.h"
#include "admin/report/report.h"
#include "admin/serve/serve.h"
#include "admin/token/token.h"
#include "common/host.h"
#include "common/text.h"

namespace {

constexpr char kUsage[] =
    "QVADMIN - see what QUORVANT does with your rule files\n"
    "\n"
    "  QVADMIN explain [--dir PROGRAM_DIR] [--quiet] MESSAGE_PATH\n"
    "  QVADMIN explain [--dir PROGRAM_DIR] [--quiet] --from ADDRESS --to ADDRESS [--subject TEXT]\n"
    "  QVADMIN lint [--dir PROGRAM_DIR] [--werror] [--notes] [FILE...]\n"
    "  QVADMIN replay [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--hits] LOG...\n"
    "  QVADMIN report [--html FILE] LOG...\n"
    "  QVADMIN serve [--dir PROGRAM_DIR] [--listen HOST:PORT] [--token-file FILE] [--host NAME] [--days N]\n"
    "  QVADMIN token add --token-file FILE NAME [SCOPE]\n"
    "\n"
    "PROGRAM_DIR is the directory of QUORVANT.EXE and its rule files; without --dir it is the\n"
    "directory of QVADMIN itself.\n";

struct CommandEntry {
  const char* name;
  int (*run)(CommandLine&);
};

constexpr CommandEntry kCommands[] = {
    {"explain", run_explain},
    {"lint", run_lint},
    {"replay", run_replay},
    {"report", run_report},
    {"serve", run_serve},
    {"token", run_token},
};

}  // namespace

int run_admin(int argc, char** argv, Console& out, Console& err) {
  if (argc < 2) {
    err.print(kUsage);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "help" || command == "--help" || command == "-h") {
    out.print(kUsage);
    return 0;
  }
  // QVADMIN finds its own directory the way the checker finds its own.
  std::string own = host_path_argument(host_program_path(argv));
  own.resize(std::strlen(directory_part(own.data())));
  CommandLine line{{argv + 2, argv + argc}, own, out, err};
  for (const CommandEntry& entry : kCommands)
    if (command == entry.name) return entry.run(line);
  err.print("QVADMIN: unknown command " + command + "\n\n" + kUsage);
  return kExitUsage;
}
