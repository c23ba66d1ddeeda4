#include "analyser/driver.h"

#include <cstdint>
#include <string>

#include "analyser/config.h"
#include "analyser/failed_tests.h"
#include "analyser/log_scan.h"
#include "analyser/number.h"
#include "analyser/report.h"

namespace {

constexpr char kUsage[] =
    "VESKOL - declude log file analizer v1.3B 4/14/04\n\n"
    "to use, call with the declude log file name.  i.e.\n\n"
    "veskol dec0101.log [dbCount] [global.cfg path]\n\n";

}  // namespace

int run_analyser(int argc, char** argv, Console& console, Console&, std::FILE*) {
  if (argc < 2) {
    console.print(kUsage);
    console.flush();
    return kExitDone;
  }
  const char* log_path = argv[1];
  const char* config_argument = nullptr;
  std::int32_t scan_limit = 0;
  if (argc >= 3) {
    // The second argument is the scan limit when it reads as a non-zero
    // number; otherwise it is the GLOBAL.CFG path and the third the limit.
    const std::int32_t second = read_number(argv[2]);
    if (second != 0) {
      scan_limit = second;
      if (argc >= 4) config_argument = argv[3];
    } else {
      config_argument = argv[2];
      if (argc >= 4) scan_limit = read_number(argv[3]);
    }
  }

  FailedTests table;
  if (config_argument) load_config_names(complete_config_path(config_argument).c_str(), table, console);
  ScanTotals totals;
  if (scan_log_path(log_path, scan_limit, table, totals, console))
    write_report(log_path, table, totals, console);
  console.flush();
  return kExitDone;
}
