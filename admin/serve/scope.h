// What a session may see and change. Every page asks here before it shows a
// message, a count or a rule file, or changes a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>

class Scope {
 public:
  // "*", everything: the start-up token's scope.
  static Scope everything() { return Scope("*"); }
  // The scope a token-file line names; nullopt for one this version does
  // not know.
  static std::optional<Scope> named(std::string_view text);

  const std::string& text() const { return text_; }
  bool sees_everything() const { return text_ == "*"; }
  // Messages to this recipient (an address of the log, upper case).
  bool sees_recipient(std::string_view recipient) const;
  // A rule file of the tree (path as lint lists it).
  bool sees_file(std::string_view path) const;
  // The rule file of WHERE as QVADMIN add takes it: an address, @DOMAIN, *.
  bool may_change(std::string_view where) const;

 private:
  explicit Scope(std::string text) : text_(std::move(text)) {}
  std::string text_;
};
