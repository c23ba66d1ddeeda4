// Evaluates one rule file for one message, following REDIRECT lines into
// further rule files.
#pragma once

#include <cstdio>

// The result of evaluating a rule file.
enum RuleResult : int {
  kNothingDecided = 0,
  kWhitelisted = 1,
  kBlacklisted = 100,
  kStopCascade = 200,  // NO DOMAIN, or a REDIRECT that applied after STRICT
};

enum class RuleLineKind : int {
  Invalid = 0,
  Strict = 20,
  SubjectRule = 21,
  FromRule = 22,
  Redirect = 23,
  NoDomain = 200,
};

// REDIRECT chains are followed through at most this many nested evaluations
// below the file the cascade evaluates, so a chain that loops ends.
constexpr int kMaxRedirectDepth = 16;

// line: normalised. Comments ("#" in the first column) are the caller's.
RuleLineKind classify_rule_line(const char* line);

// subject, sender and recipient: upper case, at most 99 characters each.
// A file that cannot be opened gives kNothingDecided. depth counts the
// REDIRECTs followed to reach this file.
RuleResult evaluate_rule_file(const char* path, const char* subject, const char* sender, const char* recipient,
                              int depth = 0);
// The same for a file already open under the name path; closes it before
// any REDIRECT target is opened, and in every case before returning.
RuleResult evaluate_open_rule_file(std::FILE* file, const char* path, const char* subject, const char* sender,
                                   const char* recipient, int depth = 0);
