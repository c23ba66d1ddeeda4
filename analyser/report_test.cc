#include "analyser/report.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr std::int64_t kMax = INT64_MAX;

TEST(Share, WholePercentCutTowardZero) {
  const struct {
    std::int64_t count, total, want;
  } cases[] = {
      {2, 3, 66},  {3, 3, 100},      {7, 2, 350},          {0, 0, 0},
      {5, 0, 0},   {3, 201, 1},      {kMax, kMax, 100},    {kMax - 1, kMax, 99},
      {kMax, 1, kMax}, {3000000000, 4000000000, 75},
  };
  for (const auto& c : cases) EXPECT_EQ(share(c.count, c.total), c.want) << c.count << " of " << c.total;
}

FailedTests table_of(std::initializer_list<TestSlot> slots) { return FailedTests{std::vector<TestSlot>(slots)}; }

TEST(ReportOrder, ByMessageFailsThenSlot) {
  const FailedTests table = table_of({{"A", 1, 9}, {"B", 3, 1}, {"C", 3, 5}, {"D", 0, 0}, {"E", 3, 0}});
  EXPECT_EQ(report_order(table), (std::vector<int>{1, 2, 4, 0, 3}));
  EXPECT_TRUE(report_order(FailedTests{}).empty());
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

const std::string kHeads =
    "\n                         \t  Message \t Recipient"
    "\n                Test Name\tFail Count %\tFail Count %\n";

// Four tests over three messages and four recipients: shares cut toward
// zero, equal message counts in slot order.
TEST(ReportLines, FourTestsOverThreeMessages) {
  const FailedTests table = table_of({{"TESTA", 2, 2}, {"TESTB", 1, 1}, {"TESTC", 1, 2}, {"TESTD", 1, 2}});
  EXPECT_EQ(joined(report_lines("dec0101.log", table, ScanTotals{4, 3})),
            "dec0101.log\n\n" + kHeads +
                "\n                    TESTA\t      2   66\t      2   50"
                "\n                    TESTB\t      1   33\t      1   25"
                "\n                    TESTC\t      1   33\t      2   50"
                "\n                    TESTD\t      1   33\t      2   50"
                "\n\n            Message Count\t      3     \t      4\n");
}

TEST(ReportLines, EdgesOfTheTable) {
  // Long names, big counts and shares over 100 push the row to the right.
  const std::string name(30, 'N');
  EXPECT_EQ(report_lines("x.log", table_of({{name, 12345678, 30000000000}}), ScanTotals{10000000000, 12345678})[3],
            "\n" + name + "\t12345678   100\t30000000000   300");
  EXPECT_EQ(report_lines("x.log", FailedTests{}, ScanTotals{10000000000, 12345678}).back(),
            "\n\n            Message Count\t12345678     \t10000000000\n");
}

}  // namespace
