// The report drawn from its data: as console text, and as one
// self-contained HTML page (inline CSS and SVG, no script, nothing fetched).
#pragma once

#include <string>
#include <vector>

#include "admin/report/report_data.h"

// The page's head holds this, so that QVADMIN knows a page of its own.
inline constexpr char kPageMarker[] = "<meta name=\"generator\" content=\"QVADMIN report\"/>";

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
  const char* colour;            // of its bars in the HTML chart
  const char* note = nullptr;    // the legend, where the kind's name says too little
};
extern const KindColumn kKindColumns[kResultKinds];
std::string legend(const KindColumn& column);

// The console's columns, each adding up kinds, so that a table fits in 100
// columns; the page shows every kind.
struct KindGroup {
  const char* head1;
  const char* head2;
  std::vector<ResultKind> kinds;
};
extern const std::vector<KindGroup> kKindGroups;

// A name of a ranking that is empty: no sender, or none left after a cut.
std::string ranking_name(const std::string& name);
// The share of a count in percent, cut to a whole number.
long percent(long count, long total);
// "2025-01-20 09:14:03"
std::string time_text(const LocalTime& time);
