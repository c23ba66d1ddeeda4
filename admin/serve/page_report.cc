// Report: the page `QVADMIN report --html` makes of the logs of the period
// chosen, within the console's frame.
#include <algorithm>
#include <string>
#include <vector>

#include "admin/report/report_data.h"
#include "admin/report/report_render.h"
#include "admin/serve/html_page.h"
#include "admin/serve/site.h"
#include "common/file.h"
#include "common/host.h"

Response report_page(const PageContext& context) {
  const int most = context.site.config().days;
  const std::string asked = field(context.query, "days");
  int days = std::min(7, most);
  if (!asked.empty() && asked.size() < 4 && asked.find_first_not_of("0123456789") == std::string::npos)
    days = std::clamp(std::stoi(asked), 1, most);
  std::vector<std::string> logs = context.site.log_paths(days);
  std::reverse(logs.begin(), logs.end());  // oldest first, as the chart runs
  const ReportData data = context.site.engine([&] {
    ReportBuilder builder(host_local_time());
    for (const std::string& log : logs) {
      if (const FileHandle file = FileHandle::open_read(log.c_str())) {
        builder.add_log(log, file.get());
      } else {
        builder.add_unreadable(log);
      }
    }
    return builder.finish();
  });

  std::string body = "<form class=\"filter\" method=\"get\" action=\"/report\"><label>Period<select name=\"days\">\n";
  std::vector<int> choices = {1, 7, 30, most};
  std::sort(choices.begin(), choices.end());
  choices.erase(std::unique(choices.begin(), choices.end()), choices.end());
  for (const int n : choices)
    if (n <= most)
      body += "<option value=\"" + std::to_string(n) + "\"" + (n == days ? " selected" : "") + ">" +
              (n == 1 ? std::string("today") : "the last " + std::to_string(n) + " days") + "</option>\n";
  body += "</select></label><button type=\"submit\">Show</button></form>\n" + report_html_body(data);
  return page_response({"Report", Menu::Report, body, true}, context.session);
}
