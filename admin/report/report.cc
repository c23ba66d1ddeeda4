#include "admin/report/report.h"

#include <cstdio>

#include "admin/activity_log/log_files.h"
#include "admin/options.h"
#include "admin/report/report_data.h"
#include "admin/report/report_render.h"
#include "common/host.h"
#include "common/text_file.h"

const Usage kReportUsage = {
    "QVADMIN report [--html FILE] LOG...\n",
    "\n"
    "Counts what QUORVANT did, per day and in total, from its activity logs: every kind of\n"
    "result line, the invalid entries of the rule files, and the recipients and senders\n"
    "blacklisted most. A LOG may hold * and ?; \"-\" reads a log from standard input.\n"
    "\n"
    "  --html FILE  also write the report as one self-contained HTML page\n"
    "\n"
    "Exit code: 0, or 2 for a mistake on the command line, a log that cannot be read (the\n"
    "others are still counted) or a page that cannot be written.\n",
};

int run_report(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--html"}, {}}, options, code)) return code;
  if (options.words.empty()) return mistake(line, "give at least one log");
  ReportBuilder builder;
  read_logs(
      options.words, line,
      [&](const std::string& log, std::FILE* file) { builder.add_log(log, file); },
      [&](const std::string& log) { builder.add_unreadable(log); });
  const ReportData data = builder.finish();
  line.out.print(report_text(data));
  int code = data.unreadable.empty() ? 0 : kExitUsage;
  if (const std::string* page = options.value("--html")) {
    // A page is replaced whole or not at all.
    const std::string path = host_path_argument(page->c_str());
    const std::string bytes = to_crlf(report_html(data));
    if (host_replace_file(path.c_str(), bytes.data(), bytes.size()) != ReplaceOutcome::Replaced) {
      line.err.print("QVADMIN report: cannot write " + path + ": " + host_error_text() + "\n");
      code = kExitUsage;
    } else {
      line.out.print("\nHTML report written to " + path + "\n");
    }
  }
  return code;
}
