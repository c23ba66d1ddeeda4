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

// Two observers of one run, told every step in turn.
class ObserverPair : public CheckObserver {
 public:
  ObserverPair(CheckObserver& first, CheckObserver& second) : first_(first), second_(second) {}
  void envelope_unopenable(const std::string& path) override {
    first_.envelope_unopenable(path);
    second_.envelope_unopenable(path);
  }
  void envelope_opened(const std::string& path) override {
    first_.envelope_opened(path);
    second_.envelope_opened(path);
  }
  void envelope_line(int counter, const char* as_read) override {
    first_.envelope_line(counter, as_read);
    second_.envelope_line(counter, as_read);
  }
  void sender_line() override {
    first_.sender_line();
    second_.sender_line();
  }
  void recipient_line() override {
    first_.recipient_line();
    second_.recipient_line();
  }
  void cascade_file(CascadeLevel level, const std::string& path) override {
    first_.cascade_file(level, path);
    second_.cascade_file(level, path);
  }
  void rule_file_opening(const char* path, int depth) override {
    first_.rule_file_opening(path, depth);
    second_.rule_file_opening(path, depth);
  }
  void rule_file_missing(const char* path, int depth) override {
    first_.rule_file_missing(path, depth);
    second_.rule_file_missing(path, depth);
  }
  void rule_line_read(const char* path, const RuleLine& line) override {
    first_.rule_line_read(path, line);
    second_.rule_line_read(path, line);
  }
  void rule_line_taken(const char* path, const RuleLine& line, RuleLineKind kind) override {
    first_.rule_line_taken(path, line, kind);
    second_.rule_line_taken(path, line, kind);
  }
  void invalid_entry(const char* path, const RuleLine& line, InvalidReason why) override {
    first_.invalid_entry(path, line, why);
    second_.invalid_entry(path, line, why);
  }
  void rule_tested(const char* path, const RuleLine& line, const char* target, Verdict verdict) override {
    first_.rule_tested(path, line, target, verdict);
    second_.rule_tested(path, line, target, verdict);
  }
  void redirect_domain_target() override {
    first_.redirect_domain_target();
    second_.redirect_domain_target();
  }
  void redirect_domain_matched() override {
    first_.redirect_domain_matched();
    second_.redirect_domain_matched();
  }
  void redirect_line(const char* path, const RuleLine& line, const RedirectWords& words, bool applies) override {
    first_.redirect_line(path, line, words, applies);
    second_.redirect_line(path, line, words, applies);
  }
  void redirect_after_strict(const char* path, const RuleLine& line, const char* file) override {
    first_.redirect_after_strict(path, line, file);
    second_.redirect_after_strict(path, line, file);
  }
  void redirect_too_deep(const char* path, const RuleLine& line, const char* file) override {
    first_.redirect_too_deep(path, line, file);
    second_.redirect_too_deep(path, line, file);
  }
  void rule_file_done(const char* path, int depth, const RuleDecision& decision) override {
    first_.rule_file_done(path, depth, decision);
    second_.rule_file_done(path, depth, decision);
  }

 private:
  CheckObserver& first_;
  CheckObserver& second_;
};
