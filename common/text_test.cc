#include "common/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using Op = char* (*)(char*);

struct InPlaceCase {
  const char* name;
  Op op;
  std::string input;
  std::string expected;
};

void PrintTo(const InPlaceCase& c, std::ostream* os) { *os << c.name; }

class InPlace : public testing::TestWithParam<InPlaceCase> {};

TEST_P(InPlace, GivesExpectedText) {
  const InPlaceCase& c = GetParam();
  char buf[600];
  std::memcpy(buf, c.input.c_str(), c.input.size() + 1);
  EXPECT_EQ(std::string(c.op(buf)), c.expected);
}

const std::string k250Spaces(250, ' ');

INSTANTIATE_TEST_SUITE_P(
    TextOps, InPlace,
    testing::Values(
        InPlaceCase{"UpperAsciiOnly", upper_case_text, "abz AZ\xe9\x7f{`", "ABZ AZ\xe9\x7f{`"},
        InPlaceCase{"CutAtTab", cut_at_control_char, "A\tB\n", "A"},
        InPlaceCase{"CutKeepsHighBytes", cut_at_control_char, "A\x7f\x80\xff", "A\x7f\x80\xff"},
        InPlaceCase{"CutAtByte31", cut_at_control_char, "AB\x1f" "C", "AB"},
        InPlaceCase{"NormaliseCrLf", normalise_line, "From: Joe\r\n", "FROM: JOE"},
        InPlaceCase{"TrimBothEnds", trim_spaces, "  AB ", "AB"},
        InPlaceCase{"TrimOnlySpaces", trim_spaces, "    ", ""},
        InPlaceCase{"TrimEmpty", trim_spaces, "", ""},
        InPlaceCase{"TrimLeavesTabs", trim_spaces, "\t A \t", "\t A \t"},
        InPlaceCase{"TrimStopsAfter201Leading", trim_spaces, k250Spaces + "X", std::string(49, ' ') + "X"},
        InPlaceCase{"TrimStopsAfter201Trailing", trim_spaces, "X" + k250Spaces, "X" + std::string(49, ' ')},
        InPlaceCase{"DirOfExe", directory_part, "C:\\FILTER\\CHECK.EXE", "C:\\FILTER\\"},
        InPlaceCase{"DirOfDir", directory_part, "C:\\FILTER\\", "C:\\FILTER\\"},
        InPlaceCase{"DirOfBareName", directory_part, "CHECK.EXE", ""},
        InPlaceCase{"DirIgnoresSlash", directory_part, "C:/FILTER/CHECK.EXE", ""},
        InPlaceCase{"AddrAngle", extract_address, "S<JOE@EXAMPLE.COM>", "JOE@EXAMPLE.COM"},
        InPlaceCase{"AddrWithName", extract_address, "FROM: JOE SMITH <J.SMITH@EXAMPLE.COM> (ANYTHING)",
                    "J.SMITH@EXAMPLE.COM"},
        InPlaceCase{"AddrPlusStops", extract_address, "TO: A+B@EXAMPLE.COM", "B@EXAMPLE.COM"},
        InPlaceCase{"AddrLastAt", extract_address, "FROM: X@Y@EXAMPLE.COM", "Y@EXAMPLE.COM"},
        InPlaceCase{"AddrDomainOnly", extract_address, "WHITELIST FROM @EXAMPLE.COM", "@EXAMPLE.COM"},
        InPlaceCase{"AddrNoDomain", extract_address, "R<JOE@>", "JOE@"},
        InPlaceCase{"AddrNoAt", extract_address, "FROM: NOBODY", "~BAD"},
        InPlaceCase{"AddrEmpty", extract_address, "", "~BAD"},
        InPlaceCase{"AddrFirstCharNeverTaken", extract_address, "JOE@EXAMPLE.COM", "OE@EXAMPLE.COM"},
        InPlaceCase{"AddrAtFirst", extract_address, "@X", "@X"},
        InPlaceCase{"AddrAtSecond", extract_address, "J@X", "@X"},
        InPlaceCase{"AddrLowerCaseIsNotAddress", extract_address, "S<joe@example.com>", "@"},
        InPlaceCase{"AddrMarks", extract_address, "S<A.B-C_D=E!F#G%H*@X>", "A.B-C_D=E!F#G%H*@X"}),
    [](const testing::TestParamInfo<InPlaceCase>& info) { return std::string(info.param.name); });

TEST(ExtractAddress, EndsTheBufferAfterTheAddress) {
  char buf[32] = "S<JOE@EXAMPLE.COM>";
  char* address = extract_address(buf);
  EXPECT_EQ(address, buf + 2);
  EXPECT_STREQ(buf, "S<JOE@EXAMPLE.COM");
}

TEST(ExtractAddress, FitsFiveByteBufferWithoutAt) {
  char buf[5] = "ABCD";
  EXPECT_STREQ(extract_address(buf), "~BAD");
}

TEST(Queries, PositionsCountFromZeroAndUseFirstOccurrence) {
  EXPECT_EQ(position_of("WHITELIST FROM X", "FROM"), 10);
  EXPECT_EQ(position_of("ABC", "X"), -1);
  EXPECT_TRUE(stands_at("WHITELIST FROM FROM", "FROM", 10));
  EXPECT_FALSE(stands_at("FROM  WHITE FROM", "FROM", 12));
  EXPECT_TRUE(begins_with("STRICT", "STR"));
  EXPECT_FALSE(begins_with("ST", "STR"));
  EXPECT_TRUE(contains("NO DOMAIN HERE", "NO DOMAIN"));
}

TEST(CopyText, CutsToCapacity) {
  char buf[4];
  copy_text(buf, sizeof buf, "ABCDEF");
  EXPECT_STREQ(buf, "ABC");
  copy_text(buf, sizeof buf, "");
  EXPECT_STREQ(buf, "");
}

}  // namespace
