#include <cstdio>
#include <vector>

#include "admin/columns.h"
#include "admin/report/report_render.h"
#include "common/text.h"

const KindColumn kKindColumns[kResultKinds] = {
    {ResultKind::WhitelistedUser, "White", "User", "#1b7837"},
    {ResultKind::WhitelistedDomain, "White", "Domain", "#5aae61"},
    {ResultKind::WhitelistedProgram, "White", "Program", "#a6dba0"},
    {ResultKind::BlacklistedUser, "Black", "User", "#b2182b"},
    {ResultKind::BlacklistedDomain, "Black", "Domain", "#d6604d"},
    {ResultKind::BlacklistedProgram, "Black", "Program", "#f4a582"},
    {ResultKind::NoAction, "No", "Action", "#878787"},
    {ResultKind::Stopped, "", "Stopped", "#2166ac",
     "Stopped by the domain or program rule file (NO DOMAIN), logged at HIGH and DEBUG without words"},
    {ResultKind::BadSender, "Bad", "From", "#8073ac"},
    {ResultKind::BadRecipient, "Bad", "To", "#c2a5cf"},
    {ResultKind::NoRecipient, "Mail To", "missing", "#e08214"},
    {ResultKind::Unopenable, "Not", "opened", "#fdb863"},
};

const std::vector<KindGroup> kKindGroups = {
    {"White", "listed",
     {ResultKind::WhitelistedUser, ResultKind::WhitelistedDomain, ResultKind::WhitelistedProgram}},
    {"Black", "listed",
     {ResultKind::BlacklistedUser, ResultKind::BlacklistedDomain, ResultKind::BlacklistedProgram}},
    {"No", "Action", {ResultKind::NoAction}},
    {"", "Stopped", {ResultKind::Stopped}},
    {"Bad", "address", {ResultKind::BadSender, ResultKind::BadRecipient, ResultKind::NoRecipient}},
    {"Not", "opened", {ResultKind::Unopenable}},
};

std::string legend(const KindColumn& column) {
  return column.note ? column.note : std::string(result_name(column.kind));
}

std::string ranking_name(const std::string& name) { return name.empty() ? "(none)" : name; }

long percent(long count, long total) { return total > 0 ? static_cast<long>(count * 100LL / total) : 0; }

std::string time_text(const LocalTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year % 10000, t.month % 100, t.day % 100,
                t.hour % 100, t.minute % 100, t.second % 100);
  return text;
}

namespace {

constexpr char kColumnNote[] =
    "White and Black listed: by the user's, the domain's or the program's rule file. Stopped: the\n"
    "domain or program rule file stopped the cascade (NO DOMAIN), a line without verdict words that\n"
    "the checker writes at HIGH and DEBUG. Bad address: the envelope held no usable sender or\n"
    "recipient (Bad Mail From, Bad Mail To, Mail To missing). Not opened: \"Could not open message\n"
    "file.\" The page (--html) shows each kind in a column of its own.\n";

std::string row_line(const DayRow& row) {
  std::string text = right(printable(row.label), kLabelWidth);
  for (const KindGroup& group : kKindGroups) {
    long sum = 0;
    for (const ResultKind kind : group.kinds) sum += row.kinds[static_cast<int>(kind)];
    text += join({"\t", right(sum)});
  }
  return join({text, "\t", right(row.total()), "\n"});
}

std::string table_head(const char* label) {
  std::string text = right("", kLabelWidth);
  for (const KindGroup& group : kKindGroups) text += join({"\t", right(group.head1, kNumberWidth)});
  text += join({"\t", right("", kNumberWidth), "\n", right(label, kLabelWidth)});
  for (const KindGroup& group : kKindGroups) text += join({"\t", right(group.head2, kNumberWidth)});
  return join({text, "\t", right("Total", kNumberWidth), "\n\n"});
}

std::string ranking_text(const char* title, const char* what, const Ranking& ranking, long blacklisted) {
  std::vector<std::string> labels{what};
  for (const auto& [name, count] : ranking.rows) labels.push_back(printable(ranking_name(name)));
  const std::size_t width = label_width(labels);
  std::string text = join({"\n", title, "\n\n", right(what, width), "\t", right("Count", kNumberWidth), "   %\n"});
  for (std::size_t i = 0; i < ranking.rows.size(); ++i)
    text += join({right(labels[i + 1], width), "\t", right(ranking.rows[i].second),
                  right(percent(ranking.rows[i].second, blacklisted), 4), "\n"});
  if (ranking.rows.empty()) text += join({right("(no blacklisted message)", width), "\n"});
  if (ranking.short_by > 0)
    text += join({"(very many names: a count may be short by up to ", std::to_string(ranking.short_by), ")\n"});
  return text;
}

}  // namespace

std::string report_text(const ReportData& data) {
  std::string text = join({"QUORVANT activity in ", std::to_string(data.logs.size()),
                           data.logs.size() == 1 ? " log: " : " logs: ", std::to_string(data.total.total()),
                           " result lines, ", std::to_string(data.blacklisted), " blacklisted\n"});
  if (!data.first_day.empty()) text += join({"Period ", data.first_day, " to ", data.last_day, "\n"});
  text += join({"Made   ", time_text(data.made), "\n"});

  text += join({"\nResult lines per day\n\n", table_head("Day")});
  for (const DayRow& row : data.days) text += row_line(row);
  text += join({"\n", row_line(data.total), "\n", kColumnNote});

  text += join({"\nResult lines per hour of the day\n\n", table_head("Hour")});
  for (const DayRow& row : data.hours) text += row_line(row);

  text += "\nInvalid entries in the rule files (lines logged at MID and above)\n\n";
  std::vector<std::string> places{"File:Line"};
  for (const InvalidEntryRow& row : data.invalid_entries)
    places.push_back(join({printable(row.file), ":", std::to_string(row.line)}));
  const std::size_t width = label_width(places);
  text += join({right("File:Line", width), "\t", right("Logged", kNumberWidth), "\tData\n"});
  for (std::size_t i = 0; i < data.invalid_entries.size(); ++i)
    text += join({right(places[i + 1], width), "\t", right(data.invalid_entries[i].count), "\t",
                  printable(data.invalid_entries[i].data), "\n"});
  if (data.invalid_entries.empty()) text += join({right("(none)", width), "\n"});
  if (data.invalid_entries_not_listed > 0)
    text += join({"(and ", std::to_string(data.invalid_entries_not_listed), " more, of lines not listed)\n"});

  text += ranking_text("Recipient domains with the most blacklisted messages", "Domain", data.recipient_domains,
                       data.blacklisted);
  text += ranking_text("Users with the most blacklisted messages", "User", data.users, data.blacklisted);
  text += ranking_text("Sender domains blacklisted most", "Sender domain", data.sender_domains, data.blacklisted);

  const LogCounts& l = data.lines;
  text += join({"\nLines read ", std::to_string(l.lines), ": result lines ", std::to_string(l.results),
                ", invalid entries ", std::to_string(l.invalid_entries), ", trace ", std::to_string(l.trace),
                ", other lines skipped ", std::to_string(l.other), ", too long ", std::to_string(l.too_long), "\n"});
  text += "\nLogs read\n";
  for (const std::string& log : data.logs) text += join({"  ", printable(log), "\n"});
  for (const std::string& log : data.unreadable) text += join({"Not read: ", printable(log), "\n"});
  return text;
}
