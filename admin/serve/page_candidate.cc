// Candidate: a copy of the live rule tree in the folder QVADMIN serve was
// started with (--candidate), edited on the same pages as the live tree
// (with tree=candidate), replayed as a whole against the live tree, then
// promoted or discarded. The copy is made through the rule-change steps, so
// the candidate's history begins with it: that first change tells a
// candidate started here, which alone Discard removes. Promote is previewed
// (GET /promote) and written by POST /put-live as QVADMIN promote does; a
// tree that changed since the preview is not written.
#include <algorithm>
#include <string>
#include <vector>

#include "admin/change/change_check.h"
#include "admin/change/change_write.h"
#include "admin/change/history.h"
#include "admin/rule_tree/rule_tree.h"
#include "admin/serve/html_page.h"
#include "admin/serve/site.h"
#include "common/console.h"
#include "common/host.h"
#include "common/sha256.h"
#include "common/text.h"

namespace {

// How the change that starts a candidate is named in its history.
constexpr char kStartCommand[] = "QVADMIN serve: Start a candidate";

Response answer(const PageContext& context, int status, const std::string& title, const std::string& body) {
  Response response = page_response({title, Menu::Candidate, body}, context.session);
  response.status = status;
  return response;
}

Response text_answer(const PageContext& context, int status, const std::string& title, const std::string& text) {
  return answer(context, status, title, "<h1>" + html_escape(title) + "</h1>\n<p id=\"refused\">" + html_escape(text) + "</p>\n");
}

Response see_other(const std::string& location, const std::string& text) {
  Response response = message_response(303, "Done", text);
  response.headers.emplace_back("Location", location);
  return response;
}

std::string form(const PageContext& context, const char* action, const char* id, const std::string& fields,
                 const char* button) {
  return std::string("<form method=\"post\" action=\"") + action + "\" id=\"" + id + "\">\n" + fields +
         "<input type=\"hidden\" name=\"csrf\" value=\"" + html_escape(context.session.csrf) +
         "\"/>\n<button type=\"submit\">" + button + "</button>\n</form>\n";
}

ChangeTrees candidate_trees(const PageContext& context) {
  return {context.site.config().directory, context.site.config().candidate};
}

bool started_here(const std::string& candidate) {
  std::vector<HistoryEntry> entries;
  std::string why;
  return read_history(candidate, entries, why) && !entries.empty() && entries.front().command == kStartCommand;
}

// What a promote replaces and puts: every file's path and bytes.
std::string base_of(const ChangePlan& plan) {
  std::string text;
  for (const FileChange& f : plan.files)
    text += f.path + '\n' + (f.before ? sha256_hex(*f.before) : "-") + '\n' + (f.after ? sha256_hex(*f.after) : "-") + '\n';
  return sha256_hex(text);
}

Response promote_preview(const PageContext& context, const std::string& note) {
  ChangePlan plan;
  std::string why;
  const ChangeTrees trees = candidate_trees(context);
  const bool planned = context.site.engine([&] { return plan_promote(trees, plan, why); });
  std::string body = "<h1>Promote the candidate</h1>\n";
  if (!note.empty()) body += "<p class=\"error\" id=\"note\">" + html_escape(note) + "</p>\n";
  const int status = note.empty() ? 200 : 409;
  if (!planned) return answer(context, 409, "Promote", body + "<p id=\"refused\">" + html_escape(why) + "</p>\n");
  if (plan.files.empty())
    return answer(context, status, "Promote",
                  body + "<p id=\"refused\">The live rule files are the candidate's already: nothing to promote.</p>\n");
  body += "<p>Promote " + html_escape(trees.tree) + " to " + html_escape(trees.live.empty() ? "." : trees.live) +
          ", in this order:</p>\n<table id=\"files\">\n";
  for (const FileChange& f : plan.files)
    body += std::string("<tr><td>") + change_word(f) + "</td><td>" + html_escape(f.path) + "</td></tr>\n";
  body += "</table>\n";
  for (const FileChange& f : plan.files)
    body += "<h3>" + html_escape(f.path) + "</h3>\n<table class=\"diff\">\n" +
            diff_rows(f.before.value_or(""), f.after.value_or("")) + "</table>\n";
  bool blocked = false;
  body += preview_sections(context, plan, "", context.site.config().days, blocked);
  if (!blocked)
    body += form(context, "/put-live", "apply",
                 "<input type=\"hidden\" name=\"base\" value=\"" + base_of(plan) + "\"/>\n", "Promote");
  return answer(context, status, "Promote", body);
}

// The rule files below folder, as their names are found (the history folder
// left out), by their path texts below it.
bool copies_of(const std::string& folder, const std::string& below, std::vector<FileChange>& files, std::string& why) {
  std::vector<DirectoryEntry> entries;
  if (!host_list_directory((folder + below).c_str(), entries)) {
    why = "cannot read the directory " + folder + below;
    return false;
  }
  for (const DirectoryEntry& e : entries) {
    if (e.is_directory && !(below.empty() && same_ignoring_case(e.name, kHistoryFolder))) {
      if (!copies_of(folder, below + e.name + "\\", files, why)) return false;
    } else if (e.is_file && is_rule_file_name(e.name)) {
      std::string bytes;
      if (!host_read_file((folder + below + e.name).c_str(), kMaxRuleFileBytes, bytes)) {
        why = folder + below + e.name + " cannot be read: " + host_error_text();
        return false;
      }
      files.push_back(FileChange{below + e.name, std::nullopt, std::move(bytes)});
    }
  }
  return true;
}

// Removes what lies below folder, files and folders, then the folder.
bool remove_all(const std::string& folder) {
  std::vector<DirectoryEntry> entries;
  if (!host_list_directory(folder.c_str(), entries)) return false;
  bool removed = true;
  for (const DirectoryEntry& e : entries)
    removed = (e.is_directory ? remove_all(folder + e.name + "\\") : host_remove_file((folder + e.name).c_str())) && removed;
  return host_remove_empty_directory(folder.c_str()) && removed;
}

// Removes the empty folders below folder, deepest first, then folder when it is empty.
void remove_empty(const std::string& folder) {
  std::vector<DirectoryEntry> entries;
  if (!host_list_directory(folder.c_str(), entries)) return;
  for (const DirectoryEntry& e : entries)
    if (e.is_directory) remove_empty(folder + e.name + "\\");
  host_remove_empty_directory(folder.c_str());
}

}  // namespace

