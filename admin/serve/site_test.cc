// The console as an attacker meets it, request by request, in this process:
// the bytes of each request go through the same parser and router as on the
// wire (answer_bytes), and each answer is checked for its status and for the
// headers every answer must carry. The same table runs against the real
// server over TCP in tests/e2e/serve_e2e.py.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/serve/wire.h"
#include "common/sha256.h"
#include "common/testing/scratch.h"

namespace {

constexpr char kHost[] = "127.0.0.1:8025";
constexpr char kStartToken[] = "5tart-t0ken";

class Console : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    const LocalTime now = host_local_time();
    char log[16];
    std::snprintf(log, sizeof log, "QEL%02d%02d.LOG", now.month, now.day);
    write_file(log,
               "10:00:00 D1 To: ANN@EXAMPLE.ORG From: JOE@X.EXAMPLE Subject: <B>HI</B> & \"YOU\" <SCRIPT> No Action.\r\n");
    log_ = log;
    write_file("$default$.QUORVANT", "BLACKLIST SUBJECT CONTAINS <script>alert(1)</script>\r\n");
    write_file("tokens.txt", "ann * " + sha256_hex("ann-token") + "\r\n");
    SiteConfig config;
    config.directory = path("");
    config.start_token = kStartToken;
    config.token_file = path("tokens.txt");
    config.hosts = {kHost};
    site_ = std::make_unique<Site>(config);
  }

  std::string send(const std::string& request) { return answer_bytes(*site_, request); }
  std::string get(const std::string& target, const std::string& cookie = "") {
    return send("GET " + target + " HTTP/1.1\r\nHost: " + kHost + "\r\n" +
                (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + "\r\n");
  }
  std::string post(const std::string& target, const std::string& cookie, const std::string& body,
                   const std::string& more = "") {
    return send("POST " + target + " HTTP/1.1\r\nHost: " + std::string(kHost) + "\r\nCookie: " + cookie +
                "\r\nContent-Type: application/x-www-form-urlencoded\r\n" + more +
                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  // The session cookie a login sets, as the browser sends it back.
  std::string login(const std::string& token) {
    const std::string answer = get("/login?token=" + token);
    const std::size_t at = answer.find("Set-Cookie: ");
    if (at == std::string::npos) return "";
    return answer.substr(at + 12, answer.find(';', at) - at - 12);
  }
  static int status(const std::string& answer) {
    return answer.size() > 12 && answer.starts_with("HTTP/1.") ? std::stoi(answer.substr(9, 3)) : 0;
  }
  static std::string csrf(const std::string& page) {
    const std::string mark = "name=\"csrf\" value=\"";
    const std::size_t at = page.find(mark);
    return at == std::string::npos ? "" : page.substr(at + mark.size(), 64);
  }

  std::unique_ptr<Site> site_;
  std::string log_;
};

TEST_F(Console, RequestsAsAnAttackerSendsThem) {
  const std::string session = login(kStartToken);
  ASSERT_FALSE(session.empty());
  const std::string page = get("/", session);
  const std::string token = csrf(page);
  ASSERT_EQ(token.size(), 64u);
  const std::string form = "application/x-www-form-urlencoded";
  const struct {
    const char* what;
    std::string request;
    int status;
  } cases[] = {
      {"a page with a session", "GET / HTTP/1.1\r\nHost: " + std::string(kHost) + "\r\nCookie: " + session + "\r\n\r\n", 200},
      {"every page without a session", "GET /rules HTTP/1.1\r\nHost: 127.0.0.1:8025\r\n\r\n", 403},
      {"a made-up session", "GET /health HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: qvadmin_session=" +
                                std::string(64, 'a') + "\r\n\r\n", 403},
      {"a wrong token", "GET /login?token=guess HTTP/1.1\r\nHost: 127.0.0.1:8025\r\n\r\n", 403},
      {"no token", "GET /login HTTP/1.1\r\nHost: 127.0.0.1:8025\r\n\r\n", 403},
      {"the token file's hash as a token", "GET /login?token=" + sha256_hex("ann-token") +
                                               " HTTP/1.1\r\nHost: 127.0.0.1:8025\r\n\r\n", 403},
      {"another Host (DNS rebinding)", "GET / HTTP/1.1\r\nHost: evil.example:8025\r\nCookie: " + session + "\r\n\r\n", 421},
      {"two Host headers", "GET / HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nHost: evil.example\r\n\r\n", 400},
      {"no Host", "GET / HTTP/1.0\r\n\r\n", 400},
      {"log-out by GET", "GET /logout HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 405},
      {"a form without the CSRF token", "POST /logout HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session +
                                            "\r\nContent-Type: " + form + "\r\nContent-Length: 0\r\n\r\n", 403},
      {"a form with another CSRF token", "POST /logout HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session +
                                             "\r\nContent-Length: 69\r\n\r\ncsrf=" + std::string(64, '0'), 403},
      {"a form from another site", "POST /logout HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nOrigin: http://evil.example\r\n"
                                   "Cookie: " + session + "\r\nContent-Length: 69\r\n\r\ncsrf=" + token, 403},
      {"PUT", "PUT / HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\nContent-Length: 0\r\n\r\n", 405},
      {"..", "GET /../../etc/passwd HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"encoded ..", "GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"backslashes", "GET /rules\\..\\..\\tokens.txt HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"an absolute path", "GET C:\\Windows\\win.ini HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"a device name", "GET /CON HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"a path for a file", "GET /rules?file=..%5C..%5Ctokens.txt HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"a place past the listing", "GET /rules?file=9 HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"a file that is no log", "GET /message?day=tokens.txt&at=0 HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"a log by path", "GET /message?day=..%5C" + log_ + "&at=0 HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"a day not shown", "GET /message?day=1332&at=0 HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"inside a line", "GET /message?day=" + log_.substr(3, 4) + "&at=3 HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 404},
      {"a line of the log", "GET /message?day=" + log_.substr(3, 4) + "&at=0 HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nCookie: " + session + "\r\n\r\n", 200},
      {"a long address", "GET /?subject=" + std::string(3000, 'x') + " HTTP/1.1\r\nHost: 127.0.0.1:8025\r\n\r\n", 414},
      {"long headers", "GET / HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nX-Pad: " + std::string(9000, 'x') + "\r\n\r\n", 431},
      {"a long request line", "GET /" + std::string(9000, 'x') + " HTTP/1.1\r\nHost: 127.0.0.1:8025\r\n\r\n", 431},
      {"a long body", "POST /logout HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nContent-Length: 5000\r\n\r\n" + std::string(5000, 'x'), 413},
      {"a long body, announced only", "POST /logout HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nContent-Length: 999999999\r\n\r\n", 413},
      {"a long body in chunks", "POST /logout HTTP/1.1\r\nHost: 127.0.0.1:8025\r\nTransfer-Encoding: chunked\r\n\r\n"
                                "1000\r\n" + std::string(4096, 'x') + "\r\n1000\r\n" + std::string(4096, 'x') + "\r\n0\r\n\r\n", 413},
      {"no HTTP at all", "\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 400},
      {"a bad version", "GET / HTTP/9.9\r\nHost: 127.0.0.1:8025\r\n\r\n", 400},
  };
  for (const auto& c : cases) {
    const std::string answer = send(c.request);
    EXPECT_EQ(status(answer), c.status) << c.what << "\n" << answer.substr(0, 300);
    for (const char* header : {"Content-Security-Policy: default-src 'none'", "X-Content-Type-Options: nosniff",
                               "Referrer-Policy: no-referrer", "frame-ancestors 'none'"})
      EXPECT_NE(answer.find(header), std::string::npos) << c.what << ": no " << header;
    EXPECT_EQ(answer.find("<script"), std::string::npos) << c.what;
  }
}

TEST_F(Console, TextFromLogsAndRulesIsEscaped) {
  const std::string session = login(kStartToken);
  const std::string activity = get("/", session);
  EXPECT_NE(activity.find("&lt;B&gt;HI&lt;/B&gt; &amp; &quot;YOU&quot;"), std::string::npos) << activity;
  const std::string rules = get("/rules?file=1", session);
  EXPECT_NE(rules.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos) << rules;
  for (const std::string& page : {activity, rules, get("/message?day=" + log_.substr(3, 4) + "&at=0", session)}) {
    EXPECT_EQ(page.find("<B>"), std::string::npos);
    EXPECT_EQ(page.find("<SCRIPT"), std::string::npos);
    EXPECT_EQ(page.find("<script"), std::string::npos);
  }
}

TEST_F(Console, SessionsEndAtLogOutAndWithTheirToken) {
  // Log-out with the session's own CSRF token ends it, and only it.
  const std::string one = login(kStartToken), two = login(kStartToken);
  ASSERT_NE(one, two);
  const std::string answer = post("/logout", one, "csrf=" + csrf(get("/", one)), "Origin: http://127.0.0.1:8025\r\n");
  EXPECT_EQ(status(answer), 200) << answer;
  EXPECT_NE(answer.find("Set-Cookie: qvadmin_session=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0"), std::string::npos);
  EXPECT_EQ(status(get("/", one)), 403);
  EXPECT_EQ(status(get("/", two)), 200);
  // One session's CSRF token does not serve another.
  EXPECT_EQ(status(post("/logout", two, "csrf=" + csrf(get("/", login(kStartToken))))), 403);

  // A token of the token file: its session ends when its line goes.
  const std::string ann = login("ann-token");
  const std::string cookie_header = get("/login?token=ann-token");
  EXPECT_NE(cookie_header.find("HttpOnly; SameSite=Strict; Path=/; Max-Age=28800"), std::string::npos);
  EXPECT_EQ(status(get("/health", ann)), 200);
  write_file("tokens.txt", "# ann left\r\n");
  EXPECT_EQ(status(get("/health", ann)), 403);
  EXPECT_EQ(status(get("/health", ann)), 403);  // gone for good, even if the line came back
}

TEST(Sessions, ExpireAndMakeRoom) {
  Sessions sessions;
  const Clock::time_point start = Clock::now();
  const std::optional<Session> first = sessions.open("", "", Scope::everything(), start);
  ASSERT_TRUE(first);
  EXPECT_TRUE(sessions.find(first->id, start + kSessionLife - std::chrono::seconds(1)));
  EXPECT_FALSE(sessions.find(first->id, start + kSessionLife));
  // At the limit, the session that ends first makes room.
  std::vector<Session> opened;
  for (std::size_t i = 0; i < kMaxSessions + 1; ++i)
    opened.push_back(*sessions.open("", "", Scope::everything(), start + std::chrono::seconds(i)));
  EXPECT_FALSE(sessions.find(opened[0].id, start));
  EXPECT_TRUE(sessions.find(opened[1].id, start));
  EXPECT_TRUE(sessions.find(opened.back().id, start));
}

}  // namespace
