// What the checker writes to its activity log, word for word: the result line
// of each message (its labels and the words it ends with) and the beginnings
// of the trace lines. The checker writes its log from these, and QVADMIN reads
// the log back with them.
#pragma once

#include <optional>
#include <string_view>

#include "checker/verdict.h"

// How the check of a message ended, as its result line tells.
enum class ResultKind : unsigned char {
  WhitelistedUser,
  WhitelistedDomain,
  WhitelistedProgram,
  BlacklistedUser,
  BlacklistedDomain,
  BlacklistedProgram,
  NoAction,      // no rule file decided, or the user file stopped the cascade
  Stopped,       // the domain or program file stopped the cascade
  BadSender,     // the envelope's sender line holds no address
  BadRecipient,  // the envelope's recipient line holds no address
  NoRecipient,   // the envelope names no recipient
  Unopenable,    // the envelope could not be opened
};
inline constexpr int kResultKinds = 12;

// A result line is
//   HH:MM:SS ID To: USER@DOMAIN From: SENDER Subject: SUBJECT<words>
// or, when the envelope stopped the check, HH:MM:SS ID<words>; an envelope
// that cannot be opened gives a line of the words alone.
inline constexpr char kToLabel[] = " To: ";
inline constexpr char kFromLabel[] = " From: ";
inline constexpr char kSubjectLabel[] = " Subject: ";
inline constexpr std::string_view kResultWords[kResultKinds] = {
    " Whitelisted-User",
    " Whitelisted-Domain",
    " Whitelisted-Program",
    " Blacklisted-User",
    " Blacklisted-Domain",
    " Blacklisted-Program",
    " No Action.",
    "",
    " Bad Mail From Address ",
    " Bad Mail To Address ",
    " Mail To missing ",
    "Could not open message file.",
};
constexpr std::string_view result_words(ResultKind kind) { return kResultWords[static_cast<int>(kind)]; }

// The kinds whose line holds To, From and Subject: the rule files decided.
constexpr bool result_has_message(ResultKind kind) { return kind <= ResultKind::Stopped; }

// The verdict of a kind, whichever file of the cascade gave it.
constexpr Verdict result_verdict(ResultKind kind) {
  if (kind <= ResultKind::WhitelistedProgram) return Verdict::Whitelisted;
  if (kind <= ResultKind::BlacklistedProgram) return Verdict::Blacklisted;
  return Verdict::None;
}

// The kind a message gets when the rule file at this level of the cascade
// gives this result; nullopt when the cascade goes on (nothing decided by the
// user or the domain file).
constexpr std::optional<ResultKind> cascade_result(CascadeLevel level, RuleResult result) {
  const int at = static_cast<int>(level);
  switch (result) {
    case RuleResult::Whitelisted:
      return static_cast<ResultKind>(static_cast<int>(ResultKind::WhitelistedUser) + at);
    case RuleResult::Blacklisted:
      return static_cast<ResultKind>(static_cast<int>(ResultKind::BlacklistedUser) + at);
    case RuleResult::StopCascade:
      return level == CascadeLevel::User ? ResultKind::NoAction : ResultKind::Stopped;
    case RuleResult::NothingDecided:
      break;
  }
  if (level == CascadeLevel::Program) return ResultKind::NoAction;
  return std::nullopt;
}

// The trace: how each line the checker writes besides the result line begins,
// and the labels inside it.
inline constexpr char kEnvelopeOpenedTrace[] = "1.2.1  Message File Opened : ";  // path
inline constexpr char kEnvelopeLineTrace[] = "Line ";  // counter ":" the line as read
inline constexpr char kSenderLineTrace[] = "1.2.2  Detected From Address";
inline constexpr char kRecipientLineTrace[] = "1.2.3  Detected To Address";
inline constexpr char kRuleFileTrace[] = "Checking Rule File = ";  // path
inline constexpr char kRuleFileMissingTrace[] = "Error opening file or file not found.";
inline constexpr char kInvalidEntryTrace[] = "Invalid entry. File: ";  // path kLineLabel counter kDataLabel text
inline constexpr char kLineLabel[] = " Line: ";
inline constexpr char kDataLabel[] = " Data: ";
inline constexpr char kRuleTestedTrace[] = "Checking: rule = ";  // rule "  Data=" target
inline constexpr char kDomainTargetTrace[] = "found as domain";
inline constexpr char kDomainMatchedTrace[] = "matched domain";
inline constexpr char kRedirectAfterStrictTrace[] = "Invalid REDIRECT with STRICT.  File = ";  // file "  Line=" counter
inline constexpr char kRedirectTooDeepTrace[] = "REDIRECT chain too deep.  File = ";          // file "  Line=" counter

// The trace lines but for the invalid entries, which have a form of their own.
inline constexpr std::string_view kTraceBeginnings[] = {
    kRuleFileTrace,     kRuleFileMissingTrace,     kDomainTargetTrace,    kDomainMatchedTrace,
    kRedirectAfterStrictTrace, kRedirectTooDeepTrace, kEnvelopeOpenedTrace, kSenderLineTrace,
    kRecipientLineTrace, kRuleTestedTrace,         kEnvelopeLineTrace,
};
