#include "common/text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>

namespace {

using Op = char* (*)(char*);

const std::string k250Spaces(250, ' ');

TEST(TextOps, GiveExpectedText) {
  const struct {
    const char* name;
    Op op;
    std::string input, expected;
  } cases[] = {
      {"UpperAsciiOnly", upper_case_text, "abz AZ\xe9\x7f{`", "ABZ AZ\xe9\x7f{`"},
      {"CutAtTab", cut_at_control_char, "A\tB\n", "A"},
      {"CutKeepsHighBytes", cut_at_control_char, "A\x7f\x80\xff", "A\x7f\x80\xff"},
      {"CutAtByte31", cut_at_control_char, "AB\x1f" "C", "AB"},
      {"NormaliseCrLf", normalise_line, "From: Joe\r\n", "FROM: JOE"},
      {"TrimBothEnds", trim_spaces, "  AB ", "AB"},
      {"TrimOnlySpaces", trim_spaces, "    ", ""},
      {"TrimLeavesTabs", trim_spaces, "\t A \t", "\t A \t"},
      {"TrimStopsAfter201Leading", trim_spaces, k250Spaces + "X", std::string(49, ' ') + "X"},
      {"TrimStopsAfter201Trailing", trim_spaces, "X" + k250Spaces, "X" + std::string(49, ' ')},
      {"DirOfExe", directory_part, "C:\\FILTER\\CHECK.EXE", "C:\\FILTER\\"},
      {"DirOfBareName", directory_part, "CHECK.EXE", ""},
      {"DirIgnoresSlash", directory_part, "C:/FILTER/CHECK.EXE", ""},
      {"AddrWithName", extract_address, "FROM: JOE SMITH <J.SMITH@EXAMPLE.COM> (ANYTHING)",
       "J.SMITH@EXAMPLE.COM"},
      {"AddrPlusStops", extract_address, "TO: A+B@EXAMPLE.COM", "B@EXAMPLE.COM"},
      {"AddrLastAt", extract_address, "FROM: X@Y@EXAMPLE.COM", "Y@EXAMPLE.COM"},
      {"AddrDomainOnly", extract_address, "WHITELIST FROM @EXAMPLE.COM", "@EXAMPLE.COM"},
      {"AddrNoDomain", extract_address, "R<JOE@>", "JOE@"},
      {"AddrNoAt", extract_address, "FROM: NOBODY", "~BAD"},
      {"AddrFirstCharNeverTaken", extract_address, "JOE@EXAMPLE.COM", "OE@EXAMPLE.COM"},
      {"AddrAtFirst", extract_address, "@X", "@X"},
      {"AddrLowerCaseIsNotAddress", extract_address, "S<joe@example.com>", "@"},
      {"AddrMarks", extract_address, "S<A.B-C_D=E!F#G%H*@X>", "A.B-C_D=E!F#G%H*@X"},
  };
  for (const auto& c : cases) {
    char buf[600];
    std::memcpy(buf, c.input.c_str(), c.input.size() + 1);
    EXPECT_EQ(std::string(c.op(buf)), c.expected) << c.name;
  }
}

// The set written out, not built the way the table is.
TEST(AddressChars, AreCapitalsDigitsAndEightMarks) {
  const std::string set = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_=!#%*";
  for (int c = 0; c < 256; ++c)
    EXPECT_EQ(is_address_char(static_cast<unsigned char>(c)), set.find(static_cast<char>(c)) != std::string::npos) << c;
}

std::string joined(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) text += part;
  return text;
}

// Runs longer than the sixteen bytes looked at together, and runs that end
// within them, on both sides of the "@".
TEST(ExtractAddress, RunsOfAnyLength) {
  const std::string a32(32, 'A'), a40(40, 'A'), b16(16, 'B'), b37(37, 'B'), d20(20, 'D'), spaces(20, ' ');
  const struct {
    std::string input, expected;
  } cases[] = {
      {joined({"FROM <", a40, "@", b37, ">"}), joined({a40, "@", b37})},
      {joined({a32, "@", b16}), joined({a32.substr(1), "@", b16})},  // never the first character
      {joined({"X", spaces, "Q+A.B@C", d20, "[E]"}), joined({"A.B@C", d20})},
  };
  for (const auto& c : cases) {
    std::string buffer = c.input;
    EXPECT_EQ(std::string(extract_address(buffer.data())), c.expected) << c.input;
  }
}

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
