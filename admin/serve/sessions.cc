#include "admin/serve/sessions.h"

#include <algorithm>

#include "common/sha256.h"
#include "admin/token/token_file.h"

std::optional<Session> Sessions::open(const std::string& token_name, const std::string& token_hash,
                                      const Scope& scope, Clock::time_point now) {
  Session session{new_token(), new_token(), token_name, token_hash, scope, now + kSessionLife};
  if (session.id.empty() || session.csrf.empty()) return std::nullopt;
  HostThreadLockHold hold(lock_);
  std::erase_if(sessions_, [&](const auto& entry) { return entry.second.expires <= now; });
  if (sessions_.size() >= kMaxSessions)
    sessions_.erase(std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
      return a.second.expires < b.second.expires;
    }));
  sessions_.emplace(sha256_hex(session.id), session);
  return session;
}

std::optional<Session> Sessions::find(std::string_view id, Clock::time_point now) {
  if (id.empty()) return std::nullopt;
  const std::string key = sha256_hex(id);
  HostThreadLockHold hold(lock_);
  const auto it = sessions_.find(key);
  if (it == sessions_.end()) return std::nullopt;
  if (it->second.expires <= now) {
    sessions_.erase(it);
    return std::nullopt;
  }
  return it->second;
}

void Sessions::close(std::string_view id) {
  const std::string key = sha256_hex(id);
  HostThreadLockHold hold(lock_);
  sessions_.erase(key);
}
