// The console's sessions: a login exchanges a token for a session, named by
// a random cookie, with its own random token against forged forms (CSRF).
// Sessions end after kSessionLife, at log-out, or when the server stops.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "admin/serve/scope.h"
#include "common/host.h"

using Clock = std::chrono::steady_clock;
inline constexpr std::chrono::hours kSessionLife{8};
// The oldest session goes when a login would make more.
inline constexpr std::size_t kMaxSessions = 256;

struct Session {
  std::string id;          // the cookie's value
  std::string csrf;        // every form's hidden field
  std::string token_name;  // the token file's NAME, "" for the start-up token
  std::string token_hash;  // the token file's hash, "" for the start-up token
  Scope scope = Scope::everything();
  Clock::time_point expires;
};

class Sessions {
 public:
  // A new session; nullopt when the system gives no random bytes.
  std::optional<Session> open(const std::string& token_name, const std::string& token_hash, const Scope& scope,
                              Clock::time_point now);
  // The session of a cookie's value, while it lasts.
  std::optional<Session> find(std::string_view id, Clock::time_point now);
  void close(std::string_view id);

 private:
  HostThreadLock lock_;
  // By the SHA-256 of the id, so that looking one up takes no time that
  // depends on how much of a guessed id is right.
  std::map<std::string, Session, std::less<>> sessions_;
};
