#include "admin/serve/html_page.h"

#include "admin/serve/query.h"

namespace {

constexpr std::pair<Menu, const char*> kMenu[] = {
    {Menu::Activity, "Activity"}, {Menu::Rules, "Rules"},   {Menu::History, "History"},
    {Menu::Report, "Report"},     {Menu::Health, "Health"}, {Menu::Candidate, "Candidate"}};

const char* menu_path(Menu menu) {
  switch (menu) {
    case Menu::Activity:
      return "/";
    case Menu::Rules:
      return "/rules";
    case Menu::History:
      return "/history";
    case Menu::Report:
      return "/report";
    case Menu::Health:
      return "/health";
    case Menu::Candidate:
      return "/candidate";
    case Menu::None:
      break;
  }
  return "/";
}

std::string head(const std::string& title, bool report_style) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\"/>\n<title>" + html_escape(title) +
         " - QVADMIN</title>\n<link rel=\"stylesheet\" href=\"/style.css\"/>\n" +
         (report_style ? "<link rel=\"stylesheet\" href=\"/report.css\"/>\n" : "") + "</head>\n";
}

}  // namespace

const char kConsoleStyle[] = R"(body { font-family: "DejaVu Sans", Arial, sans-serif; margin: 0; color: #222; background: #fff; }
html body { margin: 0; }
nav { display: flex; gap: 1.2em; align-items: center; padding: 0.5em 1.5em; background: #24364b; color: #fff; }
nav a { color: #fff; text-decoration: none; padding: 0.2em 0.4em; }
nav a.here { border-bottom: 2px solid #fff; font-weight: 600; }
nav .who { margin-left: auto; font-size: 0.85em; }
nav form { margin: 0; }
main { padding: 1em 1.5em; }
h1 { font-size: 1.35em; margin: 0.2em 0 0.6em; }
h2 { font-size: 1.1em; margin: 1.4em 0 0.4em; }
table { border-collapse: collapse; font-size: 0.85em; margin: 0.4em 0 1em; }
th, td { border: 1px solid #ccc; padding: 2px 6px; text-align: left; vertical-align: top; }
th { background: #eee; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td.text { font-family: "DejaVu Sans Mono", monospace; white-space: pre-wrap; word-break: break-all; }
span.tab { color: #999; }
tr:target td { background: #ffe08a; }
.error { color: #a40000; }
.warning { color: #8a5300; }
.note, p.note { color: #555; font-size: 0.85em; }
form.filter { display: flex; flex-wrap: wrap; gap: 0.6em 1em; align-items: end; margin-bottom: 0.8em; }
form.filter label { display: flex; flex-direction: column; font-size: 0.8em; }
pre.account { background: #f6f6f6; border: 1px solid #ddd; padding: 0.6em; font-size: 0.8em; white-space: pre-wrap; word-break: break-all; }
ul.counts { list-style: none; padding: 0; display: flex; flex-wrap: wrap; gap: 0.3em 1em; font-size: 0.85em; }
.pages { margin: 0.6em 0; }
#history td { word-break: break-all; }
tr.removed td { background: #fde2e2; }
tr.added td { background: #dff5df; }
p.candidate { background: #fff1c2; border: 2px solid #c98a00; padding: 0.4em 0.8em; font-weight: 600; }
)";

std::string href(std::string_view path, const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string target(path);
  char separator = '?';
  for (const auto& [name, value] : fields) {
    if (value.empty()) continue;
    target += separator + url_encode(name) + "=" + url_encode(value);
    separator = '&';
  }
  return html_escape(target);
}

Response page_response(const Page& page, const Session& session) {
  std::string html = head(page.title, page.report_style) + "<body>\n<nav>\n<strong>QUORVANT</strong>\n";
  for (const auto& [menu, name] : kMenu)
    if (menu != Menu::Candidate || session.scope.sees_everything())
      html += std::string("<a href=\"") + menu_path(menu) + "\"" + (menu == page.menu ? " class=\"here\"" : "") + ">" +
            name + "</a>\n";
  const std::string who = session.token_name.empty() ? "start-up token" : "token " + session.token_name;
  html += "<span class=\"who\">" + html_escape(who) + " (scope " + html_escape(session.scope.text()) +
          ")</span>\n<form method=\"post\" action=\"/logout\"><input type=\"hidden\" name=\"csrf\" value=\"" +
          html_escape(session.csrf) + "\"/><button type=\"submit\">Log out</button></form>\n</nav>\n<main>\n" +
          page.body + "</main>\n</body>\n</html>\n";
  Response response;
  response.body = std::move(html);
  return response;
}

Response mark_candidate(Response response, const std::string& directory) {
  const std::size_t main = response.body.find("<main>\n");
  const std::size_t title = response.body.find("<title>");
  if (response.status >= 300 && response.status < 400) return response;
  if (main == std::string::npos || title == std::string::npos) return response;
  response.body.insert(main + 7, "<p class=\"candidate\" id=\"candidate-banner\">Candidate tree " + html_escape(directory) +
                                     ": what is done on this page changes the candidate, not the live rules. <a href=\"/candidate\">"
                                     "The candidate's replay and Promote</a> &#xb7; <a href=\"/rules\">The live rules</a></p>\n");
  response.body.insert(title + 7, "Candidate: ");
  return response;
}

Response message_response(int status, const std::string& title, const std::string& text) {
  Response response;
  response.status = status;
  response.body = head(title, false) + "<body>\n<main>\n<h1>" + html_escape(title) + "</h1>\n<p>" + html_escape(text) +
                  "</p>\n</main>\n</body>\n</html>\n";
  return response;
}
