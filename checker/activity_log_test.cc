#include "checker/activity_log.h"

#include <gtest/gtest.h>

#include "checker/testing/checker_scratch.h"

namespace {

TEST(ActivityLog, DayFileNameAndStartTimeArePadded) {
  EXPECT_EQ(make_log_path("C:\\FILTER\\", LocalTime{2026, 2, 1, 0, 0, 0}), "C:\\FILTER\\QEL0201.LOG");
  EXPECT_EQ(make_log_path("", LocalTime{2026, 10, 31, 0, 0, 0}), "QEL1031.LOG");
  EXPECT_EQ(start_time_text(LocalTime{2026, 1, 1, 9, 0, 7}), "09:00:07");
  EXPECT_EQ(start_time_text(LocalTime{2026, 1, 1, 23, 59, 59}), "23:59:59");
}

class ActivityLogFile : public CheckerScratch {};

TEST_F(ActivityLogFile, AppendsWholeLinesWithCrLfAndKeepsPercent) {
  append_log_line(path("LOG.TXT").c_str(), "first 100% %s %i");
  append_log_line(path("LOG.TXT").c_str(), "second\nwith a break");
  const std::string long_line(5000, 'X');
  append_log_line(path("LOG.TXT").c_str(), long_line);
  EXPECT_EQ(log_text(), "first 100% %s %i\r\nsecond\r\nwith a break\r\n" + long_line + "\r\n");
}

TEST_F(ActivityLogFile, UnopenableLogLosesTheLineQuietly) {
  append_log_line(path("NO\\SUCH\\DIR\\QEL0101.LOG").c_str(), "lost");
  append_log_line(path("").c_str(), "lost");  // the scratch directory itself
  EXPECT_EQ(log_text(), "");
}

}  // namespace
