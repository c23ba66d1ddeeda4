// History: the change log of the live tree (when, who, what, which files),
// each entry's changes line by line, and Roll back: a preview of the
// rollback (GET /rollback), then POST /undo writes it as QVADMIN rollback
// does. The history names every file of the tree, so only a session that
// sees everything has these pages.
#include <algorithm>
#include <string>
#include <vector>

#include "admin/change/change_check.h"
#include "admin/change/change_write.h"
#include "admin/change/history.h"
#include "admin/change/rule_edit.h"
#include "admin/serve/html_page.h"
#include "admin/serve/site.h"
#include "common/sha256.h"

namespace {

// Lines of a file's change shown at most.
constexpr std::size_t kShownDiffLines = 400;

Response answer(const PageContext& context, int status, const std::string& title, const std::string& body) {
  Response response = page_response({title, Menu::History, body}, context.session);
  response.status = status;
  return response;
}

Response not_found(const PageContext& context) {
  return answer(context, 404, "No such change", "<h1>No such change</h1>\n<p>The history holds no such change.</p>\n");
}

int entry_of(const Fields& fields) {
  const std::string id = field(fields, "entry");
  if (id.empty() || id.size() > 9 || id.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(id);
}

std::string entry_html(const std::string& tree, const HistoryEntry& e) {
  std::string html = "<h2 id=\"entry-" + std::to_string(e.id) + "\">Change " + std::to_string(e.id) + "</h2>\n<p>" +
                     html_escape(e.time) + ", " + html_escape(e.account) + ": " + html_escape(e.what) +
                     (e.done ? "" : " (interrupted before every file was in place)") + "</p>\n";
  for (std::size_t i = 0; i < e.files.size(); ++i) {
    const HistoryFile& f = e.files[i];
    std::string before, after, why;
    const bool read = (f.before_hash.empty() || kept_bytes(tree, e, i, true, before, why)) &&
                      (f.after_hash.empty() || kept_bytes(tree, e, i, false, after, why));
    html += "<h3>" + html_escape(f.path) +
            (f.before_hash.empty() ? " (made)" : f.after_hash.empty() ? " (taken away)" : "") + "</h3>\n";
    html += read ? "<table class=\"diff\">\n" + diff_rows(before, after) + "</table>\n"
                 : "<p class=\"error\">" + html_escape(why) + "</p>\n";
  }
  return html;
}

// What a rollback replaces: the bytes of each file as it is now.
std::string base_of(const ChangePlan& plan) {
  std::string text;
  for (const FileChange& f : plan.files) text += f.path + '\n' + (f.before ? sha256_hex(*f.before) : "-") + '\n';
  return sha256_hex(text);
}

Response rollback_preview(const PageContext& context, int id, const std::string& note) {
  const std::string& tree = tree_of(context);
  ChangePlan plan;
  std::string why;
  const PlanStatus status = context.site.engine([&] { return plan_rollback(tree, id, plan, why); });
  std::string body = "<h1>Roll back change " + std::to_string(id) + "</h1>\n";
  if (!note.empty()) body += "<p class=\"error\" id=\"note\">" + html_escape(note) + "</p>\n";
  if (status != PlanStatus::Planned) {
    body += "<p id=\"refused\">" + html_escape(why) + "</p>\n";
    return answer(context, note.empty() ? 200 : 409, "Roll back", body);
  }
  body += "<p>" + html_escape(plan.what) + "</p>\n";
  for (const FileChange& f : plan.files)
    body += "<h3>" + html_escape(f.path) + (f.after ? "" : " (taken away)") + "</h3>\n<table class=\"diff\">\n" +
            diff_rows(f.before.value_or(""), f.after.value_or("")) + "</table>\n";
  bool blocked = false;
  body += preview_sections(context, plan, "", context.site.config().days, blocked);
  if (!blocked)
    body += "<form method=\"post\" action=\"/undo\" id=\"apply\">\n<input type=\"hidden\" name=\"entry\" value=\"" +
            std::to_string(id) + "\"/>\n" + tree_input(context) + "<input type=\"hidden\" name=\"base\" value=\"" + base_of(plan) +
            "\"/>\n<input type=\"hidden\" name=\"csrf\" value=\"" + html_escape(context.session.csrf) +
            "\"/>\n<button type=\"submit\">Roll back</button>\n</form>\n";
  return answer(context, note.empty() ? 200 : 409, "Roll back", body);
}

}  // namespace

// The lines that differ: what lies between the lines both begin with and
// those both end with, taken out (-) and put in (+).
std::string diff_rows(const std::string& before, const std::string& after) {
  const std::vector<std::string> a = editor_lines(before), b = editor_lines(after);
  std::size_t head = 0, tail = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
  std::string html;
  std::size_t shown = 0;
  const auto lines = [&](const std::vector<std::string>& from, const char* sign, const char* style) {
    for (std::size_t i = head; i < from.size() - tail && shown < kShownDiffLines; ++i, ++shown)
      html += std::string("<tr class=\"") + style + "\"><td class=\"n\">" + std::to_string(i + 1) + "</td><td>" + sign +
              "</td><td class=\"text\">" + html_escape(from[i]) + "</td></tr>\n";
  };
  lines(a, "-", "removed");
  lines(b, "+", "added");
  if (shown >= kShownDiffLines) html += "<tr><td></td><td></td><td>(more lines not shown)</td></tr>\n";
  return html.empty() ? "<tr><td></td><td></td><td>(the lines are the same; the bytes differ)</td></tr>\n" : html;
}

Response history_page(const PageContext& context) {
  const std::string& tree = tree_of(context);
  std::vector<HistoryEntry> entries;
  std::string why;
  const bool read = context.site.engine([&] { return read_history(tree, entries, why); });
  if (!read) return answer(context, 500, "History", "<h1>History</h1>\n<p class=\"error\">" + html_escape(why) + "</p>\n");
  if (const int id = entry_of(context.query)) {
    const auto e = std::find_if(entries.begin(), entries.end(), [&](const HistoryEntry& h) { return h.id == id; });
    if (e == entries.end()) return not_found(context);
    return answer(context, 200, "Change " + std::to_string(id),
                  entry_html(tree, *e) + "<p><a id=\"rollback\" href=\"" +
                      href("/rollback", with_tree(context, {{"entry", std::to_string(id)}})) + "\">Roll back change " +
                      std::to_string(id) + "</a> (shows what it does first)</p>\n");
  }
  std::string body = "<h1>History of the rule changes</h1>\n";
  if (entries.empty()) body += "<p>No change has been made with QVADMIN to these rule files.</p>\n";
  body += "<table id=\"history\">\n<tr><th>Change</th><th>When</th><th>Who</th><th>What</th><th>Files</th></tr>\n";
  for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
    std::string files;
    for (const HistoryFile& f : e->files) files += html_escape(f.path) + "<br/>";
    body += "<tr><td class=\"n\"><a href=\"" + href("/history", with_tree(context, {{"entry", std::to_string(e->id)}})) + "\">" +
            std::to_string(e->id) + "</a><br/><a class=\"rollback\" href=\"" +
            href("/rollback", with_tree(context, {{"entry", std::to_string(e->id)}})) + "\">Roll back</a></td><td>" + html_escape(e->time) +
            "</td><td>" + html_escape(e->account) + "</td><td>" + html_escape(e->what) +
            (e->done ? "" : " (interrupted)") + "</td><td>" + files + "</td></tr>\n";
  }
  body += "</table>\n";
  return answer(context, 200, "History", body);
}

