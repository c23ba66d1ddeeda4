// Every request comes in here: the Host header, the route, the method, the
// session and, for a form, its CSRF token are checked in this order before a
// page is made, and every answer leaves with the same protective headers.
#include <algorithm>
#include <exception>
#include <string_view>

#include "admin/report/report_render.h"
#include "admin/serve/html_page.h"
#include "admin/serve/site.h"
#include "admin/token/token_file.h"
#include "common/text.h"

namespace {

constexpr char kSessionCookie[] = "qvadmin_session";

// Who may have a page: anybody, a session, or a session whose scope takes in
// the whole server (pages of counts over every domain).
enum class Access { Anybody, Session, WholeServer };

struct Route {
  std::string_view path;
  std::string_view method;
  Access access;
  Response (*page)(Site& site, const Request& request, const Session* session, const Fields& fields);
};

Response css(std::string text) {
  Response response;
  response.type = "text/css; charset=utf-8";
  response.body = std::move(text);
  return response;
}

Response refused(const char* why) { return message_response(403, "Refused", why); }

std::string session_cookie(const std::string& value, long max_age) {
  return std::string(kSessionCookie) + "=" + value + "; HttpOnly; SameSite=Strict; Path=/; Max-Age=" +
         std::to_string(max_age);
}

Response login(Site& site, const Request&, const Session*, const Fields& fields) {
  const std::string token = field(fields, "token");
  const SiteConfig& config = site.config();
  std::optional<Session> session;
  const Clock::time_point now = Clock::now();
  if (!token.empty() && !config.start_token.empty() && same_secret(token, config.start_token)) {
    session = site.sessions().open("", "", Scope::everything(), now);
  } else if (!token.empty() && !config.token_file.empty()) {
    const TokenFile file = read_token_file(config.token_file);
    const TokenLine* line = find_token(file, token);
    if (!line) return refused("This token opens nothing here.");
    const std::optional<Scope> scope = Scope::named(line->scope);
    if (!scope) return refused("This token's scope is not one this version knows.");
    session = site.sessions().open(line->name, line->hash, *scope, now);
  } else {
    return refused("This token opens nothing here.");
  }
  if (!session) return message_response(500, "No session", "The system gives no random bytes for a session.");
  Response response = message_response(303, "Logged in", "Go on to the activity page.");
  response.headers.emplace_back("Location", "/");
  response.headers.emplace_back("Set-Cookie", session_cookie(session->id, std::chrono::seconds(kSessionLife).count()));
  return response;
}

Response logout(Site& site, const Request&, const Session* session, const Fields&) {
  site.sessions().close(session->id);
  Response response = message_response(200, "Logged out", "Open the login address again to come back.");
  response.headers.emplace_back("Set-Cookie", session_cookie("", 0));
  return response;
}

template <Response (*make)(const PageContext&)>
Response page(Site& site, const Request&, const Session* session, const Fields& fields) {
  return make(PageContext{site, *session, fields});
}

Response console_style(Site&, const Request&, const Session*, const Fields&) { return css(kConsoleStyle); }
Response report_style(Site&, const Request&, const Session*, const Fields&) { return css(report_html_style()); }

constexpr Route kRoutes[] = {
    {"/", "GET", Access::Session, page<activity_page>},
    {"/message", "GET", Access::Session, page<message_page>},
    {"/rules", "GET", Access::Session, page<rules_page>},
    {"/change", "GET", Access::Session, page<change_page>},
    {"/apply", "POST", Access::Session, page<apply_page>},
    {"/edit", "GET", Access::Session, page<edit_page>},
    {"/save", "POST", Access::Session, page<save_page>},
    {"/history", "GET", Access::WholeServer, page<history_page>},
    {"/rollback", "GET", Access::WholeServer, page<rollback_page>},
    {"/undo", "POST", Access::WholeServer, page<undo_page>},
    {"/candidate", "GET", Access::WholeServer, page<candidate_page>},
    {"/candidate/start", "POST", Access::WholeServer, page<start_candidate_page>},
    {"/candidate/discard", "POST", Access::WholeServer, page<discard_candidate_page>},
    {"/promote", "GET", Access::WholeServer, page<promote_page>},
    {"/put-live", "POST", Access::WholeServer, page<put_live_page>},
    {"/report", "GET", Access::WholeServer, page<report_page>},
    {"/health", "GET", Access::WholeServer, page<health_page>},
    {"/login", "GET", Access::Anybody, login},
    {"/logout", "POST", Access::Session, logout},
    {"/style.css", "GET", Access::Anybody, console_style},
    {"/report.css", "GET", Access::Anybody, report_style},
};

// The session a request's cookie names, while it lasts and while the token
// it was opened with still stands in the token file.
std::optional<Session> session_of(Site& site, const Request& request) {
  std::optional<Session> session =
      site.sessions().find(cookie_value(request.cookie, kSessionCookie), Clock::now());
  if (!session || session->token_hash.empty()) return session;
  const TokenFile file = read_token_file(site.config().token_file);
  const TokenLine* line = nullptr;
  for (const TokenLine& token : file.tokens)
    if (token.hash == session->token_hash && token.name == session->token_name && token.scope == session->scope.text())
      line = &token;
  if (line) return session;
  site.sessions().close(session->id);
  return std::nullopt;
}

bool host_answered(const SiteConfig& config, const std::string& host) {
  return std::any_of(config.hosts.begin(), config.hosts.end(),
                     [&](const std::string& known) { return same_ignoring_case(known, host); });
}

Response route(Site& site, const Request& request) {
  if (!host_answered(site.config(), request.host))
    return message_response(421, "Wrong host", "This console answers only to the addresses it was started for.");
  const std::string_view target = request.target;
  const std::size_t question = target.find('?');
  const std::string_view path = target.substr(0, question);
  const auto route = std::find_if(std::begin(kRoutes), std::end(kRoutes), [&](const Route& r) { return r.path == path; });
  if (route == std::end(kRoutes)) return message_response(404, "Not found", "There is no such page.");
  if (request.method != route->method) {
    Response response = message_response(405, "Method not allowed", "This page is not there for that method.");
    response.headers.emplace_back("Allow", std::string(route->method));
    return response;
  }
  const bool form = request.method == "POST";
  // A form posted from a page of another origin is refused, whatever it
  // holds. ("null" tells nothing: browsers send it where the page's
  // Referrer-Policy is no-referrer, as every page of the console's is.)
  // Behind a TLS reverse proxy the page's origin is https.
  if (form && !request.origin.empty() && request.origin != "null" &&
      !same_ignoring_case(request.origin, "http://" + request.host) &&
      !same_ignoring_case(request.origin, "https://" + request.host))
    return refused("The form comes from another site.");
  std::optional<Session> session;
  if (route->access != Access::Anybody) {
    session = session_of(site, request);
    if (!session) return refused("Log in first: open the login address that QVADMIN serve printed, or one with your token.");
    if (route->access == Access::WholeServer && !session->scope.sees_everything())
      return refused("This page counts the mail of every domain, beyond this session's scope.");
  }
  const Fields fields =
      parse_fields(form ? std::string_view(request.body)
                        : question == std::string_view::npos ? std::string_view() : target.substr(question + 1));
  if (form && !same_secret(field(fields, "csrf"), session->csrf))
    return refused("The form lacks this session's token (CSRF).");
  // The candidate holds the files of every domain: a scoped session never
  // works on it.
  const std::string tree = field(fields, "tree");
  if (tree.empty()) return route->page(site, request, session ? &*session : nullptr, fields);
  if (!session || tree != "candidate" || site.config().candidate.empty())
    return message_response(404, "Not found", "There is no such tree.");
  if (!session->scope.sees_everything()) return refused("The candidate tree holds every domain's files, beyond this session's scope.");
  if (!candidate_there(site.config().candidate))
    return message_response(404, "No candidate", "No candidate tree has been started: start one on the Candidate page.");
  return mark_candidate(route->page(site, request, &*session, fields), site.config().candidate);
}

}  // namespace

Response Site::answer(const Request& request) {
  Response response;
  try {
    response = route(*this, request);
  } catch (const std::exception&) {
    response = message_response(500, "Failed", "The page could not be made; the console goes on.");
  }
  return protect(std::move(response));
}

Response protect(Response response) {
  response.headers.emplace_back("Content-Security-Policy",
                                "default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; "
                                "frame-ancestors 'none'; base-uri 'none'");
  response.headers.emplace_back("X-Content-Type-Options", "nosniff");
  response.headers.emplace_back("Referrer-Policy", "no-referrer");
  response.headers.emplace_back("X-Frame-Options", "DENY");
  response.headers.emplace_back("Cache-Control", "no-store");
  return response;
}
