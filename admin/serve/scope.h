// What a session may see. Every page asks here before it shows a message, a
// count or a rule file, so that narrower scopes than "*" (one domain, one
// address) are added in this one place.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class Scope {
 public:
  // "*", everything: the start-up token's scope.
  static Scope everything() { return Scope("*"); }
  // The scope a token-file line names; nullopt for one this version does
  // not know (it knows "*" alone).
  static std::optional<Scope> named(std::string_view text);

  const std::string& text() const { return text_; }
  bool sees_everything() const { return text_ == "*"; }
  // Messages to this recipient (an address of the log, upper case).
  bool sees_recipient(std::string_view recipient) const;
  // A rule file of the tree (path as lint lists it).
  bool sees_file(std::string_view path) const;

 private:
  explicit Scope(std::string text) : text_(std::move(text)) {}
  std::string text_;
};
