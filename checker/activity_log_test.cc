#include "checker/activity_log.h"

#include <gtest/gtest.h>

#include "checker/test_support.h"

namespace {

TEST(ActivityLog, DayFileNameHasTwoDigitFields) {
  struct Case {
    int month, day;
    const char* directory;
    const char* expected;
  } cases[] = {
      {2, 1, "C:\\FILTER\\", "C:\\FILTER\\QEL0201.LOG"},
      {10, 31, "", "QEL1031.LOG"},
      {1, 9, "D:\\Q\\", "D:\\Q\\QEL0109.LOG"},
      {12, 25, "", "QEL1225.LOG"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(make_log_path(c.directory, LocalTime{2026, c.month, c.day, 0, 0, 0}), c.expected);
}

TEST(ActivityLog, StartTimeIsPaddedTwentyFourHourClock) {
  EXPECT_EQ(start_time_text(LocalTime{2026, 1, 1, 9, 0, 7}), "09:00:07");
  EXPECT_EQ(start_time_text(LocalTime{2026, 1, 1, 23, 59, 59}), "23:59:59");
  EXPECT_EQ(start_time_text(LocalTime{2026, 1, 1, 0, 0, 0}), "00:00:00");
}

class ActivityLogFile : public CheckerScratch {};

TEST_F(ActivityLogFile, AppendsWholeLinesWithCrLfAndKeepsPercent) {
  append_log_line(log_path().c_str(), "first 100% %s %i");
  append_log_line(log_path().c_str(), "second\nwith a break");
  EXPECT_EQ(log_text(), "first 100% %s %i\r\nsecond\r\nwith a break\r\n");
}

TEST_F(ActivityLogFile, LongLineIsWrittenWhole) {
  const std::string line(5000, 'X');
  append_log_line(log_path().c_str(), line);
  EXPECT_EQ(log_text(), line + "\r\n");
}

TEST_F(ActivityLogFile, UnopenableLogLosesTheLineQuietly) {
  append_log_line(path("NO\\SUCH\\DIR\\QEL0101.LOG").c_str(), "lost");
  append_log_line(path("").c_str(), "lost");  // the scratch directory itself
  EXPECT_EQ(log_text(), "");
}

TEST_F(ActivityLogFile, LogAtHonoursTheRunLevel) {
  for (int level = kLow; level <= kDebug; ++level) {
    set_log_level(level);
    for (int threshold = kLow; threshold <= kDebug; ++threshold)
      log_at(threshold, std::to_string(level) + "/" + std::to_string(threshold));
  }
  EXPECT_EQ(log_text(),
            "1/1\r\n2/1\r\n2/2\r\n3/1\r\n3/2\r\n3/3\r\n4/1\r\n4/2\r\n4/3\r\n4/4\r\n");
}

}  // namespace
