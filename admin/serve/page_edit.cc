// Editing a rule file from the Rules page: a rule line added (after the last
// line or before the first rule), a line removed, a line moved up or down, or
// a user's or a domain's file made with its first rule line.
// GET /edit previews the edit (the lines it changes, lint's new findings,
// replay of the last days); POST /save writes it through the rule-change
// steps, as QVADMIN add and remove do. The file is named by its place in the
// session's listing (a new file by its address or domain, as QVADMIN add takes
// it); a file that changed since the preview is not written, nor a new one
// that is there by then.
#include <algorithm>
#include <optional>
#include <string>

#include "admin/change/change_check.h"
#include "admin/change/change_write.h"
#include "admin/serve/html_page.h"
#include "admin/serve/rule_listing.h"
#include "admin/serve/site.h"
#include "common/host.h"
#include "common/sha256.h"
#include "common/text.h"

namespace {

struct EditAsk {
  std::string place, action, line, rule;
  std::string name;  // create: the address or domain whose file it is
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
  if (ask.action == "create") {
    ask.name = field(fields, "for");
    ask.edit = {EditKind::Add, ask.rule, 0};
    if (ask.name.empty() || !ask.place.empty()) return std::nullopt;
    return ask;
  }
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

std::vector<std::pair<std::string, std::string>> edit_fields(const PageContext& context, const EditAsk& ask) {
  return with_tree(context, {{"file", ask.place},
                             {"do", ask.action},
                             {"for", ask.name},
                             {"line", ask.line},
                             {"rule", ask.rule},
                             {"first", ask.first ? "1" : ""}});
}

struct Planned {
  std::string path;
  std::string where;  // create: as QVADMIN add takes it
  int place = 0;      // 0: a new file
  EditPlan edit;
  std::string base;  // the file's path and bytes when planned
};

Response refused(const PageContext& context, int status, const std::string& text) {
  Response response = page_response(
      {"Edit", Menu::Rules, "<h1>Edit</h1>\n<p id=\"refused\">" + html_escape(text) + "</p>\n"}, context.session);
  response.status = status;
  return response;
}

// The parts of a path below the tree, none of them empty, "." or "..".
bool plainly_below(const std::string& path, const std::string& tree) {
  if (path.size() <= tree.size() || !same_ignoring_case(std::string_view(path).substr(0, tree.size()), tree)) return false;
  const std::string below = path.substr(tree.size());
  std::size_t start = 0;
  for (std::size_t end; start <= below.size(); start = end + 1) {
    end = below.find('\\', start);
    if (end == std::string::npos) end = below.size();
    const std::string_view part = std::string_view(below).substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
  }
  return true;
}

// The file of a user or a domain that the checker would read and that is not
// there yet: the path, or the refusal.
std::optional<std::string> new_file_path(const PageContext& context, const EditAsk& ask, std::string& where,
                                         Response& refusal) {
  const std::string& name = ask.name;
  const bool address = name.find('@') != std::string::npos;
  const auto not_a_name = [&] {
    refusal = refused(context, 404, name + " is not an address or a domain the checker reads a file of its own for.");
    return std::nullopt;
  };
  if (name.size() > 99 || name.front() == '@' || name.find_first_of("\\/*:") != std::string::npos ||
      std::any_of(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
    return not_a_name();
  where = address ? name : "@" + name;
  if (!context.session.scope.may_change(where)) {
    refusal = refused(context, 403, "That file is beyond this session's scope.");
    return std::nullopt;
  }
  const ChangeTrees trees = change_trees(context);
  RuleWhere found;
  std::string why;
  if (!resolve_where(trees, where, found, why) || found.levels.front() != (address ? "User" : "Domain") ||
      !plainly_below(found.cascade.front(), trees.tree))
    return not_a_name();
  const std::string& path = found.cascade.front();
  if (host_file_kind(path.c_str()) != FileKind::Missing) {
    refusal = refused(context, 409, path + " is there already: add the line on its page on the Rules page.");
    return std::nullopt;
  }
  return path;
}

// The edit planned on the listed file (or the new one) as it is now; the
// refusal otherwise.
std::optional<Planned> plan_of(const PageContext& context, const EditAsk& ask, Response& refusal) {
  const std::string& directory = tree_of(context);
  Planned p;
  if (ask.action == "create") {
    const std::optional<std::string> path = new_file_path(context, ask, p.where, refusal);
    if (!path) return std::nullopt;
    p.path = *path;
  } else {
    const RuleListing listing = context.site.engine([&] { return list_rules(directory, context.session.scope); });
    const ListedFile* file = listing.at(std::stoi(ask.place));
    if (!file) {
      refusal = refused(context, 404, "The rule tree has no file there.");
      return std::nullopt;
    }
    p.place = file->place;
    p.path = file->lint->path;
  }
  const ChangeTrees trees = change_trees(context);
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
  std::string body = std::string(p.place ? "<h1>Edit " : "<h1>Create ") + html_escape(p.path) + "</h1>\n";
  if (!note.empty()) body += "<p class=\"error\" id=\"note\">" + html_escape(note) + "</p>\n";
  if (p.place)
    body += "<p><a href=\"" + href("/rules", with_tree(context, {{"file", std::to_string(p.place)}})) +
            "\">Back to the file</a></p>\n";
  else
    body += "<p>A new file: the " + std::string(ask.name.find('@') == std::string::npos ? "domain file of " : "own file of ") +
            html_escape(ask.name) + ". <a href=\"" + href("/rules", with_tree(context, {})) + "\">Back to the rule files</a></p>\n";
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
      for (const auto& [name, value] : edit_fields(context, ask))
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

std::string command_of(const EditAsk& ask, const Planned& p) {
  if (ask.action == "create") return "QVADMIN add " + p.where + " " + ask.rule;
  const std::string& path = p.path;
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
    return write_change(p->edit.plan, ChangeAuthor{console_author(context.session), command_of(*ask, *p)});
  });
  if (written.status == WriteStatus::Stale) {
    const std::optional<Planned> again = plan_of(context, *ask, refusal);
    return again ? edit_preview(context, *ask, *again, "The file changed while the edit was written: nothing was written. "
                                                       "This is the edit on the file as it is now.")
                 : refusal;
  }
  if (written.status == WriteStatus::Failed) return refused(context, 500, written.why);
  int place = p->place;
  if (!place) {
    const std::string& directory = tree_of(context);
    const RuleListing listing = context.site.engine([&] { return list_rules(directory, context.session.scope); });
    const ListedFile* made = listing.named(p->path);
    place = made ? made->place : 0;
  }
  Response response = message_response(303, "Written", "Written as change " + std::to_string(written.entry) + ".");
  response.headers.emplace_back(
      "Location", std::string("/rules") + (place ? "?file=" + std::to_string(place) : "") +
                      (on_candidate(context) ? (place ? "&" : "?") + std::string("tree=candidate") : ""));
  return response;
}
