// The report's parts that the end-to-end cases cannot reach cheaply: the
// bounded counter past its limit, and the day of a log's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "admin/report/report_data.h"
#include "admin/report/report_render.h"
#include "admin/report/top_counter.h"
#include "common/testing/scratch.h"

namespace {

// Past its limit the counter forgets the names counted least; what it shows
// is never more than the true count and short by at most short_by().
TEST(TopCounter, BoundedAndHonestAboutItsShortfall) {
  std::mt19937 random(10);
  TopCounter counter(64);
  std::map<std::string, long> truth;
  for (int i = 0; i < 100000; ++i) {
    // A few names often, very many names once or twice.
    std::string name = random() % 3 ? "HEAVY" : "N";
    name += std::to_string(random() % 3 ? random() % 8 : random());
    counter.add(name);
    ++truth[name];
  }
  const auto top = counter.top(10);
  ASSERT_EQ(top.size(), 10u);
  EXPECT_GT(counter.short_by(), 0);
  for (std::size_t i = 0; i < top.size(); ++i) {
    const auto& [name, count] = top[i];
    EXPECT_LE(count, truth[name]) << name;
    EXPECT_GE(count + counter.short_by(), truth[name]) << name;
    if (i > 0) {
      EXPECT_GE(top[i - 1].second, count);
    }
  }
  for (int h = 0; h < 8; ++h) EXPECT_EQ(top[h].first.substr(0, 5), "HEAVY");
}

TEST(TopCounter, ExactWithinItsLimit) {
  TopCounter counter(100);
  for (const char* name : {"B", "A", "C", "A", "B", "A"}) counter.add(name);
  const auto top = counter.top(2);
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[0], std::make_pair(std::string("A"), 3L));
  EXPECT_EQ(top[1], std::make_pair(std::string("B"), 2L));
  EXPECT_EQ(counter.short_by(), 0);
}

// Days run in calendar order across the year's end: each takes the latest
// year that puts it on or before the newest log's last change.
TEST(DayLabel, CalendarOrderAcrossTheYearsEnd) {
  const struct {
    std::vector<const char*> logs;  // in the order given
    LocalTime newest;
    std::vector<std::string> days;  // in the order shown, with their years
  } cases[] = {
      {{"QEL0101.LOG", "QEL0118.LOG", "week.txt", "QEL1220.LOG", "QEL1231.LOG"},
       {2025, 1, 19, 0, 0, 0},
       {"Dec 20 2024", "Dec 31 2024", "Jan 1 2025", "Jan 18 2025", "week.txt 0"}},
      {{"QEL0101.LOG", "QEL1231.LOG"}, {2024, 12, 31, 23, 0, 0}, {"Jan 1 2024", "Dec 31 2024"}},
      {{"QEL0229.LOG", "QEL0301.LOG", "QEL0228.LOG"}, {2024, 3, 1, 0, 0, 0},
       {"Feb 28 2024", "Feb 29 2024", "Mar 1 2024"}},
  };
  for (const auto& c : cases) {
    std::vector<DayRow> days;
    for (const char* log : c.logs) days.push_back(log_day(log));
    date_days(days, c.newest);
    std::vector<std::string> shown;
    for (const DayRow& row : days) shown.push_back(row.label + " " + std::to_string(row.year));
    EXPECT_EQ(shown, c.days);
  }
}

// A year of days: the chart names only as many as fit beside each other.
TEST(ReportPage, ThinsTheDayLabelsToFit) {
  for (const int days : {7, 30, 365}) {
    ReportData data;
    for (int d = 0; d < days; ++d) data.days.push_back({"Day " + std::to_string(d), {1}});
    const std::string page = report_html(data);
    const std::string chart = page.substr(0, page.find("</svg>"));
    int labels = 0;
    for (std::size_t at = 0; (at = chart.find("\">Day ", at)) != std::string::npos; ++at) ++labels;
    EXPECT_LE(labels, 60) << days;
    EXPECT_GE(labels, std::min(days, 25)) << days;
  }
}

// A line without verdict words counts as a cascade stopped by NO DOMAIN when
// the recipient's domain file was checked just before: for a recipient with
// an empty domain, the server-wide file (its path with the doubled "\").
TEST(ReportCounts, EveryResultLineOfTheCheckerCounted) {
  const struct {
    std::string log;
    long stopped, other;
  } cases[] = {
      {"Checking Rule File = C:\\Q\\A.TEST\\$default$.QUORVANT\r\n"
       "12:00:00 D1 To: ANN@A.TEST From: JOE@B.TEST Subject: HI\r\n",
       1, 0},
      {"Checking Rule File = C:\\Q\\\\$default$.QUORVANT\r\n"
       "12:00:00 D1 To: ANN@ From: JOE@B.TEST Subject: HI\r\n",
       1, 0},
      {"Checking Rule File = C:\\Q\\A.TEST\\$default$.QUORVANT\r\n"
       "12:00:00 D1 To: ANN@ From: JOE@B.TEST Subject: HI\r\n",
       0, 1},
      {"12:00:00 D1 To: ANN@A.TEST From: JOE@B.TEST Subject: TORN\r\n", 0, 1},
  };
  for (const auto& c : cases) {
    ReportBuilder builder(LocalTime{2025, 1, 1, 0, 0, 0});
    std::FILE* log = file_with(c.log);
    builder.add_log("QEL0101.LOG", log);
    std::fclose(log);
    const ReportData data = builder.finish();
    EXPECT_EQ(data.total.kinds[static_cast<int>(ResultKind::Stopped)], c.stopped) << c.log;
    EXPECT_EQ(data.lines.other, c.other) << c.log;
  }
}

TEST(DayLabel, FromTheLogName) {
  EXPECT_EQ(day_label("C:\\Q\\QEL1225.LOG"), "Dec 25");
  EXPECT_EQ(day_label("logs\\qel0101.log"), "Jan 1");
  EXPECT_EQ(day_label("QEL1332.LOG"), "QEL1332.LOG");
  EXPECT_EQ(day_label("QEL12251.LOG"), "QEL12251.LOG");
  EXPECT_EQ(day_label("old\\week.txt"), "week.txt");
}

}  // namespace
