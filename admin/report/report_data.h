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
#include "admin/report/top_counter.h"

struct DayRow {
  std::string label;  // "Dec 25" from QEL1225.LOG; the file name for other names
  std::array<long, kResultKinds> kinds{};
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
  std::vector<DayRow> days;  // in the order their logs were given
  DayRow total;
  std::vector<InvalidEntryRow> invalid_entries;  // by file, then line
  long invalid_entries_not_listed = 0;           // beyond the rows kept
  long blacklisted = 0;
  Ranking recipient_domains, users, sender_domains;
  LogCounts lines;
  std::vector<std::string> logs, unreadable;
};

// The day a log's file name stands for: "Dec 25" for QEL1225.LOG (any letter
// case); the file name itself for any other name.
std::string day_label(const std::string& log_path);

// Gathers the report from the logs one at a time.
class ReportBuilder {
 public:
  void add_log(const std::string& path, std::FILE* file);
  void add_unreadable(const std::string& path);
  ReportData finish();

 private:
  DayRow& day(const std::string& label);

  ReportData data_;
  std::map<std::pair<std::string, long>, InvalidEntryRow> invalid_;
  TopCounter recipient_domains_, users_, sender_domains_;
};