Response rollback_page(const PageContext& context) {
  const int id = entry_of(context.query);
  return id ? rollback_preview(context, id, "") : not_found(context);
}

Response undo_page(const PageContext& context) {
  const int id = entry_of(context.query);
  if (!id) return not_found(context);
  const std::string& tree = tree_of(context);
  ChangePlan plan;
  std::string why;
  if (context.site.engine([&] { return plan_rollback(tree, id, plan, why); }) != PlanStatus::Planned ||
      base_of(plan) != field(context.query, "base"))
    return rollback_preview(context, id, "The files changed since that preview: nothing was written. This is the "
                                         "rollback as it stands now.");
  const ChangeCheck check = context.site.engine([&] { return check_change(plan); });
  if (!check.done || check.added_errors > 0)
    return rollback_preview(context, id, "The rollback brings an error: nothing was written.");
  const WriteOutcome written = context.site.engine([&] {
    return write_change(plan, ChangeAuthor{console_author(context.session), "QVADMIN rollback " + std::to_string(id)});
  });
  if (written.status == WriteStatus::Stale)
    return rollback_preview(context, id, "The files changed while the rollback was written: nothing was written.");
  if (written.status == WriteStatus::Failed)
    return answer(context, 500, "Not written", "<h1>Not written</h1>\n<p>" + html_escape(written.why) + "</p>\n");
  Response response = message_response(303, "Written", "Written as change " + std::to_string(written.entry) + ".");
  response.headers.emplace_back("Location", "/history?entry=" + std::to_string(written.entry) +
                                                (on_candidate(context) ? "&tree=candidate" : ""));
  return response;
}
