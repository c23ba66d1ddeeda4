// The activity log's view of a run: each step the checker reports becomes the
// log line it has always written, when the run's level reaches the line's.
#pragma once

#include <string>

#include "checker/activity_log.h"
#include "checker/check_observer.h"

class LogTrace : public CheckObserver {
 public:
  LogTrace(std::string log_path, LogLevel level) : path_(std::move(log_path)), level_(level) {}
  // The lines go to kept, as the log's bytes, instead of the log: what a run
  // would have appended (explain shows a run without writing).
  LogTrace(LogLevel level, std::string& kept) : level_(level), kept_(&kept) {}

  // Appends the line when the run's level is at least threshold.
  void write(LogLevel threshold, const std::string& text) const;

  void envelope_unopenable(const std::string& path) override;
  void envelope_opened(const std::string& path) override;
  void envelope_line(int counter, const char* as_read) override;
  void sender_line() override;
  void recipient_line() override;
  void rule_file_opening(const char* path, int depth) override;
  void rule_file_missing(const char* path, int depth) override;
  void invalid_entry(const char* path, const RuleLine& line, InvalidReason why) override;
  void rule_tested(const char* path, const RuleLine& line, const char* target, Verdict verdict) override;
  void redirect_domain_target() override;
  void redirect_domain_matched() override;
  void redirect_after_strict(const char* path, const RuleLine& line, const char* file) override;
  void redirect_too_deep(const char* path, const RuleLine& line, const char* file) override;

 private:
  std::string path_;
  LogLevel level_;
  std::string* kept_ = nullptr;
};
