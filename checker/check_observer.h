// What the checker does, told step by step to an observer: the activity log's
// trace is one observer, the administrators' explanation another. Every
// method does nothing unless an observer overrides it.
#pragma once

#include <string>

#include "checker/rule_line.h"
#include "checker/rule_reader.h"
#include "checker/verdict.h"

class CheckObserver {
 public:
  virtual ~CheckObserver() = default;

  // The envelope file.
  virtual void envelope_unopenable(const std::string& /*path*/) {}
  virtual void envelope_opened(const std::string& /*path*/) {}
  virtual void envelope_line(int /*counter*/, const char* /*as_read*/) {}
  virtual void sender_line() {}
  virtual void recipient_line() {}

  // The cascade, before each rule file it evaluates.
  virtual void cascade_file(CascadeLevel /*level*/, const std::string& /*path*/) {}

  // Rule files. depth counts the REDIRECTs followed to reach the file.
  virtual void rule_file_opening(const char* /*path*/, int /*depth*/) {}
  virtual void rule_file_missing(const char* /*path*/, int /*depth*/) {}
  // Every piece read, comments and skipped pieces included.
  virtual void rule_line_read(const char* /*path*/, const RuleLine& /*line*/) {}
  // A line that is no comment, as classified.
  virtual void rule_line_taken(const char* /*path*/, const RuleLine& /*line*/, RuleLineKind /*kind*/) {}
  virtual void invalid_entry(const char* /*path*/, const RuleLine& /*line*/, InvalidReason /*why*/) {}
  // A rule tested against its trimmed target: verdict as match_rule gives it.
  virtual void rule_tested(const char* /*path*/, const RuleLine& /*line*/, const char* /*target*/,
                           Verdict /*verdict*/) {}
  // A REDIRECT line with a domain-form target, and whether it applies.
  virtual void redirect_domain_target() {}
  virtual void redirect_domain_matched() {}
  // A REDIRECT line with all three words; applies or not.
  virtual void redirect_line(const char* /*path*/, const RuleLine& /*line*/, const RedirectWords& /*words*/,
                             bool /*applies*/) {}
  virtual void redirect_after_strict(const char* /*path*/, const RuleLine& /*line*/, const char* /*file*/) {}
  virtual void redirect_too_deep(const char* /*path*/, const RuleLine& /*line*/, const char* /*file*/) {}
  // The file's result, after any REDIRECT it followed.
  virtual void rule_file_done(const char* /*path*/, int /*depth*/, const RuleDecision& /*decision*/) {}
};
