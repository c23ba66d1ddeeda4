// What QVADMIN lint says about a rule file: findings, each from one named
// check, at an editor line of the file.
#pragma once

#include <string>

enum class Severity { Error, Warning, Note };

struct Finding {
  int line = 1;     // editor line (physical line, counting line ends), from 1
  int counter = 0;  // the checker's line counter there; 0 when the finding is about no line it reads
  Severity severity = Severity::Error;
  const char* check = "";
  std::string message;
};

// The checks' names, as printed in brackets.
namespace lint_check {
inline constexpr char kInvalidEntry[] = "invalid-entry";
inline constexpr char kKeywordInRule[] = "keyword-in-rule";
inline constexpr char kSeveralAt[] = "several-at";
inline constexpr char kLiteralWildcard[] = "literal-wildcard";
inline constexpr char kLongLine[] = "long-line";
inline constexpr char kBeyondLimit[] = "beyond-limit";
inline constexpr char kTab[] = "tab";
inline constexpr char kEncoding[] = "encoding";
inline constexpr char kRedirectMissing[] = "redirect-missing";
inline constexpr char kRedirectLoop[] = "redirect-loop";
inline constexpr char kRedirectAfterStrict[] = "redirect-after-strict";
inline constexpr char kDirectiveConflict[] = "directive-conflict";
inline constexpr char kShadowedRule[] = "shadowed-rule";
inline constexpr char kUnreachableFile[] = "unreachable-file";
inline constexpr char kLookalikeDomain[] = "lookalike-domain";
// A rule file that lint is given or finds, but which cannot be opened.
inline constexpr char kUnreadableFile[] = "unreadable-file";
inline constexpr char kRedirectToLog[] = "redirect-to-log";
inline constexpr char kRelativeRedirect[] = "relative-redirect";
// A program directory that holds no rule file at all.
inline constexpr char kNoRuleFiles[] = "no-rule-files";

inline constexpr const char* kAll[] = {
    kInvalidEntry,     kKeywordInRule,        kSeveralAt,         kLiteralWildcard, kLongLine,
    kBeyondLimit,      kTab,                  kEncoding,          kRedirectMissing, kRedirectLoop,
    kRedirectAfterStrict, kDirectiveConflict, kShadowedRule,      kUnreachableFile, kLookalikeDomain,
    kUnreadableFile,   kRedirectToLog,        kRelativeRedirect,  kNoRuleFiles,
};
}  // namespace lint_check
