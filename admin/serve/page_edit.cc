// Editing a rule file from the Rules page: a rule line added (after the last
// line or before the first rule), a line removed, a line moved up or down.
// GET /edit previews the edit (the lines it changes, lint's new findings,
// replay of the last days); POST /save writes it through the rule-change
// steps, as QVADMIN add and remove do. The file is named by its place in the
// session's listing; a file that changed since the preview is not written.
#include <optional>
#include <string>

#include "admin/change/change_check.h"
#include "admin/change/change_write.h"
#include "admin/serve/html_page.h"
#include "admin/serve/rule_listing.h"
#include "admin/serve/site.h"
#include "common/sha256.h"

namespace {

struct EditAsk {
  std::string place, action, line, rule;
  bool first = false;
  RuleEdit edit;
};

std::optional<EditAsk> edit_ask(const Fields& fields) {
  EditAsk ask;
  ask.place = field(fields, "file");
  ask.action = field(fields, "do");
  ask.line = field(fields, "line");
  ask.rule = field(fields, "rule");
  ask.first = field(fields, "first") == "1";
  const auto number = [](const std::string& text) {
    return !text.empty() && text.size() < 7 && text.find_first_not_of("0123456789") == std::string::npos
               ? std::stoi(text)
               : 0;
  };
  if (number(ask.place) < 1) return std::nullopt;
  if (ask.action == "add") {
    ask.edit = {ask.first ? EditKind::AddFirst : EditKind::Add, ask.rule, 0};
    return ask;
  }
  const int line = number(ask.line);
  if (line < 1) return std::nullopt;
  if (ask.action == "remove") ask.edit = {EditKind::RemoveLine, "", line};
  else if (ask.action == "up") ask.edit = {EditKind::MoveUp, "", line};
  else if (ask.action == "down") ask.edit = {EditKind::MoveDown, "", line};
  else return std::nullopt;
  return ask;
}

std::vector<std::pair<std::string, std::string>> edit_fields(const EditAsk& ask) {
  return {{"file", ask.place}, {"do", ask.action}, {"line", ask.line}, {"rule", ask.rule}, {"first", ask.first ? "1" : ""}};
}

struct Planned {
  std::string path;
  int place = 0;
  EditPlan edit;
  std::string base;  // the file's path and bytes when planned
};

Response refused(const PageContext& context, int status, const std::string& text) {
  Response response = page_response(
      {"Edit", Menu::Rules, "<h1>Edit</h1>\n<p id=\"refused\">" + html_escape(text) + "</p>\n"}, context.session);
  response.status = status;
  return response;
}

// The edit planned on the listed file as it is now; the refusal otherwise.
std::optional<Planned> plan_of(const PageContext& context, const EditAsk& ask, Response& refusal) {
  const std::string& directory = context.site.config().directory;
  const RuleListing listing = context.site.engine([&] { return list_rules(directory, context.session.scope); });
  const ListedFile* file = listing.at(std::stoi(ask.place));
  if (!file) {
    refusal = refused(context, 404, "The rule tree has no file there.");
    return std::nullopt;
  }
  Planned p;
  p.place = file->place;
  p.path = file->lint->path;
  const ChangeTrees trees{directory, directory};
  p.edit = context.site.engine([&] { return plan_edit(trees, p.path, ask.edit); });
  if (p.edit.status == PlanStatus::Failed) {
    refusal = refused(context, 409, p.edit.why);
    return std::nullopt;
  }
  if (p.edit.status == PlanStatus::Planned) {
    const std::optional<std::string>& before = p.edit.plan.files.front().before;
    p.base = sha256_hex(p.path + '\n' + (before ? sha256_hex(*before) : "new"));
  }
  return p;
}

std::string refusal_text(const EditOutcome& outcome) {
  switch (outcome.status) {
    case EditStatus::AlreadyThere:
      return "The file holds the rule already: nothing to add.";
    case EditStatus::NoSuchLine:
      return "The file has no such line the checker reads, or it cannot move that way.";
    case EditStatus::NotARuleLine:
      return "A rule line is not empty and holds no tab, line end or other control character.";
    default:
      return "The edit does not apply to the file.";
  }
}

Response edit_preview(const PageContext& context, const EditAsk& ask, const Planned& p, const std::string& note) {
  std::string body = "<h1>Edit " + html_escape(p.path) + "</h1>\n";
  if (!note.empty()) body += "<p class=\"error\" id=\"note\">" + html_escape(note) + "</p>\n";
  body += "<p><a href=\"" + href("/rules", {{"file", std::to_string(p.place)}}) + "\">Back to the file</a></p>\n";
  if (p.edit.status != PlanStatus::Planned) {
    body += "<p id=\"refused\">" +
            html_escape(p.edit.edit.status == EditStatus::Done ? p.edit.why : refusal_text(p.edit.edit)) + "</p>\n";
  } else {
    const FileChange& file = p.edit.plan.files.front();
    body += "<table class=\"diff\" id=\"edit\">\n" + diff_rows(file.before.value_or(""), file.after.value_or("")) +
            "</table>\n";
    bool blocked = false;
    body += preview_sections(context, p.edit.plan, p.path, context.site.config().days, blocked);
    if (!blocked) {
      body += "<form method=\"post\" action=\"/save\" id=\"apply\">\n";
      for (const auto& [name, value] : edit_fields(ask))
        if (!value.empty())
          body += "<input type=\"hidden\" name=\"" + name + "\" value=\"" + html_escape(value) + "\"/>\n";
      body += "<input type=\"hidden\" name=\"base\" value=\"" + p.base + "\"/>\n<input type=\"hidden\" name=\"csrf\" value=\"" +
              html_escape(context.session.csrf) + "\"/>\n<button type=\"submit\">Apply</button>\n</form>\n";
    }
  }
  Response response = page_response({"Edit", Menu::Rules, body}, context.session);
  if (!note.empty()) response.status = 409;
  return response;
}

std::string command_of(const EditAsk& ask, const std::string& path) {
  const std::string where = "\"" + path + "\"";
  if (ask.action == "add") return std::string("QVADMIN add ") + (ask.first ? "--first " : "") + where + " " + ask.rule;
  if (ask.action == "remove") return "QVADMIN remove " + where + ":" + ask.line;
  return "QVADMIN serve: line " + ask.line + " of " + where + " moved " + ask.action;
}

}  // namespace

