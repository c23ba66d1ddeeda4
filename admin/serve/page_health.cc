// Health: lint's summary of the tree, missing REDIRECT targets, files and
// logs that cannot be read, and what the console holds against its budgets.
#include <string>
#include <vector>

#include "admin/lint/lint_finding.h"
#include "admin/report/report_data.h"
#include "admin/serve/html_page.h"
#include "admin/serve/rule_listing.h"
#include "admin/serve/site.h"

namespace {

std::string item(const ListedFile& file, const Finding& finding) {
  return "<li><a href=\"" + href("/rules", {{"file", std::to_string(file.place)}}) + "#line-" +
         std::to_string(finding.line) + "\">" +
         html_escape(file.lint->path) + ":" + std::to_string(finding.line) + "</a>: " + html_escape(finding.message) +
         "</li>\n";
}

std::string section(const char* id, const char* title, const std::string& items, const char* none) {
  return std::string("<h2>") + title + "</h2>\n" +
         (items.empty() ? std::string("<p id=\"") + id + "\">" + none + "</p>\n"
                        : std::string("<ul id=\"") + id + "\">\n" + items + "</ul>\n");
}

}  // namespace

Response health_page(const PageContext& context) {
  const RuleListing listing =
      context.site.engine([&] { return list_rules(context.site.config().directory, context.session.scope); });
  int errors = static_cast<int>(listing.lint.troubles.size()), warnings = 0, files = 0;
  std::string missing, unreadable;
  for (const ListedFile& file : listing.files) {
    files += file.lint->read;
    for (const Finding& f : file.lint->lint.findings) {
      errors += f.severity == Severity::Error;
      warnings += f.severity == Severity::Warning;
      if (std::string(f.check) == lint_check::kRedirectMissing) missing += item(file, f);
      if (std::string(f.check) == lint_check::kUnreadableFile) unreadable += item(file, f);
    }
  }
  for (const std::string& trouble : listing.lint.troubles) unreadable += "<li>" + html_escape(trouble) + "</li>\n";
  if (!listing.read) unreadable += "<li>The program directory cannot be read.</li>\n";

  std::string body = "<h1>Health</h1>\n<h2>Rule files</h2>\n<p id=\"lint\">" + std::to_string(errors) + " errors, " +
                     std::to_string(warnings) + " warnings in " + std::to_string(files) +
                     " files (lint of the program directory; the Rules page shows each finding).</p>\n";
  body += section("missing", "Missing REDIRECT targets", missing, "None.");
  body += section("unreadable", "Rule files and folders that cannot be read", unreadable, "None.");
  std::string logs;
  for (const IndexedLog& log : context.site.logs())
    if (log.unreadable) logs += "<li>" + html_escape(log.name) + " (" + html_escape(day_label(log.name)) + ")</li>\n";
  body += section("logs", "Activity logs that cannot be read", logs, "None.");

  const Site::IndexSize index = context.site.index_size();
  body += "<h2>Budgets</h2>\n<ul id=\"budgets\">\n<li>The activity index holds " + std::to_string(index.messages) +
          " messages of the last " + std::to_string(context.site.config().days) + " days in " +
          std::to_string(index.bytes / 1024) + " KiB (16 bytes a message and each distinct address once).";
  if (index.full)
    body += " <strong>It is full (" + std::to_string(LogIndex::kMaxBytes >> 20) +
            " MiB): newer lines are not taken in until the day changes.</strong>";
  body += "</li>\n<li>Activity pages show " + std::to_string(SiteLimits::kPageLines) +
          " lines each; the Rules page shows the first " + std::to_string(SiteLimits::kShownFileLines) +
          " lines of a file.</li>\n<li>Lint, replay and report run one at a time, each within its own memory "
          "budget.</li>\n</ul>\n";
  return page_response({"Health", Menu::Health, body}, context.session);
}
