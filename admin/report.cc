#include "admin/report.h"

#include <cstdio>

#include "admin/log_files.h"
#include "admin/options.h"
#include "admin/report_data.h"
#include "admin/report_render.h"
#include "common/host.h"
#include "common/text_file.h"

namespace {

constexpr char kUsage[] = "usage: QVADMIN report [--html FILE] LOG...\n";

bool is_directory(const std::string& path) {
  std::vector<DirectoryEntry> entries;
  return host_list_directory(path.c_str(), entries);
}

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
  const LogFiles logs = log_files(options.words);
  for (const std::string& pattern : logs.unmatched) {
    builder.add_unreadable(pattern);
    line.err.print("QVADMIN report: no log matches " + pattern + "\n");
  }
  for (const std::string& log : logs.paths) {
    std::FILE* file = host_open_read(log.c_str());
    if (!file) {
      builder.add_unreadable(log);
      line.err.print("QVADMIN report: " + log +
                     (is_directory(log) ? ": a directory, not a log\n" : ": cannot be read\n"));
      continue;
    }
    builder.add_log(log, file);
    std::fclose(file);
  }
  const ReportData data = builder.finish();
  line.out.print(report_text(data));
  int code = data.unreadable.empty() ? 0 : kExitUsage;
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
