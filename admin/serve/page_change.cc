// Change: whitelisting or blacklisting a logged message's sender (its address
// or its domain) in the recipient's own file, the recipient's domain file or
// the server-wide file. GET /change previews the change: the line, the file
// and where it goes, lint's new findings (an error refuses it) and replay of
// the logs of the last days against the rules with it. POST /apply writes it
// through the rule-change module, as QVADMIN add does, and leads back to the
// message; when the file changed since the preview, nothing is written and a
// fresh preview is shown.
#include <optional>
#include <string>
#include <vector>

#include "admin/change/change_check.h"
#include "admin/change/change_write.h"
#include "admin/serve/html_page.h"
#include "admin/serve/site.h"
#include "checker/log_words.h"
#include "common/console.h"
#include "common/host.h"
#include "common/sha256.h"
#include "common/text.h"

namespace {

// What the request asks, as its fields say it.
struct Ask {
  std::string day, at;
  bool whitelist = true;
  bool domain = false;  // the sender's domain, not the address
  std::string in;       // "user", "domain" or "server"
  bool first = false;   // before the file's first rule, not after its last line
  int days = 0;         // of logs replayed
};

std::optional<Ask> ask_of(const Fields& fields, int most_days) {
  Ask ask;
  ask.day = field(fields, "day");
  ask.at = field(fields, "at");
  const std::string list = field(fields, "list"), of = field(fields, "of");
  ask.in = field(fields, "in");
  if ((list != "whitelist" && list != "blacklist") || (of != "address" && of != "domain") ||
      (ask.in != "user" && ask.in != "domain" && ask.in != "server"))
    return std::nullopt;
  ask.whitelist = list == "whitelist";
  ask.domain = of == "domain";
  ask.first = field(fields, "first") == "1";
  ask.days = most_days;
  const std::string days = field(fields, "days");
  if (!days.empty()) {
    if (days.size() > 3 || days.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    ask.days = std::stoi(days);
    if (ask.days < 1 || ask.days > most_days) return std::nullopt;
  }
  return ask;
}

std::vector<std::pair<std::string, std::string>> ask_fields(const PageContext& context, const Ask& ask) {
  return with_tree(context, {{"day", ask.day},
          {"at", ask.at},
          {"list", ask.whitelist ? "whitelist" : "blacklist"},
          {"of", ask.domain ? "domain" : "address"},
          {"in", ask.in},
          {"first", ask.first ? "1" : ""},
          {"days", std::to_string(ask.days)}});
}

// The change a request asks for, planned on the file as it is now.
struct Proposal {
  LoggedLine message;
  std::string where;  // as QVADMIN add takes it: the address, @DOMAIN or *
  std::string rule;
  std::string path;
  EditPlan planned;
  std::string base;  // what the file was when planned: its SHA-256, or "new"
};

const char* in_words(const std::string& in) {
  return in == "user" ? "the recipient's own file" : in == "domain" ? "the recipient's domain file" : "the server-wide file";
}

// "@DOMAIN" of an address, "" when it has none.
std::string at_domain(const std::string& address) {
  const std::size_t at = address.rfind('@');
  return at == std::string::npos || at + 1 == address.size() ? "" : address.substr(at);
}

Response failed(const PageContext& context, int status, const std::string& title, const std::string& text) {
  Response response = page_response(
      {title, Menu::Activity, "<h1>" + html_escape(title) + "</h1>\n<p>" + html_escape(text) + "</p>\n"},
      context.session);
  response.status = status;
  return response;
}

// The message, the rule and the file; a refusal as the answer otherwise.
std::optional<Proposal> propose(const PageContext& context, const Ask& ask, Response& refusal) {
  Site& site = context.site;
  const std::string log = site.log_of_day(ask.day);
  std::optional<LoggedLine> found;
  if (!log.empty() && !ask.at.empty() && ask.at.size() <= 18 && ask.at.find_first_not_of("0123456789") == std::string::npos)
    found = site.message(log, std::stoull(ask.at));
  if (!found || !context.session.scope.sees_recipient(found->recipient)) {
    refusal = failed(context, 404, "No such message", "The logs of the last days hold no message there.");
    return std::nullopt;
  }
  Proposal p;
  p.message = *found;
  const LoggedLine& m = p.message;
  const std::string sender_domain = at_domain(m.sender), recipient_domain = at_domain(m.recipient);
  if (!result_has_message(m.kind) || m.sender_cut || sender_domain.empty() || recipient_domain.empty()) {
    refusal = failed(context, 409, "Cannot change the rules for this sender",
                     "The log holds no whole sender address for this message (none, or cut), so no rule can be "
                     "made from it here.");
    return std::nullopt;
  }
  p.where = ask.in == "user" ? m.recipient : ask.in == "domain" ? recipient_domain : "*";
  if (!context.session.scope.may_change(p.where)) {
    refusal = failed(context, 403, "Refused", "That rule file is beyond this session's scope.");
    return std::nullopt;
  }
  p.rule = std::string(ask.whitelist ? "WHITELIST" : "BLACKLIST") + " FROM " + (ask.domain ? sender_domain : m.sender);
  const ChangeTrees trees = change_trees(context);
  RuleWhere where;
  std::string why;
  if (!resolve_where(trees, p.where, where, why)) {
    refusal = failed(context, 409, "Cannot change that file", p.where + ": " + why);
    return std::nullopt;
  }
  p.path = where.cascade.front();
  p.planned = plan_edit(trees, p.path, RuleEdit{ask.first ? EditKind::AddFirst : EditKind::Add, p.rule, 0});
  if (p.planned.status == PlanStatus::Failed) {
    refusal = failed(context, 409, "Cannot change that file", p.planned.why);
    return std::nullopt;
  }
  if (p.planned.status == PlanStatus::Planned) {
    const std::optional<std::string>& before = p.planned.plan.files.front().before;
    p.base = before ? sha256_hex(*before) : "new";
  }
  return p;
}

const char* severity_word(Severity severity) {
  return severity == Severity::Error ? "error" : severity == Severity::Warning ? "warning" : "note";
}

std::string message_href(const std::string& log_name, std::uint64_t offset) {
  return href("/message", {{"day", day_of_log(log_name)}, {"at", std::to_string(offset)}});
}

std::string number_row(const std::string& name, long value) {
  return "<tr><th>" + html_escape(name) + "</th><td class=\"n\">" + std::to_string(value) + "</td></tr>\n";
}

// A changed message as a scoped session may see it: the deciding file
// of its new result may lie beyond the scope.
std::string scoped_change_text(Site& site, const ChangedAt& at, const std::string& log_name) {
  const std::optional<LoggedLine> m = site.message(log_name, at.offset);
  if (!m) return "a message no longer logged there";
  return m->time + " " + m->identifier + " To: " + m->recipient + " From: " + m->sender + " Subject: " + m->subject +
         "  " + std::string(result_name(m->kind)) + " -> " + std::string(result_name(at.now));
}

std::string replay_html(Site& site, const Scope& scope, const ChangePreview& preview, int days) {
  const ReplayTally& t = preview.tally;
  std::string html = "<h2>What it does to the mail of the last " + std::to_string(days) + " days</h2>\n"
                     "<table id=\"replay\">\n" +
                     number_row("Messages replayed", t.replayed) + number_row("Unchanged", t.unchanged) +
                     number_row("Changed", t.changed);
  for (int i = 0; i < kChangeKinds; ++i) html += number_row(change_name(static_cast<Change>(i)), t.changes[static_cast<std::size_t>(i)]);
  html += number_row("Uncertain (cut in the log)", t.uncertain) +
          number_row("of them replaying differently", t.uncertain_different) + "</table>\n";
  if (t.unreadable > 0) html += "<p class=\"error\">" + std::to_string(t.unreadable) + " logs cannot be read.</p>\n";
  if (preview.changes.empty()) return html + "<p id=\"unchanged\">No message of those days changes.</p>\n";
  html += "<ol id=\"changed\">\n";
  for (std::size_t i = 0; i < preview.changes.size(); ++i) {
    const ChangedAt& at = preview.places[i];
    const std::string name = at.log.substr(at.log.find_last_of("\\/") + 1);
    const std::string text = scope.sees_everything()
                                 ? preview.changes[i].substr(0, preview.changes[i].find('\n'))
                                 : scoped_change_text(site, at, name);
    html += "<li><a href=\"" + message_href(name, at.offset) + "\">" + html_escape(text) + "</a></li>\n";
  }
  html += "</ol>\n";
  if (preview.more > 0) html += "<p class=\"note\">and " + std::to_string(preview.more) + " more.</p>\n";
  return html;
}

}  // namespace

std::string preview_sections(const PageContext& context, const ChangePlan& plan, const std::string& path, int days,
                             bool& blocked) {
  Site& site = context.site;
  ChangeCheck check;
  ChangePreview replayed;
  const std::vector<std::string> logs = site.log_paths(days);
  const Scope& scope = context.session.scope;
  site.engine([&] {
    check = check_change(plan);
    CapturedConsole unread;
    replayed = preview_change(plan, logs, kPreviewChanges, "QVADMIN serve", unread, scope.recipient_filter());
    return 0;
  });
  std::string body = "<h2>Lint</h2>\n";
  if (!check.done) body += "<p class=\"error\">" + html_escape(check.why) + "</p>\n";
  if (check.done && check.added.empty()) body += "<p id=\"findings\">The change brings no new finding.</p>\n";
  if (!check.added.empty()) {
    body += "<ul id=\"findings\">\n";
    int beyond = 0;
    for (const ChangeFinding& f : check.added)
      if (!scope.sees_everything() && !same_ignoring_case(f.file, path))
        ++beyond;  // the findings of files the session does not see are counted, not shown
      else
        body += std::string("<li class=\"") + severity_word(f.finding.severity) + "\">" + html_escape(f.file) + ":" +
                std::to_string(f.finding.line) + ": " + severity_word(f.finding.severity) + ": " +
                html_escape(f.finding.message) + " [" + f.finding.check + "]</li>\n";
    if (beyond > 0)
      body += "<li>" + std::to_string(beyond) + " findings in rule files beyond this session's scope</li>\n";
    body += "</ul>\n";
  }
  body += replay_section(context, replayed, days);
  blocked = !check.done || check.added_errors > 0;
  if (blocked) body += "<p class=\"error\" id=\"blocked\">The change brings an error: it cannot be applied here.</p>\n";
  return body;
}

std::string replay_section(const PageContext& context, const ChangePreview& preview, int days) {
  return replay_html(context.site, context.session.scope, preview, days);
}

std::string console_author(const Session& session) {
  return host_account_name() + " at the console, " +
         (session.token_name.empty() ? std::string("start-up token") : "token " + session.token_name) + " (scope " +
         session.scope.text() + ")";
}

namespace {

Response preview(const PageContext& context, const Ask& ask, const Proposal& p, const std::string& note) {
  const LoggedLine& m = p.message;
  const std::string title = std::string(ask.whitelist ? "Whitelist" : "Blacklist") + " the sender's " +
                            (ask.domain ? "domain" : "address");
  std::string body = "<h1>" + title + "</h1>\n";
  if (!note.empty()) body += "<p class=\"error\" id=\"note\">" + html_escape(note) + "</p>\n";
  body += "<p>For <a href=\"" + message_href(m.log, m.offset) + "\">message " + html_escape(m.identifier) + "</a> to " +
          html_escape(m.recipient) + " from " + html_escape(m.sender) + ", in " + in_words(ask.in) + ".</p>\n";
  const EditPlan& planned = p.planned;
  const EditOutcome& edit = planned.edit;
  if (planned.status == PlanStatus::Refused) {
    body += "<p id=\"refused\">";
    if (edit.status == EditStatus::AlreadyThere) {
      body += html_escape(p.path) + " holds the rule already, at line";
      for (const int line : edit.lines) body += " " + std::to_string(line);
      body += ": nothing to add.";
    } else {
      body += html_escape(planned.why.empty() ? "The rule cannot be added to that file." : planned.why);
    }
    body += "</p>\n";
    return page_response({title, Menu::Activity, body}, context.session);
  }
  const FileChange& file = planned.plan.files.front();
  const int line = edit.lines.empty() ? 0 : edit.lines.front();
  body += "<table id=\"proposal\">\n<tr><th>Line</th><td class=\"text\">" + html_escape(p.rule) +
          "</td></tr>\n<tr><th>File</th><td>" + html_escape(p.path) + (file.before ? "" : " (a new file)") +
          "</td></tr>\n<tr><th>Where</th><td>line " + std::to_string(line) +
          (ask.first ? ", before the file's first rule" : ", after the file's last line") + "</td></tr>\n</table>\n";
  Ask other = ask;
  other.first = !ask.first;
  body += "<p><a id=\"other-place\" href=\"" + href("/change", ask_fields(context, other)) + "\">" +
          (ask.first ? "Put it after the file's last line instead" : "Put it before the file's first rule instead") +
          "</a> (the first rule that hits decides).</p>\n";

  bool blocked = false;
  body += preview_sections(context, planned.plan, p.path, ask.days, blocked);
  if (!blocked) {
    body += "<form method=\"post\" action=\"/apply\" id=\"apply\">\n";
    for (const auto& [name, value] : ask_fields(context, ask))
      if (!value.empty()) body += "<input type=\"hidden\" name=\"" + name + "\" value=\"" + html_escape(value) + "\"/>\n";
    body += "<input type=\"hidden\" name=\"base\" value=\"" + p.base + "\"/>\n<input type=\"hidden\" name=\"csrf\" value=\"" +
            html_escape(context.session.csrf) + "\"/>\n<button type=\"submit\">Apply</button>\n</form>\n";
  }
  return page_response({title, Menu::Activity, body}, context.session);
}


}  // namespace

Response change_page(const PageContext& context) {
  const std::optional<Ask> ask = ask_of(context.query, context.site.config().days);
  if (!ask) return failed(context, 404, "No such change", "The console offers no such change.");
  Response refusal;
  const std::optional<Proposal> p = propose(context, *ask, refusal);
  return p ? preview(context, *ask, *p, "") : refusal;
}

Response apply_page(const PageContext& context) {
  const std::optional<Ask> ask = ask_of(context.query, context.site.config().days);
  if (!ask) return failed(context, 404, "No such change", "The console offers no such change.");
  Response refusal;
  std::optional<Proposal> p = propose(context, *ask, refusal);
  if (!p) return refusal;
  const auto again = [&](const std::string& note) {
    Response response = preview(context, *ask, *p, note);
    response.status = 409;
    return response;
  };
  if (p->planned.status != PlanStatus::Planned || p->base != field(context.query, "base"))
    return again("The file changed since that preview: nothing was written. This is the change on the file as it is now.");
  // The check again, on the bytes to be written: the preview's findings were
  // of the file as it was then.
  ChangeCheck check;
  context.site.engine([&] {
    check = check_change(p->planned.plan);
    return 0;
  });
  if (!check.done || check.added_errors > 0) return again("The change brings an error: nothing was written.");
  const std::string command = "QVADMIN add " + (p->where.find(' ') == std::string::npos ? p->where : "\"" + p->where + "\"") +
                              " " + p->rule;
  const WriteOutcome written = context.site.engine(
      [&] { return write_change(p->planned.plan, ChangeAuthor{console_author(context.session), command}); });
  if (written.status == WriteStatus::Stale) {
    p = propose(context, *ask, refusal);
    if (!p) return refusal;
    return again("The file changed while the change was written: nothing was written. This is the change on the file "
                 "as it is now.");
  }
  if (written.status == WriteStatus::Failed) return failed(context, 500, "Not written", written.why);
  Response response = message_response(303, "Written", "Written as change " + std::to_string(written.entry) + ".");
  response.headers.emplace_back(
      "Location", "/message?day=" + ask->day + "&at=" + ask->at + "&change=" + std::to_string(written.entry) +
                      (on_candidate(context) ? "&tree=candidate" : ""));
  return response;
}
