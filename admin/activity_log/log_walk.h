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
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

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

// The domains of the latest domain rule files a log says were checked.
class RecentChecks {
 public:
  void remember(std::string_view path);
  bool has(std::string_view domain) const;

 private:
  static constexpr std::size_t kSize = 64;
  std::array<std::string, kSize> domains_;
  std::size_t next_ = 0;
};

class LogWalk {
 public:
  enum class Item { Result, InvalidEntry, End };

  explicit LogWalk(std::FILE* file, std::size_t read_size = kLogReadSize) : reader_(file, read_size) {}
  // Goes on with a log read before up to start, where the stream now stands,
  // knowing the checks seen until there.
  LogWalk(std::FILE* file, std::uint64_t start, const RecentChecks& checks)
      : reader_(file, kLogReadSize, start), checks_(checks), closed_to_(start) {}

  // Walks another log from its start, as a new walk would.
  void restart(std::FILE* file);

  // The next result or invalid-entry line; the others are counted on the way.
  Item next();
  const ResultLine& result() const { return result_; }
  const InvalidEntryLine& invalid_entry() const { return invalid_; }
  const LogCounts& counts() const { return counts_; }
  // Where the line of the latest item begins, and whether a line end closed it.
  std::uint64_t line_offset() const { return line_offset_; }
  bool line_ended() const { return line_ended_; }
  // Where the line after the last one closed by a line end begins: a walk
  // of a log that is still written goes on from there.
  std::uint64_t closed_to() const { return closed_to_; }
  const RecentChecks& checks() const { return checks_; }

 private:
  LogReader reader_;
  LogCounts counts_;
  ResultLine result_;
  InvalidEntryLine invalid_;
  RecentChecks checks_;
  std::uint64_t line_offset_ = 0;
  bool line_ended_ = true;
  std::uint64_t closed_to_ = 0;
};
