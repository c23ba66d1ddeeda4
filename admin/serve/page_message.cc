// Message: one logged message, explain's whole account of it (the account
// `QVADMIN explain --from --to --subject` gives for the logged texts), and
// the deciding line linked to its place on the Rules page.
#include <string>

#include "admin/explain/explain.h"
#include "admin/report/report_data.h"
#include "admin/serve/html_page.h"
#include "admin/serve/rule_listing.h"
#include "admin/serve/site.h"
#include "common/console.h"

namespace {

Response not_found(const PageContext& context) {
  Response response = page_response(
      {"No such message", Menu::Activity, "<h1>No such message</h1>\n<p>The logs of the last days hold no message there.</p>\n"},
      context.session);
  response.status = 404;
  return response;
}

// The command line that gives the same account, for the record.
std::string command_line(const LoggedLine& line) {
  auto quoted = [](const std::string& text) { return "\"" + text + "\""; };
  return "QVADMIN explain --from " + quoted(line.sender) + " --to " + quoted(line.recipient) + " --subject " +
         quoted(line.subject);
}

std::string verdict_words(Verdict verdict) {
  return verdict == Verdict::Whitelisted ? "whitelisted" : verdict == Verdict::Blacklisted ? "blacklisted" : "no verdict";
}

std::string decided_html(const PageContext& context, const ListedFile& file, const MessageCheck& check) {
  return "<p id=\"decided\">Decided by <a href=\"" + href("/rules", with_tree(context, {{"file", std::to_string(file.place)}})) +
         "#line-" + std::to_string(check.decision.editor_line) + "\">" + html_escape(check.decision.file) + ":" +
         std::to_string(check.decision.editor_line) + "</a></p>\n";
}

// The changes this page offers: whitelisting or blacklisting the sender's
// address or domain in each file of the recipient's cascade that the
// session may change; each link leads to the change's preview.
std::string change_links(const PageContext& context, const LoggedLine& line) {
  const std::size_t sender_at = line.sender.rfind('@'), recipient_at = line.recipient.rfind('@');
  if (line.sender_cut || sender_at == std::string::npos || sender_at + 1 == line.sender.size() ||
      recipient_at == std::string::npos)
    return "<p class=\"note\">The log holds no whole sender address, so this page offers no rule for it.</p>\n";
  const std::pair<const char*, std::string> files[] = {{"user", line.recipient},
                                                       {"domain", line.recipient.substr(recipient_at)},
                                                       {"server", "*"}};
  const std::string day = day_of_log(line.log), at = std::to_string(line.offset);
  std::string rows;
  for (const auto& [in, where] : files) {
    if (!context.session.scope.may_change(where)) continue;
    rows += "<tr><th>" + html_escape(where == "*" ? "server-wide file" : where) + "</th>";
    for (const char* list : {"whitelist", "blacklist"})
      for (const char* of : {"address", "domain"})
        rows += std::string("<td><a class=\"change\" id=\"") + list + "-" + of + "-" + in + "\" href=\"" +
                href("/change", with_tree(context, {{"day", day}, {"at", at}, {"list", list}, {"of", of}, {"in", in}})) + "\">" +
                (list[0] == 'w' ? "Whitelist" : "Blacklist") + " " +
                html_escape(of[0] == 'a' ? line.sender : line.sender.substr(sender_at)) + "</a></td>";
    rows += "</tr>\n";
  }
  if (rows.empty()) return "";
  return "<h2>Change the rules for this sender</h2>\n<table id=\"changes\">\n" + rows +
         "</table>\n<p class=\"note\">Each shows what the change does before anything is written.</p>\n";
}

}  // namespace

