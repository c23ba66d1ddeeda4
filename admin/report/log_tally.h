// One log's lines as the report counts them, gathered ahead of the counting:
// the result kinds per hour, and in the order they came the names of each
// blacklisted line and the invalid entries. The counting then takes them
// in that order, so a log gathered on a thread of its own (the next log,
// while this one is read) is counted exactly as one read in turn.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string_view>

#include "admin/activity_log/log_walk.h"

inline constexpr int kHours = 24;

class LogTally {
 public:
  LogTally() : walk_(nullptr) {}
  // Gathers from this log on, from its start (the buffers are kept).
  void start(std::FILE* file);

  // Walks on to the end of the log, or until what it keeps takes room bytes
  // (then counting it makes room to go on).
  void run(std::size_t room);
  bool ended() const { return ended_; }
  // The bytes of names and entries kept, that run's room is measured in.
  std::size_t kept() const { return blacklisted_.size() + invalid_.size(); }
  const LogCounts& counts() const { return walk_.counts(); }

  // Result lines by hour (kHours for a line without a time) and kind.
  std::array<std::array<long, kResultKinds>, kHours + 1> kinds{};

  // The blacklisted lines and the invalid entries, in order: each call
  // gives the next, false after the last.
  struct Blacklisted {
    std::string_view recipient, domain, sender_domain;
  };
  bool next(Blacklisted& line);
  bool next(InvalidEntryLine& entry);
  // Forgets what was counted, keeping the buffers' memory.
  void clear();

 private:
  // Records of sizes and bytes, one after another, in memory kept from one
  // log to the next.
  class Records {
   public:
    // Room for size more bytes at the end.
    char* extend(std::size_t size) {
      if (size > capacity_ - size_) grow(size);
      char* at = bytes_.get() + size_;
      size_ += size;
      return at;
    }
    const char* data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

   private:
    void grow(std::size_t size);
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0, capacity_ = 0;
  };

  LogWalk walk_;
  bool ended_ = false;
  Records blacklisted_, invalid_;
  std::size_t blacklisted_read_ = 0, invalid_read_ = 0;
};
