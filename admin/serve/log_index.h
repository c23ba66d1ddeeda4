// The activity logs of the last days, indexed for the console: per logged
// message 16 bytes (where its line stands, its kind, its recipient's and
// sender's numbers), plus each distinct address and domain once (see
// NameTable). Filters by day, kind, recipient, sender and their domains are
// answered from the index; a Subject filter and the lines shown are read from
// the logs. The day's log is followed while the checker appends to it:
// refresh() reads what was added, and at midnight takes in the new day's log.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "admin/activity_log/log_line.h"
#include "admin/activity_log/log_walk.h"
#include "admin/serve/name_table.h"
#include "admin/serve/scope.h"
#include "common/file.h"
#include "common/host.h"

// A logged line, read back.
struct LoggedLine {
  std::string log;     // the log's name, QELmmdd.LOG
  std::uint64_t offset = 0;
  ResultKind kind = ResultKind::NoAction;
  std::string time, identifier, recipient, sender, subject;
  bool sender_cut = false, subject_cut = false;
  bool gone = false;  // no longer where the index has it (the log was replaced)
};

struct ActivityFilter {
  std::string log;  // one day's log name, or "" for every day
  // The kinds shown; empty for all.
  std::vector<ResultKind> kinds;
  // Texts as typed, letter case ignored; "" for none. The recipient and the
  // sender match where they hold the text, the domains and the Subject where
  // they are the text (a domain, with or without "@") or hold it (Subject).
  std::string recipient, recipient_domain, sender, sender_domain, subject;
};

struct ActivityAnswer {
  // The messages of the filter, whatever their kind, counted per kind.
  std::array<long, kResultKinds> kinds{};
  long matched = 0;                // of the kinds shown
  std::vector<LoggedLine> lines;   // those asked for, newest first
};

struct IndexedLog {
  std::string name;            // QELmmdd.LOG
  LocalTime date{};            // the day it stands for
  bool present = false;        // in the program directory
  bool unreadable = false;     // there, but it cannot be read
  long messages = 0;
};

class LogIndex {
 public:
  // Index memory beyond which no more lines are taken in.
  static constexpr std::size_t kMaxBytes = std::size_t{1} << 31;

  LogIndex(std::string program_directory, int days, std::uint64_t seed);

  // Reads what the logs of the days up to today gained since the last call.
  void refresh(const LocalTime& today);

  // The lines from first (0: the newest) to first + count - 1 among those of
  // the filter that the scope sees.
  ActivityAnswer query(const ActivityFilter& filter, const Scope& scope, std::size_t first, std::size_t count) const;
  // The message whose line begins at offset in the day's log, when the index
  // holds it.
  std::optional<LoggedLine> message(const std::string& log, std::uint64_t offset) const;

  // The logs indexed, newest first.
  std::vector<IndexedLog> logs() const;
  std::size_t messages() const { return messages_; }
  std::size_t bytes() const;
  bool full() const { return full_; }

 private:
  struct Entry {
    std::uint64_t at;         // offset << 8 | kind
    std::uint32_t recipient;  // in names_, or NameTable::kNone
    std::uint32_t sender;
  };
  struct Day {
    IndexedLog log;
    std::string path;
    std::uint64_t read_to = 0;
    RecentChecks checks;
    std::deque<Entry> entries;  // in the order of the log
  };

  // A query's filters, made once: for each address whether it passes.
  struct Filters {
    std::optional<std::vector<char>> recipient, sender, seen;
    std::string subject;  // upper case
    bool messages_only = false;
  };

  void read_new_lines(Day& day, bool present);
  void forget(Day& day);
  void add(Day& day, const ResultLine& line, std::uint64_t offset);
  std::uint32_t address(std::string_view text);
  std::optional<std::vector<char>> passing(const std::string& text, const std::string& domain) const;
  std::vector<std::uint32_t> day_matches(const Day& day, const Filters& filters) const;
  std::optional<LoggedLine> read_line(const Day& day, std::uint64_t offset, FileHandle& file) const;

  std::string directory_;
  int days_;
  std::vector<Day> logs_;  // newest first
  NameTable names_;        // addresses
  NameTable domains_;
  std::vector<std::uint32_t> domain_of_;  // for each address
  std::size_t messages_ = 0;
  bool full_ = false;
};