Response candidate_page(const PageContext& context) {
  const std::string& candidate = context.site.config().candidate;
  if (candidate.empty())
    return text_answer(context, 200, "Candidate",
                       "This console keeps no candidate tree: start QVADMIN serve with --candidate DIR, a folder "
                       "apart from the program directory, to have one.");
  std::string body = "<h1>Candidate tree " + html_escape(candidate) + "</h1>\n";
  if (!candidate_there(candidate)) {
    body += "<p id=\"none\">No candidate has been started. Start one: the rule files of the live tree are copied to " +
            html_escape(candidate) +
            ", where they can be changed on the Rules and message pages without touching the live rules, replayed "
            "against the live tree, and promoted.</p>\n" +
            form(context, "/candidate/start", "start", "", "Start a candidate");
    return answer(context, 200, "Candidate", body);
  }
  ChangePlan same;  // no change: replay of the candidate as it is
  same.trees = candidate_trees(context);
  ChangePreview replayed;
  const int days = context.site.config().days;
  const std::vector<std::string> logs = context.site.log_paths(days);
  context.site.engine([&] {
    CapturedConsole unread;
    replayed = preview_change(same, logs, kPreviewChanges, "QVADMIN serve", unread);
    return 0;
  });
  body += "<p>Work on it: <a id=\"candidate-rules\" href=\"/rules?tree=candidate\">its rule files</a> &#xb7; "
          "<a id=\"candidate-history\" href=\"/history?tree=candidate\">its history</a> &#xb7; "
          "a message's page offers the candidate's account and changes.</p>\n"
          "<p>What the mail of the last days would have got from the candidate's rules instead of the live ones:</p>\n" +
          replay_section(context, replayed, days) +
          "<p><a id=\"promote\" href=\"/promote\">Promote the candidate (preview)</a></p>\n";
  if (started_here(candidate))
    body += "<h2>Discard</h2>\n<p>Removes the candidate's rule files and history; the live tree stays as it is.</p>\n" +
            form(context, "/candidate/discard", "discard", "", "Discard the candidate");
  else
    body += "<p class=\"note\">This candidate was not started on the console: it is not removed from here.</p>\n";
  return answer(context, 200, "Candidate", body);
}

