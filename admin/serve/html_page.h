// The frame of every console page, and the pieces pages are made of. Every
// text a page shows from a log or a rule file goes through html_escape.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "admin/html/html_text.h"
#include "admin/serve/http_message.h"
#include "admin/serve/sessions.h"

enum class Menu { Activity, Rules, History, Report, Health, Candidate, None };

struct Page {
  std::string title;
  Menu menu = Menu::None;
  std::string body;                   // the page's own HTML
  bool report_style = false;          // the report's style sheet too
};

// The whole page as an answer: head, style sheets, the menu, who is logged
// in, the log-out form with the session's CSRF token.
Response page_response(const Page& page, const Session& session);
// A page made on the candidate tree in directory, marked so on its title and
// at its top; other answers (a redirection, say) as they are.
Response mark_candidate(Response response, const std::string& directory);
// A short page of text alone, for refusals and errors (no session needed).
Response message_response(int status, const std::string& title, const std::string& text);

// A link's target: path and the fields that are not empty, encoded and
// escaped for an attribute.
std::string href(std::string_view path, const std::vector<std::pair<std::string, std::string>>& fields);

// The console's style sheet, served as /style.css.
extern const char kConsoleStyle[];
