#include "analyser/number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(ReadNumber, FollowsScanfPercentI) {
  const struct {
    const char* text;
    std::int32_t want;
  } cases[] = {
      {"500", 500},        {"+5", 5},          {"-5", -5},           {"  12", 12},
      {"\t\v7", 7},        {"0x10", 16},       {"0X1f", 31},         {"-0x10", -16},
      {"010", 8},          {"08", 0},          {"019", 1},           {"0", 0},
      {"2004\\cfg", 2004}, {"12abc", 12},      {"1e5", 1},           {"c:\\declude", 0},
      {"", 0},             {"-", 0},           {"+-1", 0},           {"0x", 0},
      {"0xg", 0},          {"x10", 0},         {"- 5", 0},           {"global.cfg", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(read_number(c.text), c.want) << "text: " << c.text;
}

TEST(ReadNumber, ClampsToTheNearest32BitLimit) {
  const struct {
    const char* text;
    std::int32_t want;
  } cases[] = {
      {"2147483647", kMax},   {"2147483648", kMax},  {"99999999999", kMax},
      {"-2147483648", kMin},  {"-2147483649", kMin}, {"-99999999999", kMin},
      {"0xFFFFFFFF", kMax},   {"0x7fffffff", kMax},  {"0x80000000", kMax},
      {"-0x80000000", kMin},  {"037777777777", kMax},
      {"123456789012345678901234567890", kMax},
      {"-0xFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", kMin},
  };
  for (const auto& c : cases) EXPECT_EQ(read_number(c.text), c.want) << "text: " << c.text;
}

}  // namespace
