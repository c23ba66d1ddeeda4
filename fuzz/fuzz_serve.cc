// QVADMIN serve's request handling: the bytes of a request through the same
// Beast parser, limits and router the server uses (answer_bytes), against a
// program directory with rule files, a day's log and a token file. In the
// input, @S stands for a live session's cookie, @C for its CSRF token, @T for
// the start-up token and @H for the Host the console answers, so that the
// fuzzer reaches the pages behind the login, and @D for the day of the log
// (mmdd). Oracles: the answer is empty
// (the connection just ends) or well-formed HTTP that Beast reads back, with
// a status the console gives, its Content-Length, the protective headers on
// every answer; no page of a session (its log-out form) goes to a request
// that carries neither a session nor a token; and the server's state
// survives every request (the session still works, or was logged out).

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "admin/serve/wire.h"
#include "common/sha256.h"
#include "fuzz/fuzz_check.h"

namespace {

namespace beast = boost::beast;

constexpr char kHost[] = "127.0.0.1:8025";
constexpr char kToken[] = "fuzz-start-token";

void write(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Served {
  Served() {
    const std::filesystem::path dir = std::filesystem::path(fuzz_scratch_dir()) / "serve";
    const LocalTime now = host_local_time();
    char log[16];
    std::snprintf(log, sizeof log, "QEL%02d%02d.LOG", now.month, now.day);
    day = std::string(log).substr(3, 4);
    write(dir / log,
          "10:00:00 D1 To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HELLO <B> No Action.\r\n"
          "10:00:01 D2 To: BOB@EXAMPLE.ORG From: X@SPAM.EXAMPLE Subject: CHEAP STUFF Blacklisted-Program\r\n"
          "10:00:02 D3 Bad Mail From Address \r\n");
    write(dir / "$default$.QUORVANT", "BLACKLIST SUBJECT CONTAINS CHEAP STUFF\r\nREDIRECT @ SHARED\\T.QUORVANT\r\n");
    write(dir / "EXAMPLE.ORG" / "ANN.QUORVANT", "WHITELIST FROM @EXAMPLE.COM\r\n\tSTRICT\r\n");
    write(dir / "tokens.txt", "ann * " + sha256_hex("ann-token") + "\r\n");
    SiteConfig config;
    config.directory = host_path_argument(dir.string().c_str()) + "\\";
    config.start_token = kToken;
    config.token_file = config.directory + "tokens.txt";
    config.hosts = {kHost};
    config.candidate = host_path_argument((dir.parent_path() / "serve-candidate").string().c_str()) + "\\";
    site = std::make_unique<Site>(config);
    login();
  }

  void login() {
    const std::string answer = answer_bytes(*site, "GET /login?token=" + std::string(kToken) + " HTTP/1.1\r\nHost: " +
                                                        kHost + "\r\n\r\n");
    const std::size_t at = answer.find("qvadmin_session=");
    FUZZ_CHECK(at != std::string::npos);
    cookie = answer.substr(at, answer.find(';', at) - at);
    const std::string page = answer_bytes(*site, "GET /health HTTP/1.1\r\nHost: " + std::string(kHost) +
                                                     "\r\nCookie: " + cookie + "\r\n\r\n");
    const std::size_t mark = page.find("name=\"csrf\" value=\"");
    FUZZ_CHECK(mark != std::string::npos);
    csrf = page.substr(mark + 19, 64);
  }

  std::unique_ptr<Site> site;
  std::string cookie, csrf, day;
};

std::string replaced(std::string text, const std::string& mark, const std::string& with) {
  for (std::size_t at = 0; (at = text.find(mark, at)) != std::string::npos; at += with.size())
    text.replace(at, mark.size(), with);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  static Served console;
  std::string request(reinterpret_cast<const char*>(data), size);
  for (const auto& [mark, with] : {std::pair<const char*, std::string>{"@S", console.cookie}, {"@C", console.csrf},
                                   {"@T", kToken}, {"@H", kHost}, {"@D", console.day}})
    request = replaced(request, mark, with);
  const std::string answer = answer_bytes(*console.site, request);
  if (answer.empty()) return 0;

  http::response_parser<http::string_body> parser;
  parser.body_limit(64 << 20);
  parser.eager(true);
  beast::error_code error;
  parser.put(boost::asio::buffer(answer), error);
  FUZZ_CHECK(!error && parser.is_done());
  const WireResponse& response = parser.get();
  static const std::set<unsigned> kStatuses = {200, 303, 400, 403, 404, 405, 409, 413, 414, 421, 431, 500};
  FUZZ_CHECK(kStatuses.count(response.result_int()));
  FUZZ_CHECK(response.body().size() == response.payload_size());
  FUZZ_CHECK(response["Content-Security-Policy"].starts_with("default-src 'none';"));
  FUZZ_CHECK(response["X-Content-Type-Options"] == "nosniff");
  FUZZ_CHECK(response["Referrer-Policy"] == "no-referrer");
  FUZZ_CHECK(response.body().find("<script") == std::string::npos);
  const bool opens = request.find(console.cookie.substr(16)) != std::string::npos ||
                     request.find(kToken) != std::string::npos || request.find("ann-token") != std::string::npos;
  if (!opens) FUZZ_CHECK(response.body().find("action=\"/logout\"") == std::string::npos);
  // The console goes on: the session still opens a page, or it was logged out.
  const std::string check = answer_bytes(*console.site, "GET / HTTP/1.1\r\nHost: " + std::string(kHost) +
                                                            "\r\nCookie: " + console.cookie + "\r\n\r\n");
  if (check.starts_with("HTTP/1.1 403")) console.login();
  else FUZZ_CHECK(check.starts_with("HTTP/1.1 200"));
  return 0;
}
