#include <vector>

#include "admin/columns.h"
#include "admin/report/report_render.h"

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

std::string legend(const KindColumn& column) {
  return column.note ? column.note : std::string(result_name(column.kind));
}

std::string ranking_name(const std::string& name) { return name.empty() ? "(none)" : name; }

long percent(long count, long total) { return total > 0 ? static_cast<long>(count * 100LL / total) : 0; }

namespace {

constexpr char kColumnNote[] =
    "White and Black: whitelisted and blacklisted by the user's, the domain's or the program's rule file.\n"
    "Stopped: the domain or program rule file stopped the cascade (NO DOMAIN), a line without verdict\n"
    "words that the checker writes at HIGH and DEBUG. Bad From, Bad To, Mail To missing: the envelope\n"
    "held no usable sender or recipient. Not opened: \"Could not open message file.\"\n";

std::string day_line(const DayRow& row) {
  std::string text = right(row.label, kLabelWidth);
  for (const KindColumn& column : kKindColumns) text += join({"\t", right(row.kinds[static_cast<int>(column.kind)])});
  return join({text, "\t", right(row.total()), "\n"});
}

std::string ranking_text(const char* title, const char* what, const Ranking& ranking, long blacklisted) {
  std::vector<std::string> labels{what};
  for (const auto& [name, count] : ranking.rows) labels.push_back(ranking_name(name));
  const std::size_t width = label_width(labels);
  std::string text = join({"\n", title, "\n\n", right(what, width), "\t", right("Count", kNumberWidth), "   %\n"});
  for (const auto& [name, count] : ranking.rows)
    text += join({right(ranking_name(name), width), "\t", right(count), right(percent(count, blacklisted), 4), "\n"});
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

  text += join({"\nResult lines per day\n\n", right("", kLabelWidth)});
  for (const KindColumn& column : kKindColumns) text += join({"\t", right(column.head1, kNumberWidth)});
  text += join({"\t", right("", kNumberWidth), "\n", right("Day", kLabelWidth)});
  for (const KindColumn& column : kKindColumns) text += join({"\t", right(column.head2, kNumberWidth)});
  text += join({"\t", right("Total", kNumberWidth), "\n\n"});
  for (const DayRow& row : data.days) text += day_line(row);
  text += join({"\n", day_line(data.total), "\n", kColumnNote});

  text += "\nInvalid entries in the rule files (lines logged at MID and above)\n\n";
  std::vector<std::string> places{"File:Line"};
  for (const InvalidEntryRow& row : data.invalid_entries)
    places.push_back(join({row.file, ":", std::to_string(row.line)}));
  const std::size_t width = label_width(places);
  text += join({right("File:Line", width), "\t", right("Logged", kNumberWidth), "\tData\n"});
  for (std::size_t i = 0; i < data.invalid_entries.size(); ++i)
    text += join({right(places[i + 1], width), "\t", right(data.invalid_entries[i].count), "\t",
                  data.invalid_entries[i].data, "\n"});
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
  for (const std::string& log : data.unreadable) text += join({"Not read: ", log, "\n"});
  return text;
}
