#include "admin/report/report.h"

#include <cstdio>
#include <optional>

#include "admin/activity_log/log_files.h"
#include "admin/options.h"
#include "admin/output/output_file.h"
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
    "  --html FILE  also write the report as one self-contained HTML page; FILE must be new\n"
    "               or a page QVADMIN wrote, never a log\n"
    "\n"
    "Exit code: 0, or 2 for a mistake on the command line, a log that cannot be read (the\n"
    "others are still counted) or a page that cannot be written.\n",
};

int run_report(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--html"}, {}}, options, code)) return code;
  if (options.words.empty()) return mistake(line, "give at least one log");
  std::optional<OutputFile> page;
  if (const std::string* word = options.value("--html")) {
    if (*word == "-") return mistake(line, "--html -: the page needs a file name");
    page.emplace(host_path_argument(word->c_str()), kPageMarker);
  }
  auto refused = [&] {
    line.err.print("QVADMIN report: will not write the page to " + host_native_path(page->path().c_str()) + ": " +
                   page->refusal() + "\n");
    return kExitUsage;
  };
  if (page && !page->refusal().empty()) return refused();
  // The counting (its rankings' tables above all) is gone before the text
  // and the page are made, so that the two never take memory at once.
  const ReportData data = [&] {
    ReportBuilder builder(host_local_time());
    read_logs(
        options.words, line.command, line.err, line.in,
        [&](const std::string& log, std::FILE* file, FileHandle owned) {
          if (page) page->reading(file);
          if (owned)
            builder.add_log(log, std::move(owned));
          else
            builder.add_log(log, file);
        },
        [&](const std::string& log) { builder.add_unreadable(log); });
    return builder.finish();
  }();
  if (data.invalid_entries_not_listed > 0)
    line.err.print("QVADMIN report: " + std::to_string(data.invalid_entries_not_listed) +
                   " invalid-entry lines of files and lines not listed: the report keeps " +
                   std::to_string(data.invalid_entries.size()) + " rows of them (at most 20,000, in 2 MB)\n");
  line.out.print(report_text(data));
  int code = data.unreadable.empty() ? kExitOk : kExitUsage;
  if (page) {
    if (!page->refusal().empty()) return refused();
    std::string why;
    if (!page->write(to_crlf(report_html(data)), why)) {
      line.err.print("QVADMIN report: cannot write " + host_native_path(page->path().c_str()) + ": " + why + "\n");
      code = kExitUsage;
    } else {
      line.out.print("\nHTML report written to " + host_native_path(page->path().c_str()) + "\n");
    }
  }
  return code;
}
