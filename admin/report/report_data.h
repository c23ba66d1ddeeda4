// What QVADMIN report shows, gathered from activity logs in one streamed
// pass: the console and the HTML page are both drawn from this, so their
// numbers are the same.
#pragma once

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "admin/activity_log/log_line.h"
#include "admin/activity_log/log_walk.h"
#include "admin/report/log_tally.h"
#include "admin/report/recipient_counts.h"
#include "admin/report/top_counter.h"
#include "common/file.h"
#include "common/host.h"

struct DayRow {
  std::string label;  // "Dec 25" from QEL1225.LOG; the file name for other names; "14:00" for an hour
  std::array<long, kResultKinds> kinds{};
  int year = 0, month = 0, day = 0;  // the day a log's name gives, its year worked out; 0 for others
  long total() const;
};

struct InvalidEntryRow {
  std::string file;
  long line = 0;
  std::string data;  // as first logged
  long count = 0;
};

struct Ranking {
  std::vector<std::pair<std::string, long>> rows;
  long short_by = 0;  // counts may be short by this much (very many names)
};

struct ReportData {
  // The days of logs named QELmmdd.LOG in calendar order, then the logs of
  // other names in the order given.
  std::vector<DayRow> days;
  DayRow total;
  std::vector<DayRow> hours;  // 24, "00:00" to "23:00", then "(no time)" when a line had none
  std::vector<InvalidEntryRow> invalid_entries;  // by file, then line
  long invalid_entries_not_listed = 0;           // beyond the rows kept (and their memory)
  long blacklisted = 0;
  Ranking recipient_domains, users, sender_domains;
  LogCounts lines;
  std::vector<std::string> logs, unreadable;
  std::string first_day, last_day;  // "Dec 20 2024": the period of the dated logs ("" without one)
  LocalTime made{};                 // when the report was made
};

// The day a log's name stands for: "Dec 25" for QEL1225.LOG (any letter
// case), with month 12 and day 25; the file name itself, with 0 and 0, for
// any other name.
DayRow log_day(const std::string& log_path);
std::string day_label(const std::string& log_path);

// How a report reads its logs. Up to kept_logs logs given open are kept,
// and then read on two threads when they hold beside_from bytes or more:
// each thread gathers the next log not yet taken, keeping at most
// ahead_room bytes of names and entries, and counts it in its turn, after
// the log before it (while it waits for that turn, it gathers one more log
// in the room the first left). A log read in turn is counted every
// count_room bytes of them.
struct ReportReading {
  std::uint64_t beside_from = 256u << 10;
  std::size_t ahead_room = 4u << 20;
  std::size_t count_room = 256u << 10;
  std::size_t kept_logs = 32;
};

// Gathers the report from the logs in the order given.
class ReportBuilder {
 public:
  explicit ReportBuilder(const LocalTime& made, const ReportReading& reading = {});
  // Reads the log now.
  void add_log(const std::string& path, std::FILE* file);
  // May keep the log open until more come, to read them on two threads;
  // finish() reads the logs still kept.
  void add_log(const std::string& path, FileHandle file);
  void add_unreadable(const std::string& path);
  ReportData finish();

 private:
  struct Kept {
    FileHandle file;
    std::size_t day;
    std::uint64_t size;
  };
  struct KeptReading;
  // The log's place in the lists; its day's row.
  std::size_t start_log(const std::string& path, std::FILE* file);
  void count(LogTally& tally, std::size_t day);
  void read(LogTally& tally, std::size_t day);
  // Reads the log here, from its start to its end.
  void read_now(const std::string& path, std::FILE* file);
  void read_kept();
  // Takes the kept logs not yet taken, one after another, until none is left.
  void take_kept(KeptReading& reading, LogTally& tally, LogTally& spare);

  ReportData data_;
  std::map<std::pair<std::string, long>, InvalidEntryRow> invalid_;
  std::size_t invalid_bytes_ = 0;  // held by invalid_
  RecipientCounts recipients_;
  TopCounter sender_domains_;
  LocalTime newest_{};  // the latest time a log was written
  ReportReading reading_;
  std::vector<Kept> kept_;
  LogTally own_, beside_;  // the tallies of this thread and the second one
  LogTally own_spare_, beside_spare_;  // each one's second log, gathered while it waits
};

// Each day's year: the latest that puts the day on or before newest (so
// that QEL1220.LOG to QEL0118.LOG read in calendar order across the year's
// end). Days of other names keep year 0.
void date_days(std::vector<DayRow>& days, const LocalTime& newest);
