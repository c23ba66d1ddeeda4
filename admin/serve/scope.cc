#include "admin/serve/scope.h"

#include "admin/token/token_file.h"

std::optional<Scope> Scope::named(std::string_view text) {
  if (!known_token_scope(text)) return std::nullopt;
  return Scope(std::string(text));
}

bool Scope::sees_recipient(std::string_view) const { return sees_everything(); }

bool Scope::sees_file(std::string_view) const { return sees_everything(); }

bool Scope::may_change(std::string_view) const { return sees_everything(); }
