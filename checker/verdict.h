// What a message gets, what a rule file decides, and which line decided it.
#pragma once

#include <string>

// What the checker gives a message, and what a rule's list word stands for.
enum class Verdict { None, Whitelisted, Blacklisted };

// The result of evaluating a rule file.
enum class RuleResult : int {
  NothingDecided = 0,
  Whitelisted = 1,
  Blacklisted = 100,
  StopCascade = 200,  // NO DOMAIN, or a REDIRECT that applied after STRICT
};

// The result of a rule that hits.
constexpr RuleResult rule_result(Verdict verdict) {
  switch (verdict) {
    case Verdict::Whitelisted:
      return RuleResult::Whitelisted;
    case Verdict::Blacklisted:
      return RuleResult::Blacklisted;
    case Verdict::None:
      break;
  }
  return RuleResult::NothingDecided;
}

enum class DecidedBy {
  Nothing,              // no line: the result is NothingDecided
  Rule,                 // a WHITELIST or BLACKLIST rule hit
  Strict,               // no rule hit after a STRICT line
  NoDomain,             // no rule hit after a NO DOMAIN line
  RedirectAfterStrict,  // a REDIRECT applied after STRICT
};

// A result with the line behind it. Through REDIRECT the deciding line is in
// the file the chain reached.
struct RuleDecision {
  RuleResult result = RuleResult::NothingDecided;
  DecidedBy by = DecidedBy::Nothing;
  std::string file;     // the path text of the file holding the line
  int editor_line = 0;  // its physical line in the file
  int counter = 0;      // the checker's line counter there
};

// The rule files of the cascade, most particular first.
enum class CascadeLevel { User, Domain, Program };
inline constexpr int kCascadeLevels = 3;
inline constexpr CascadeLevel kCascade[kCascadeLevels] = {CascadeLevel::User, CascadeLevel::Domain,
                                                          CascadeLevel::Program};