Response message_page(const PageContext& context) {
  const std::string log = context.site.log_of_day(field(context.query, "day"));
  const std::string at = field(context.query, "at");
  if (log.empty() || at.empty() || at.size() > 18 || at.find_first_not_of("0123456789") != std::string::npos)
    return not_found(context);
  const std::optional<LoggedLine> found = context.site.message(log, std::stoull(at));
  if (!found || !context.session.scope.sees_recipient(found->recipient)) return not_found(context);
  const LoggedLine& line = *found;

  std::string body = "<h1>Message " + html_escape(line.identifier) + "</h1>\n";
  if (const std::string change = field(context.query, "change");
      !change.empty() && change.size() < 10 && change.find_first_not_of("0123456789") == std::string::npos)
    body += "<p id=\"written\">Written as change " + change +
            ". The account below is of the rules as they are now.</p>\n";
  body += "<table id=\"logged\">\n";
  const std::pair<const char*, std::string> rows[] = {
      {"Logged", day_label(line.log) + " " + line.time + " in " + line.log},
      {"Recipient", line.recipient},
      {"Sender", line.sender + (line.sender_cut ? "  (cut in the log)" : "")},
      {"Subject", line.subject + (line.subject_cut ? "  (cut in the log)" : "")},
      {"Result", std::string(result_name(line.kind))}};
  for (const auto& [name, value] : rows)
    body += std::string("<tr><th>") + name + "</th><td>" + html_escape(value) + "</td></tr>\n";
  body += "</table>\n";
  if (on_candidate(context))
    body += "<p id=\"tree-note\">The account below is of the candidate's rules. <a href=\"" +
            href("/message", {{"day", day_of_log(line.log)}, {"at", at}}) + "\">The live rules' account</a></p>\n";
  else if (context.session.scope.sees_everything() && candidate_there(context.site.config().candidate))
    body += "<p id=\"tree-note\"><a href=\"" +
            href("/message", {{"day", day_of_log(line.log)}, {"at", at}, {"tree", "candidate"}}) +
            "\">This message on the candidate tree</a>: its account and changes there.</p>\n";
  if (!result_has_message(line.kind)) {
    body += "<p>The checker read no rule file for this message: its envelope held no usable sender or recipient, "
            "or the message file could not be opened.</p>\n";
    return page_response({"Message", Menu::Activity, body}, context.session);
  }

  const std::string& directory = tree_of(context);
  CapturedConsole account;
  MessageCheck check;
  RuleListing listing;
  context.site.engine([&] {
    check = explain_by_address(directory, line.sender, line.recipient, &line.subject, false, account);
    if (check.decision.by != DecidedBy::Nothing) listing = list_rules(directory, context.session.scope);
    return 0;
  });
  const ListedFile* file = check.decision.by == DecidedBy::Nothing ? nullptr : listing.named(check.decision.file);
  if (!context.session.scope.sees_everything()) {
    // The account reads the whole cascade, the server-wide file and
    // REDIRECT targets too: a scoped session gets the verdict alone, and
    // the deciding line when it stands in a file of the scope.
    body += "<p id=\"verdict\">With the rules as they are now: " + verdict_words(check.verdict) +
            (file ? "" : check.decision.by == DecidedBy::Nothing ? "." : ", by a rule file beyond this session's scope.") +
            "</p>\n";
    if (file) body += decided_html(context, *file, check);
    return page_response({"Message", Menu::Activity, body + change_links(context, line)}, context.session);
  }
  body += "<p class=\"note\">The log holds the checker's view of the message: its texts upper-cased, the sender cut "
          "at the line's 150th character and the Subject at its 199th. This is the account of the logged texts, "
          "as <code>" + html_escape(command_line(line)) + "</code> gives it" +
          (line.sender_cut || line.subject_cut ? "; as they were cut, the checker may have decided on more" : "") +
          ".</p>\n";
  if (file) body += decided_html(context, *file, check);
  body += "<pre class=\"account\" id=\"account\">" + html_escape(account.text(), true) + "</pre>\n";
  body += change_links(context, line);
  return page_response({"Message", Menu::Activity, body}, context.session);
}
