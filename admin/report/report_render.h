// The report drawn from its data: as console text, and as one
// self-contained HTML page (inline CSS and SVG, no script, nothing fetched).
#pragma once

#include <string>

#include "admin/report/report_data.h"

std::string report_text(const ReportData& data);
std::string report_html(const ReportData& data);
// The page's style sheet and what its body holds, for pages that hold the
// report among other things.
std::string report_html_style();
std::string report_html_body(const ReportData& data);

// The report's columns of result kinds: two header words each, and a legend.
struct KindColumn {
  ResultKind kind;
  const char* head1;
  const char* head2;
  const char* legend;
  const char* colour;  // of its bars in the HTML chart
};
extern const KindColumn kKindColumns[kResultKinds];

// A name of a ranking that is empty: no sender, or none left after a cut.
std::string ranking_name(const std::string& name);
// The share of a count in percent, cut to a whole number.
long percent(long count, long total);
