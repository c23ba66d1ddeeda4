// The report's parts that the end-to-end cases cannot reach cheaply: the
// bounded counter past its limit, and the day of a log's name.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "admin/report/report_data.h"
#include "admin/report/top_counter.h"

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

TEST(DayLabel, FromTheLogName) {
  EXPECT_EQ(day_label("C:\\Q\\QEL1225.LOG"), "Dec 25");
  EXPECT_EQ(day_label("logs\\qel0101.log"), "Jan 1");
  EXPECT_EQ(day_label("QEL1332.LOG"), "QEL1332.LOG");
  EXPECT_EQ(day_label("QEL12251.LOG"), "QEL12251.LOG");
  EXPECT_EQ(day_label("old\\week.txt"), "week.txt");
}

}  // namespace