Response start_candidate_page(const PageContext& context) {
  const ChangeTrees trees = candidate_trees(context);
  if (trees.tree.empty()) return text_answer(context, 404, "Candidate", "This console keeps no candidate tree.");
  if (candidate_there(trees.tree))
    return text_answer(context, 409, "Candidate", "A candidate is there already: discard it first.");
  std::vector<DirectoryEntry> entries;
  if (host_list_directory(trees.tree.c_str(), entries) && !entries.empty())
    return text_answer(context, 409, "Candidate",
                       trees.tree + " holds other files: a candidate is started only in an empty or new folder.");
  ChangePlan plan;
  plan.trees = trees;
  std::string why;
  if (!context.site.engine([&] { return copies_of(trees.live, "", plan.files, why); }))
    return text_answer(context, 500, "Candidate", why);
  std::vector<std::string> made;
  bool created = false;
  for (const std::string& folder : missing_folders(trees.tree + "x")) {
    if (!host_make_directory(folder.c_str(), created))
      return text_answer(context, 500, "Candidate", "Cannot make the folder " + folder + ": " + host_error_text());
    if (created) made.push_back(folder);
  }
  for (FileChange& file : plan.files) file.path = trees.tree + file.path;
  for (const FileChange& file : plan.files)
    for (const std::string& folder : missing_folders(file.path))
      if (std::find(plan.folders.begin(), plan.folders.end(), folder) == plan.folders.end()) plan.folders.push_back(folder);
  plan.what = "started as a copy of the live tree " + trees.live + ": " + std::to_string(plan.files.size()) + " files";
  const WriteOutcome written = context.site.engine(
      [&] { return write_change(plan, ChangeAuthor{console_author(context.session), kStartCommand}); });
  if (written.status != WriteStatus::Written) {
    for (auto folder = made.rbegin(); folder != made.rend(); ++folder) remove_empty(*folder);
    return text_answer(context, written.status == WriteStatus::Stale ? 409 : 500, "Candidate",
                       written.status == WriteStatus::Stale ? "A file appeared in the candidate's folder meanwhile."
                                                            : written.why);
  }
  return see_other("/candidate", "The candidate is started.");
}

Response discard_candidate_page(const PageContext& context) {
  const std::string& candidate = context.site.config().candidate;
  if (!candidate_there(candidate)) return text_answer(context, 404, "Candidate", "No candidate has been started.");
  if (!started_here(candidate))
    return text_answer(context, 409, "Candidate", "This candidate was not started on the console: it is not removed from here.");
  const bool removed = context.site.engine([&] {
    RuleTree tree;
    bool all = walk_rule_tree(candidate, tree);
    for (const TreeFile& file : tree.files)
      if (file.regular) all = host_remove_file(file.path.c_str()) && all;
    all = remove_all(history_folder(candidate)) && all;
    remove_empty(candidate);
    return all;
  });
  if (!removed || candidate_there(candidate))
    return text_answer(context, 500, "Candidate", "Some of the candidate's files could not be removed: " + host_error_text());
  return see_other("/candidate", "The candidate is discarded.");
}

Response promote_page(const PageContext& context) {
  if (!candidate_there(context.site.config().candidate))
    return text_answer(context, 404, "Promote", "No candidate has been started.");
  return promote_preview(context, "");
}

Response put_live_page(const PageContext& context) {
  if (!candidate_there(context.site.config().candidate))
    return text_answer(context, 404, "Promote", "No candidate has been started.");
  ChangePlan plan;
  std::string why;
  const ChangeTrees trees = candidate_trees(context);
  if (!context.site.engine([&] { return plan_promote(trees, plan, why); }) || plan.files.empty() ||
      base_of(plan) != field(context.query, "base"))
    return promote_preview(context, "The candidate or the live tree changed since that preview: nothing was written. "
                                    "This is the promote as it stands now.");
  const ChangeCheck check = context.site.engine([&] { return check_change(plan); });
  if (!check.done || check.added_errors > 0)
    return promote_preview(context, "The promote brings an error: nothing was written.");
  const WriteOutcome written = context.site.engine([&] {
    return write_change(plan, ChangeAuthor{console_author(context.session), "QVADMIN promote --rules " + trees.tree});
  });
  if (written.status == WriteStatus::Stale)
    return promote_preview(context, "A file changed while the promote was written: nothing was written.");
  if (written.status == WriteStatus::Failed) return text_answer(context, 500, "Not written", written.why);
  return see_other("/history?entry=" + std::to_string(written.entry), "Promoted as change " + std::to_string(written.entry) + ".");
}
