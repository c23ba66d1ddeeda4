#include "admin/report/report.h"

#include <cstdio>

#include "admin/activity_log/log_files.h"
#include "admin/options.h"
#include "admin/report/report_data.h"
#include "admin/report/report_render.h"
#include "common/host.h"
#include "common/text_file.h"

namespace {

constexpr char kUsage[] = "usage: QVADMIN report [--html FILE] LOG...\n";

}  // namespace

int run_report(CommandLine& line) {
  Options options;
  std::string error;
  if (!parse_options(line.args, {{"--html"}, {}}, options, error)) {
    line.err.print("QVADMIN report: " + error + "\n" + kUsage);
    return kExitUsage;
  }
  if (options.words.empty()) {
    line.err.print(std::string("QVADMIN report: give at least one log\n") + kUsage);
    return kExitUsage;
  }
  ReportBuilder builder;
  read_logs(
      options.words, "QVADMIN report", line.err,
      [&](const std::string& log, std::FILE* file) { builder.add_log(log, file); },
      [&](const std::string& log) { builder.add_unreadable(log); });
  const ReportData data = builder.finish();
  line.out.print(report_text(data));
  int code = data.unreadable.empty() ? kExitOk : kExitUsage;
  if (const std::string* page = options.value("--html")) {
    // A page is replaced whole or not at all.
    const std::string path = host_path_argument(page->c_str());
    const std::string bytes = to_crlf(report_html(data));
    if (host_replace_file(path.c_str(), bytes.data(), bytes.size()) != ReplaceOutcome::Replaced) {
      line.err.print("QVADMIN report: cannot write " + path + "\n");
      code = kExitUsage;
    } else {
      line.out.print("\nHTML report written to " + path + "\n");
    }
  }
  return code;
}
