#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "admin/html/html_text.h"
#include "admin/report/report_render.h"

namespace {

std::string number(long n) { return std::to_string(n); }

constexpr char kHead[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8"/>
<meta name="generator" content="QVADMIN report"/>
<title>QUORVANT activity</title>
<style>
)";

constexpr char kStyle[] = R"(body { font-family: "DejaVu Sans", Arial, sans-serif; margin: 1.5em 2em; color: #222; background: #fff; }
h1 { font-size: 1.4em; margin-bottom: 0.2em; }
h2 { font-size: 1.1em; margin: 1.6em 0 0.4em; }
table { border-collapse: collapse; margin: 0.4em 0 1em; font-size: 0.85em; }
th, td { border: 1px solid #bbb; padding: 2px 5px; }
td { white-space: pre; }
th { background: #eee; font-weight: 600; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
tr.total td { font-weight: 600; border-top: 2px solid #888; }
ul.logs { font-size: 0.85em; columns: 3; margin: 0.3em 0 1em; }
ul.legend { list-style: none; padding: 0; margin: 0.3em 0 1em; columns: 2; font-size: 0.85em; }
ul.legend li { margin: 1px 0; }
ul.legend svg { vertical-align: middle; margin-right: 0.4em; }
svg.chart text { font-size: 11px; fill: #333; }
svg { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
p.note { font-size: 0.85em; color: #555; }
@media print {
  body { margin: 0; font-size: 9pt; }
  h2 { break-after: avoid; }
  table, svg, ul.legend { break-inside: avoid; }
}
)";

constexpr char kBodyStart[] = R"(</style>
</head>
<body>
)";

// Whole numbers for the axis: 1, 2 or 5 times a power of ten, so that the
// axis holds at most six steps.
long axis_step(long top) {
  long step = 1;
  for (;;) {
    for (const long m : {1L, 2L, 5L})
      if (top <= 6 * step * m) return step * m;
    step *= 10;
  }
}

// A stacked bar chart of the rows' kinds. Labels stand slanted below the
// bars when there are more than ten, and only every so many of them when
// they would crowd each other.
std::string chart(const std::vector<DayRow>& rows, const char* what) {
  const int width = 900, left = 70, right = 20, top = 20, bottom = rows.size() > 10 ? 80 : 40;
  const int height = 300 + top + bottom;
  const int plot_w = width - left - right, plot_h = height - top - bottom;
  long most = 0;
  for (const DayRow& row : rows) most = std::max(most, row.total());
  const long step = axis_step(std::max(most, 1L));
  const long axis_top = std::max(step, (most + step - 1) / step * step);
  auto y_of = [&](long value) { return top + plot_h - static_cast<double>(value) * plot_h / axis_top; };
  char buf[256];

  std::string svg = "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(width) +
                    "\" height=\"" + number(height) + "\" viewBox=\"0 0 " + number(width) + " " + number(height) +
                    "\" role=\"img\" aria-label=\"" + what + "\">\n";
  svg += "<rect x=\"0\" y=\"0\" width=\"" + number(width) + "\" height=\"" + number(height) + "\" fill=\"#ffffff\"/>\n";
  for (long v = 0; v <= axis_top; v += step) {
    const double y = y_of(v);
    std::snprintf(buf, sizeof buf,
                  "<line x1=\"%d\" y1=\"%.1f\" x2=\"%d\" y2=\"%.1f\" stroke=\"#dddddd\"/>"
                  "<text x=\"%d\" y=\"%.1f\" text-anchor=\"end\">%ld</text>\n",
                  left, y, left + plot_w, y, left - 6, y + 4, v);
    svg += buf;
  }
  const std::size_t n = rows.size();
  if (n == 0) {
    std::snprintf(buf, sizeof buf, "<text x=\"%d\" y=\"%d\" text-anchor=\"middle\">no logs</text>\n", left + plot_w / 2,
                  top + plot_h / 2);
    svg += buf;
  }
  const double slot = n ? static_cast<double>(plot_w) / static_cast<double>(n) : plot_w;
  const double bar = std::min(slot * 0.7, 60.0);
  // A slanted label needs about 14 pixels beside the next.
  const std::size_t every = n > 10 ? static_cast<std::size_t>(std::ceil(14.0 / slot)) : 1;
  for (std::size_t i = 0; i < n; ++i) {
    const DayRow& row = rows[i];
    const double x = left + slot * static_cast<double>(i) + (slot - bar) / 2;
    long below = 0;
    for (const KindColumn& column : kKindColumns) {
      const long count = row.kinds[static_cast<int>(column.kind)];
      if (count == 0) continue;
      const double y1 = y_of(below + count), y0 = y_of(below);
      std::snprintf(buf, sizeof buf, "<rect x=\"%.1f\" y=\"%.2f\" width=\"%.1f\" height=\"%.2f\" fill=\"%s\">", x, y1,
                    bar, y0 - y1, column.colour);
      svg += buf;
      svg += "<title>" + html_escape(row.label) + ": " + legend(column) + " " + number(count) + "</title></rect>\n";
      below += count;
    }
    if (i % every != 0) continue;
    const double cx = x + bar / 2;
    if (n > 10)
      std::snprintf(buf, sizeof buf, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"end\" transform=\"rotate(-45 %.1f %d)\">",
                    cx, top + plot_h + 14, cx, top + plot_h + 14);
    else
      std::snprintf(buf, sizeof buf, "<text x=\"%.1f\" y=\"%d\" text-anchor=\"middle\">", cx, top + plot_h + 16);
    svg += buf;
    svg += html_escape(row.label) + "</text>\n";
  }
  std::snprintf(buf, sizeof buf, "<line x1=\"%d\" y1=\"%d\" x2=\"%d\" y2=\"%d\" stroke=\"#333333\"/>\n", left,
                top + plot_h, left + plot_w, top + plot_h);
  svg += buf;
  return svg + "</svg>\n";
}

std::string legends() {
  std::string html = "<ul class=\"legend\">\n";
  for (const KindColumn& column : kKindColumns)
    html += std::string(
                "<li><svg xmlns=\"http://www.w3.org/2000/svg\" width=\"12\" height=\"12\"><rect width=\"12\" "
                "height=\"12\" fill=\"") +
            column.colour + "\"/></svg>" + html_escape(legend(column)) + "</li>\n";
  return html + "</ul>\n";
}

std::string day_row(const DayRow& row, bool total) {
  std::string html = total ? "<tr class=\"total\">" : "<tr>";
  html += "<td>" + html_escape(row.label) + "</td>";
  for (const KindColumn& column : kKindColumns)
    html += "<td class=\"n\">" + number(row.kinds[static_cast<int>(column.kind)]) + "</td>";
  return html + "<td class=\"n\">" + number(row.total()) + "</td></tr>\n";
}

std::string kinds_table(const char* id, const char* label, const std::vector<DayRow>& rows, const DayRow* total) {
  std::string html = std::string("<table id=\"") + id + "\">\n<tr><th>" + label + "</th>";
  for (const KindColumn& column : kKindColumns)
    html += std::string("<th class=\"n\">") + column.head1 + (column.head1[0] ? " " : "") + column.head2 + "</th>";
  html += "<th class=\"n\">Total</th></tr>\n";
  for (const DayRow& row : rows) html += day_row(row, false);
  return html + (total ? day_row(*total, true) : "") + "</table>\n";
}

std::string ranking_table(const char* id, const char* title, const char* what, const Ranking& ranking,
                          long blacklisted) {
  std::string html = std::string("<h2>") + title + "</h2>\n<table id=\"" + id + "\">\n<tr><th>" + what +
                     "</th><th class=\"n\">Count</th><th class=\"n\">%</th></tr>\n";
  for (const auto& [name, count] : ranking.rows)
    html += "<tr><td>" + html_escape(ranking_name(name)) + "</td><td class=\"n\">" + number(count) +
            "</td><td class=\"n\">" + number(percent(count, blacklisted)) + "</td></tr>\n";
  html += "</table>\n";
  if (ranking.rows.empty()) html += "<p class=\"note\">No blacklisted message.</p>\n";
  if (ranking.short_by > 0)
    html += "<p class=\"note\">Very many names: a count may be short by up to " + number(ranking.short_by) + ".</p>\n";
  return html;
}

}  // namespace

std::string report_html_style() { return kStyle; }

std::string report_html(const ReportData& data) {
  return kHead + report_html_style() + kBodyStart + report_html_body(data) + "</body>\n</html>\n";
}

std::string report_html_body(const ReportData& data) {
  std::string html = "<h1>QUORVANT activity</h1>\n<p id=\"summary\">" + number(static_cast<long>(data.logs.size())) +
          (data.logs.size() == 1 ? " log: " : " logs: ") + number(data.total.total()) + " result lines, " +
          number(data.blacklisted) + " blacklisted</p>\n";
  html += "<p id=\"period\">";
  if (!data.first_day.empty()) html += "Period " + data.first_day + " to " + data.last_day + ". ";
  html += "Made " + time_text(data.made) + ".</p>\n";
  html += "<h2>Result lines per day</h2>\n" + chart(data.days, "Result lines per day") + legends() +
          kinds_table("days", "Day", data.days, &data.total);
  html += "<h2>Result lines per hour of the day</h2>\n" + chart(data.hours, "Result lines per hour of the day") +
          kinds_table("hours", "Hour", data.hours, nullptr);

  html +=
      "<h2>Invalid entries in the rule files</h2>\n<table id=\"invalid\">\n<tr><th>File:Line</th><th "
      "class=\"n\">Logged</th><th>Data</th></tr>\n";
  for (const InvalidEntryRow& row : data.invalid_entries)
    html += "<tr><td>" + html_escape(row.file) + ":" + number(row.line) + "</td><td class=\"n\">" + number(row.count) +
            "</td><td>" + html_escape(row.data) + "</td></tr>\n";
  html += "</table>\n";
  if (data.invalid_entries.empty()) html += "<p class=\"note\">None.</p>\n";
  if (data.invalid_entries_not_listed > 0)
    html += "<p class=\"note\">And " + number(data.invalid_entries_not_listed) + " more, of lines not listed.</p>\n";

  html += ranking_table("recipient-domains", "Recipient domains with the most blacklisted messages", "Domain",
                        data.recipient_domains, data.blacklisted);
  html += ranking_table("users", "Users with the most blacklisted messages", "User", data.users, data.blacklisted);
  html += ranking_table("sender-domains", "Sender domains blacklisted most", "Sender domain", data.sender_domains,
                        data.blacklisted);

  const LogCounts& l = data.lines;
  html += "<p class=\"note\" id=\"lines\">Lines read " + number(l.lines) + ": result lines " + number(l.results) +
          ", invalid entries " + number(l.invalid_entries) + ", trace " + number(l.trace) + ", other lines skipped " +
          number(l.other) + ", too long " + number(l.too_long) + "</p>\n";
  html += "<h2>Logs read</h2>\n<ul class=\"logs\" id=\"logs\">\n";
  for (const std::string& log : data.logs) html += "<li>" + html_escape(log) + "</li>\n";
  html += "</ul>\n";
  for (const std::string& log : data.unreadable) html += "<p class=\"note\">Not read: " + html_escape(log) + "</p>\n";
  return html;
}
