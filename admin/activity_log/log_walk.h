// Walks one activity log line by line and tells its lines apart: result
// lines, invalid-entry lines, the trace, and lines of no form the checker
// writes (torn, binary, too long), each counted.
//
// A line without verdict words is believed to be a message whose domain or
// program rule file stopped the cascade only when, among the last 64 rule
// files the log says were checked ("Checking Rule File = "), there is the
// domain rule file of its recipient: the checker writes such a line at HIGH
// and DEBUG only, and there every run that reaches its domain file writes
// that trace line first. Otherwise it is a line torn inside its Subject and
// is counted with the other lines.
#pragma once

#include <array>
#include <cstdio>
#include <string>

#include "admin/activity_log/log_line.h"
#include "admin/activity_log/log_reader.h"

struct LogCounts {
  long lines = 0;
  long results = 0;
  long invalid_entries = 0;
  long trace = 0;      // the checker's trace lines, and empty lines
  long other = 0;      // lines of no form the checker writes
  long too_long = 0;   // longer than any line the checker writes
  long no_action = 0;  // result lines ending in " No Action."

  LogCounts& operator+=(const LogCounts& more) {
    lines += more.lines;
    results += more.results;
    invalid_entries += more.invalid_entries;
    trace += more.trace;
    other += more.other;
    too_long += more.too_long;
    no_action += more.no_action;
    return *this;
  }
};

class LogWalk {
 public:
  enum class Item { Result, InvalidEntry, End };

  explicit LogWalk(std::FILE* file, std::size_t read_size = kLogReadSize) : reader_(file, read_size) {}

  // The next result or invalid-entry line; the others are counted on the way.
  Item next();
  const ResultLine& result() const { return result_; }
  const InvalidEntryLine& invalid_entry() const { return invalid_; }
  const LogCounts& counts() const { return counts_; }

 private:
  void remember_check(std::string_view path);
  bool domain_checked(std::string_view domain) const;

  LogReader reader_;
  LogCounts counts_;
  ResultLine result_;
  InvalidEntryLine invalid_;
  // The domains of the latest domain rule files checked.
  static constexpr std::size_t kRecentChecks = 64;
  std::array<std::string, kRecentChecks> recent_domains_;
  std::size_t next_recent_ = 0;
};
