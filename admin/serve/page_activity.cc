// Activity: the result lines of the last days, newest first, a page at a
// time; filters by day, kind, recipient, sender, their domains and Subject,
// with the counts per kind of the filter shown.
#include <cctype>
#include <string>
#include <vector>

#include "admin/report/report_data.h"
#include "admin/serve/html_page.h"
#include "admin/serve/site.h"

namespace {

// The kind's name in a query: "Blacklisted-Domain" is blacklisted-domain.
std::string kind_word(ResultKind kind) {
  std::string word;
  for (const char c : result_name(kind)) word += c == ' ' ? '-' : static_cast<char>(std::tolower(c));
  return word;
}

struct KindChoice {
  std::string word, label;
  std::vector<ResultKind> kinds;
};

std::vector<KindChoice> kind_choices() {
  std::vector<KindChoice> choices = {{"", "every kind", {}},
                                     {"whitelisted", "whitelisted (any file)", {}},
                                     {"blacklisted", "blacklisted (any file)", {}},
                                     {"no-verdict", "no verdict", {}}};
  for (int k = 0; k < kResultKinds; ++k) {
    const ResultKind kind = static_cast<ResultKind>(k);
    const Verdict verdict = result_verdict(kind);
    const int group = verdict == Verdict::Whitelisted ? 1 : verdict == Verdict::Blacklisted ? 2 : 3;
    choices[static_cast<std::size_t>(group)].kinds.push_back(kind);
    choices.push_back({kind_word(kind), std::string(result_name(kind)), {kind}});
  }
  return choices;
}

struct Filter {
  ActivityFilter activity;
  std::string day;   // mmdd, or "" for every day
  std::string kind;  // the word chosen
  std::size_t page = 0;
  std::vector<std::pair<std::string, std::string>> fields() const {
    const ActivityFilter& a = activity;
    return {{"day", day},
            {"kind", kind},
            {"to", a.recipient},
            {"todomain", a.recipient_domain},
            {"from", a.sender},
            {"fromdomain", a.sender_domain},
            {"subject", a.subject}};
  }
};

Filter filter_of(Site& site, const Fields& query, const std::vector<KindChoice>& choices) {
  Filter f;
  ActivityFilter& a = f.activity;
  a.log = site.log_of_day(field(query, "day"));
  f.day = a.log.empty() ? "" : day_of_log(a.log);
  a.recipient = field(query, "to");
  a.recipient_domain = field(query, "todomain");
  a.sender = field(query, "from");
  a.sender_domain = field(query, "fromdomain");
  a.subject = field(query, "subject");
  f.kind = field(query, "kind");
  for (const KindChoice& choice : choices)
    if (choice.word == f.kind) a.kinds = choice.kinds;
  const std::string page = field(query, "page");
  if (!page.empty() && page.size() < 7 && page.find_first_not_of("0123456789") == std::string::npos)
    f.page = std::stoul(page);
  return f;
}

std::string text_input(const char* label, const char* name, const std::string& value) {
  return std::string("<label>") + label + "<input type=\"text\" name=\"" + name + "\" value=\"" + html_escape(value) +
         "\" size=\"18\"/></label>\n";
}

std::string filter_form(const Filter& f, const std::vector<IndexedLog>& logs, const std::vector<KindChoice>& choices) {
  std::string html = "<form class=\"filter\" method=\"get\" action=\"/\">\n<label>Day<select name=\"day\">\n";
  html += "<option value=\"\">every day</option>\n";
  for (const IndexedLog& log : logs)
    if (log.present || log.name == f.activity.log)
      html += "<option value=\"" + day_of_log(log.name) + "\"" + (log.name == f.activity.log ? " selected" : "") + ">" +
            html_escape(day_label(log.name)) + " (" + std::to_string(log.messages) + ")</option>\n";
  html += "</select></label>\n<label>Kind<select name=\"kind\">\n";
  for (const KindChoice& choice : choices)
    html += "<option value=\"" + choice.word + "\"" + (choice.word == f.kind ? " selected" : "") + ">" +
            html_escape(choice.label) + "</option>\n";
  html += "</select></label>\n";
  const ActivityFilter& a = f.activity;
  html += text_input("Recipient", "to", a.recipient) + text_input("Recipient domain", "todomain", a.recipient_domain) +
          text_input("Sender", "from", a.sender) + text_input("Sender domain", "fromdomain", a.sender_domain) +
          text_input("Subject", "subject", a.subject);
  return html + "<button type=\"submit\">Show</button>\n</form>\n";
}

std::string counts(const Filter& f, const ActivityAnswer& answer) {
  std::string html = "<ul class=\"counts\" id=\"counts\">\n";
  for (int k = 0; k < kResultKinds; ++k) {
    const ResultKind kind = static_cast<ResultKind>(k);
    Filter only = f;
    only.kind = kind_word(kind);
    html += "<li><a href=\"" + href("/", only.fields()) + "\" data-kind=\"" + kind_word(kind) + "\">" +
            std::string(result_name(kind)) + "</a> <span class=\"count\">" + std::to_string(answer.kinds[static_cast<std::size_t>(k)]) +
            "</span></li>\n";
  }
  return html + "</ul>\n";
}

std::string row(const LoggedLine& line) {
  std::string html = "<tr><td>" + html_escape(day_label(line.log)) + "</td><td>" + html_escape(line.time) + "</td>";
  if (line.gone)
    return html + "<td colspan=\"5\" class=\"note\">no longer in the log</td></tr>\n";
  const std::string id = line.identifier.empty() ? "-" : line.identifier;
  if (result_has_message(line.kind))
    html += "<td><a class=\"message\" href=\"" +
            href("/message", {{"day", day_of_log(line.log)}, {"at", std::to_string(line.offset)}}) + "\">" + html_escape(id) +
            "</a></td>";
  else
    html += "<td>" + html_escape(id) + "</td>";
  return html + "<td>" + html_escape(line.recipient) + "</td><td>" + html_escape(line.sender) + "</td><td>" +
         html_escape(line.subject) + "</td><td>" + html_escape(result_name(line.kind)) + "</td></tr>\n";
}

std::string pages(const Filter& f, const ActivityAnswer& answer) {
  const std::size_t per = SiteLimits::kPageLines;
  const std::size_t first = f.page * per;
  std::string html = "<p class=\"pages\">";
  if (answer.matched == 0) return html + "No line of the logs fits.</p>\n";
  html += "Lines " + std::to_string(first + 1) + " to " + std::to_string(first + answer.lines.size()) + " of " +
          std::to_string(answer.matched) + ", newest first.";
  auto link = [&](std::size_t page, const char* text, const char* rel) {
    auto fields = f.fields();
    fields.emplace_back("page", page ? std::to_string(page) : "");
    return std::string(" <a rel=\"") + rel + "\" href=\"" + href("/", fields) + "\">" + text + "</a>";
  };
  if (f.page > 0) html += link(f.page - 1, "Newer", "prev");
  if (first + answer.lines.size() < static_cast<std::size_t>(answer.matched)) html += link(f.page + 1, "Older", "next");
  return html + "</p>\n";
}

}  // namespace

Response activity_page(const PageContext& context) {
  const std::vector<KindChoice> choices = kind_choices();
  const Filter f = filter_of(context.site, context.query, choices);
  const ActivityAnswer answer = context.site.activity(f.activity, context.session.scope,
                                                      f.page * SiteLimits::kPageLines, SiteLimits::kPageLines);
  std::string body = "<h1>Activity of the last " + std::to_string(context.site.config().days) + " days</h1>\n";
  body += filter_form(f, context.site.logs(), choices) + counts(f, answer) + pages(f, answer);
  if (!answer.lines.empty()) {
    body += "<table id=\"activity\">\n<tr><th>Day</th><th>Time</th><th>Message</th><th>Recipient</th><th>Sender</th>"
            "<th>Subject</th><th>Result</th></tr>\n";
    for (const LoggedLine& line : answer.lines) body += row(line);
    body += "</table>\n" + pages(f, answer);
  }
  return page_response({"Activity", Menu::Activity, body}, context.session);
}
