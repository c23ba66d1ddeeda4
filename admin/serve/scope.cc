#include "admin/serve/scope.h"

#include "admin/token/token_file.h"
#include "common/text.h"

std::optional<Scope> Scope::named(std::string_view text) {
  if (!known_token_scope(text)) return std::nullopt;
  return Scope(std::string(text));
}

bool Scope::sees_recipient(std::string_view recipient) const {
  if (sees_everything()) return true;
  if (address()) return same_ignoring_case(recipient, text_);
  const std::size_t at = recipient.rfind('@');
  return at != std::string_view::npos && same_ignoring_case(recipient.substr(at + 1), text_);
}

std::function<bool(std::string_view recipient)> Scope::recipient_filter() const {
  if (sees_everything()) return {};
  return [scope = *this](std::string_view recipient) { return scope.sees_recipient(recipient); };
}

bool Scope::may_change(std::string_view where) const {
  if (sees_everything()) return true;
  if (where.empty() || where == "*") return false;
  if (where.front() == '@') return !address() && same_ignoring_case(where.substr(1), text_);
  return where.find('@') != std::string_view::npos && sees_recipient(where);
}
