// What a session may see and change: everything ("*"), one domain's mail and
// rule files, or one address's mail and own file. Every page asks here before
// it shows a message, a count or a rule file, or changes a file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class Scope {
 public:
  // "*", everything: the start-up token's scope.
  static Scope everything() { return Scope("*"); }
  // The scope a token-file line names: "*", a domain or an address; nullopt
  // for any other text.
  static std::optional<Scope> named(std::string_view text);

  const std::string& text() const { return text_; }
  bool sees_everything() const { return text_ == "*"; }
  // Messages to this recipient (an address of the log, upper case).
  bool sees_recipient(std::string_view recipient) const;
  // sees_recipient as replay takes it: none for "*", which sees them all.
  std::function<bool(std::string_view recipient)> recipient_filter() const;
  // The rule file of WHERE as QVADMIN add takes it: an address, @DOMAIN or
  // *. A scoped session sees and changes those files alone: its domain's
  // file and its users' files, or its own file.
  bool may_change(std::string_view where) const;

 private:
  explicit Scope(std::string text) : text_(std::move(text)) {}
  bool address() const { return text_.find('@') != std::string::npos; }
  std::string text_;
};
