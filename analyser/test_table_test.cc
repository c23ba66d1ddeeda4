#include "analyser/test_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FindOrAddTest, AddsInOrderAndAnnouncesOnlyNewNames) {
  TestTable table;
  CapturedConsole console;
  EXPECT_EQ(find_or_add_test(table, "SPAMCOP", console), 0);
  EXPECT_EQ(find_or_add_test(table, "", console), 1);  // the empty name is a name
  EXPECT_EQ(find_or_add_test(table, "SPAMCOP", console), 0);
  EXPECT_EQ(find_or_add_test(table, "spamcop", console), 2);  // case counts
  EXPECT_EQ(find_or_add_test(table, "", console), 1);
  EXPECT_EQ(console.text(), "\n0 SPAMCOP\n1 \n2 spamcop");
  ASSERT_EQ(table.slots.size(), 3u);
  EXPECT_EQ(table.slots[2].message_fails, 0);
  EXPECT_EQ(table.slots[2].recipient_fails, 0);
}

TEST(FindOrAddTest, AHundredSlotsThenFullWithoutAWord) {
  TestTable table;
  CapturedConsole console;
  for (int i = 0; i < 100; ++i) ASSERT_EQ(find_or_add_test(table, ("T" + std::to_string(i)).c_str(), console), i);
  const std::string before = console.text();
  EXPECT_EQ(find_or_add_test(table, "T100", console), -1);
  EXPECT_EQ(find_or_add_test(table, "T99", console), 99);
  EXPECT_EQ(find_or_add_test(table, "T0", console), 0);
  EXPECT_EQ(console.text(), before);
  EXPECT_EQ(table.slots.size(), 100u);
}

}  // namespace