Response edit_page(const PageContext& context) {
  const std::optional<EditAsk> ask = edit_ask(context.query);
  if (!ask) return refused(context, 404, "The console offers no such edit.");
  Response refusal;
  const std::optional<Planned> p = plan_of(context, *ask, refusal);
  return p ? edit_preview(context, *ask, *p, "") : refusal;
}

Response save_page(const PageContext& context) {
  const std::optional<EditAsk> ask = edit_ask(context.query);
  if (!ask) return refused(context, 404, "The console offers no such edit.");
  Response refusal;
  const std::optional<Planned> p = plan_of(context, *ask, refusal);
  if (!p) return refusal;
  if (p->edit.status != PlanStatus::Planned || p->base != field(context.query, "base"))
    return edit_preview(context, *ask, *p,
                        "The file changed since that preview: nothing was written. This is the edit on the file as it "
                        "is now.");
  const ChangeCheck check = context.site.engine([&] { return check_change(p->edit.plan); });
  if (!check.done || check.added_errors > 0)
    return edit_preview(context, *ask, *p, "The edit brings an error: nothing was written.");
  const WriteOutcome written = context.site.engine([&] {
    return write_change(p->edit.plan, ChangeAuthor{console_author(context.session), command_of(*ask, p->path)});
  });
  if (written.status == WriteStatus::Stale) {
    const std::optional<Planned> again = plan_of(context, *ask, refusal);
    return again ? edit_preview(context, *ask, *again, "The file changed while the edit was written: nothing was written. "
                                                       "This is the edit on the file as it is now.")
                 : refusal;
  }
  if (written.status == WriteStatus::Failed) return refused(context, 500, written.why);
  Response response = message_response(303, "Written", "Written as change " + std::to_string(written.entry) + ".");
  response.headers.emplace_back("Location", "/rules?file=" + std::to_string(p->place));
  return response;
}
