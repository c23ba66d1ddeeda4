// Rules: the rule tree, and each file with its lines numbered as an editor
// numbers them, lint's findings beside the lines they concern, and beside
// each rule the messages of the last days it decided (replay's hits).
#include <algorithm>
#include <string>
#include <vector>

#include "admin/replay/replay_hits.h"
#include "admin/replay/replay_run.h"
#include "admin/serve/html_page.h"
#include "admin/serve/rule_listing.h"
#include "admin/serve/site.h"
#include "common/file.h"
#include "common/text_file.h"

namespace {

// A line of a rule file as HTML, its tabs shown as arrows.
std::string line_html(const std::string& line) {
  std::string html;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    html += html_escape(std::string_view(line).substr(start, tab - start)) + "<span class=\"tab\">&#x2192;</span>";
  return html + html_escape(std::string_view(line).substr(start));
}

const char* severity_word(Severity severity) {
  return severity == Severity::Error ? "error" : severity == Severity::Warning ? "warning" : "note";
}

struct FileText {
  std::vector<std::string> lines;  // as an editor shows them, without their line ends
  bool more = false;               // the file goes on past what is shown
};

// The lines as the checker's text mode reads them: CR LF or LF ends a line,
// a byte 26 ends the file.
FileText read_lines(const std::string& path) {
  FileText text;
  const FileHandle file = FileHandle::open_read(path.c_str());
  if (!file) return text;
  TextReader reader(file.get());
  std::string line;
  std::size_t bytes = 0;
  bool open = false;
  for (int c; (c = reader.get()) != EOF;) {
    if (static_cast<int>(text.lines.size()) >= SiteLimits::kShownFileLines || bytes >= SiteLimits::kShownFileBytes) {
      text.more = true;
      break;
    }
    ++bytes;
    open = true;
    if (c != '\n') {
      line += static_cast<char>(c);
      continue;
    }
    text.lines.push_back(std::move(line));
    line.clear();
    open = false;
  }
  if (open && !text.more) text.lines.push_back(std::move(line));
  return text;
}

std::string tally(const LintedFile& file) {
  int errors = 0, warnings = 0;
  for (const Finding& f : file.lint.findings) {
    errors += f.severity == Severity::Error;
    warnings += f.severity == Severity::Warning;
  }
  return std::to_string(errors) + " errors, " + std::to_string(warnings) + " warnings";
}

Response tree_page(const PageContext& context, const RuleListing& listing, const std::vector<HitLine>& hits) {
  std::string body = "<h1>Rule files</h1>\n";
  if (!listing.read) body += "<p class=\"error\">The program directory cannot be read.</p>\n";
  body += "<table id=\"tree\">\n<tr><th>#</th><th>File</th><th>Role</th><th>For</th><th>Findings</th>"
          "<th class=\"n\">Messages decided</th></tr>\n";
  for (const ListedFile& file : listing.files) {
    long decided = 0;
    const PathKeys keys;
    const std::string key = keys.key(file.lint->path);
    for (const HitLine& hit : hits)
      if (keys.key(hit.file) == key) decided += hit.decided;
    body += "<tr><td class=\"n\">" + std::to_string(file.place) + "</td><td><a href=\"" +
            href("/rules", with_tree(context, {{"file", std::to_string(file.place)}})) + "\">" + html_escape(file.lint->path) +
            "</a></td><td>" + role_name(file.role) + "</td><td>" +
            (file.role == FileRole::Domain || file.role == FileRole::User ? html_escape(file.label) : "") +
            "</td><td>" + (file.lint->read ? tally(*file.lint) : "not read") + "</td><td class=\"n\">" +
            std::to_string(decided) + "</td></tr>\n";
  }
  body += "</table>\n<p class=\"note\">Messages decided: by replaying the logs of the last " +
          std::to_string(context.site.config().days) + " days against the files as they are now.</p>\n";
  // A new file is previewed (GET /edit) like every edit, and made only from there.
  const std::string scope = context.session.scope.sees_everything() ? "" : " (within " + context.session.scope.text() + ")";
  body += "<h2>Create a user or domain file</h2>\n<form class=\"filter\" method=\"get\" action=\"/edit\" id=\"create\">\n"
          "<input type=\"hidden\" name=\"do\" value=\"create\"/>\n" + tree_input(context) +
          "<label>For the address or domain" + html_escape(scope) + "<input type=\"text\" name=\"for\" size=\"30\" "
          "maxlength=\"99\"/></label>\n<label>Its first rule line<input type=\"text\" name=\"rule\" size=\"50\" "
          "maxlength=\"200\"/></label>\n<button type=\"submit\">Create (preview)</button>\n</form>\n";
  return page_response({"Rules", Menu::Rules, body}, context.session);
}

Response file_page(const PageContext& context, const ListedFile& file, const std::vector<HitLine>& hits) {
  const LintedFile& lint = *file.lint;
  std::string body = "<h1>" + html_escape(lint.path) + "</h1>\n<p>" + role_name(file.role);
  if (file.role == FileRole::Domain || file.role == FileRole::User) body += " file of " + html_escape(file.label);
  if (file.tree && !file.tree->unreachable_why.empty()) body += ": " + html_escape(file.tree->unreachable_why);
  body += ". " + tally(lint) + ".</p>\n";

  std::vector<Finding> findings = lint.lint.findings;
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) { return a.line < b.line; });
  auto finding_html = [](const Finding& f) {
    return std::string("<div class=\"finding ") + severity_word(f.severity) + "\">" + std::to_string(f.line) + ": " +
           severity_word(f.severity) + ": " + html_escape(f.message) + " [" + f.check + "]</div>";
  };
  const FileText text = read_lines(lint.path);
  if (!lint.read) body += "<p class=\"error\">The file cannot be read.</p>\n";
  const int shown = static_cast<int>(text.lines.size());
  const std::vector<long> decided = decided_by_line(hits, lint.path, shown);
  body += "<table id=\"lines\">\n<tr><th class=\"n\">Line</th><th>Text</th><th class=\"n\">Decided</th>"
          "<th>Findings</th><th>Edit</th></tr>\n";
  const std::string place = std::to_string(file.place);
  const auto edit_link = [&](int n, const char* action, const char* label) {
    return std::string("<a class=\"edit-") + action + "\" href=\"" +
           href("/edit", with_tree(context, {{"file", place}, {"do", action}, {"line", std::to_string(n)}})) + "\">" + label + "</a> ";
  };
  std::size_t next = 0;
  for (int n = 1; n <= shown; ++n) {
    std::string notes;
    for (; next < findings.size() && findings[next].line <= n; ++next) notes += finding_html(findings[next]);
    const long count = decided[static_cast<std::size_t>(n)];
    body += "<tr id=\"line-" + std::to_string(n) + "\"><td class=\"n\">" + std::to_string(n) +
            "</td><td class=\"text\">" + line_html(text.lines[static_cast<std::size_t>(n - 1)]) +
            "</td><td class=\"n\">" + (count >= 0 ? std::to_string(count) : "") + "</td><td>" + notes + "</td><td>" +
            edit_link(n, "remove", "remove") + edit_link(n, "up", "up") + edit_link(n, "down", "down") + "</td></tr>\n";
  }
  body += "</table>\n";
  // Every edit is previewed first (GET /edit), and written only from there.
  body += "<form class=\"filter\" method=\"get\" action=\"/edit\" id=\"add\">\n<input type=\"hidden\" name=\"file\" "
          "value=\"" + place + "\"/>\n<input type=\"hidden\" name=\"do\" value=\"add\"/>\n" + tree_input(context) + "<label>Rule line<input type=\"text\" "
          "name=\"rule\" size=\"60\" maxlength=\"200\"/></label>\n<label><span>Before the first rule</span><input "
          "type=\"checkbox\" name=\"first\" value=\"1\"/></label>\n<button type=\"submit\">Add (preview)</button>\n</form>\n";
  if (text.more)
    body += "<p class=\"note\">The file goes on; the first " + std::to_string(shown) + " lines are shown.</p>\n";
  std::string rest;
  for (; next < findings.size(); ++next) rest += finding_html(findings[next]) + "\n";
  if (!rest.empty()) body += "<h2>Findings on lines not shown</h2>\n" + rest;
  return page_response({lint.path, Menu::Rules, body}, context.session);
}

}  // namespace

Response rules_page(const PageContext& context) {
  const std::string& directory = tree_of(context);
  RuleListing listing;
  std::vector<HitLine> hits;
  const std::vector<std::string> logs = context.site.log_paths(context.site.config().days);
  context.site.engine([&] {
    listing = list_rules(directory, context.session.scope);
    hits = replay_hits(directory, logs, context.session.scope.recipient_filter());
    return 0;
  });
  const std::string place = field(context.query, "file");
  if (place.empty()) return tree_page(context, listing, hits);
  const ListedFile* file =
      place.size() < 7 && place.find_first_not_of("0123456789") == std::string::npos ? listing.at(std::stoi(place)) : nullptr;
  if (!file) {
    Response response = page_response(
        {"No such file", Menu::Rules, "<h1>No such file</h1>\n<p>The rule tree has no file there.</p>\n"}, context.session);
    response.status = 404;
    return response;
  }
  return file_page(context, *file, hits);
}
