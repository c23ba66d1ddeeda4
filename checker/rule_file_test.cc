#include "checker/rule_file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "checker/rule_line.h"
#include "checker/testing/checker_scratch.h"
#include "common/text.h"

namespace {

struct EvalCase {
  const char* name;
  // Files below the scratch directory; the first is evaluated. In contents,
  // {D} stands for the scratch directory's path with its trailing backslash.
  std::vector<std::pair<std::string, std::string>> files;
  int expected;
  // The line that decided, as FILE:EDITOR_LINE/COUNTER and what it held
  // (FILE below the scratch directory); nullptr: not checked.
  const char* decided = nullptr;
  LogLevel level = LogLevel::Mid;
  // The expected log ({D} as above, {U} the same upper-cased); nullptr: not checked.
  const char* log = nullptr;
  std::string subject = "HELLO THERE";
  std::string sender = "JOE@EXAMPLE.COM";
  std::string recipient = "ANN@EXAMPLE.ORG";
};

void PrintTo(const EvalCase& c, std::ostream* os) { *os << c.name; }

std::string comment_lines(int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += "# filler\n";
  return out;
}

const char kHit[] = "BLACKLIST FROM @EXAMPLE.COM\n";

const std::vector<EvalCase> kEvalCases = {
    {"StrictThenWhitelistHit", {{"A", "STRICT\nWHITELIST FROM JOE@EXAMPLE.COM\n"}}, 1, "A:2/2 rule"},
    {"FirstHitWins", {{"A", "whitelist from joe@example.com\nBLACKLIST FROM @EXAMPLE.COM\n"}}, 1, "A:1/1 rule"},
    {"NoDomainThenStrict", {{"A", "NO DOMAIN\nSTRICT\n# after\n"}}, 100, "A:2/2 STRICT"},
    {"StrictThenNoDomain", {{"A", "STRICT\r\nNO DOMAIN\r\nBLACKLIST FROM @OTHER\r\n"}}, 200, "A:2/2 NO DOMAIN"},
    {"CommentInFirstColumnOnly", {{"A", "# STRICT\n #x\n"}}, 0, nullptr, LogLevel::Mid,
     "Invalid entry. File: {D}A Line: 2 Data: #X\r\n"},
    {"StrictInsideRule", {{"A", "WHITELIST SUBJECT CONTAINS STRICTLY PRIVATE\n"}}, 100},
    {"InvalidEntries", {{"A", "\n   \nwhitelist from joe\nWHITELIST FROM\tJOE@EXAMPLE.COM\n"}}, 0, nullptr, LogLevel::Mid,
     "Invalid entry. File: {D}A Line: 1 Data: \r\n"
     "Invalid entry. File: {D}A Line: 2 Data: \r\n"
     "Invalid entry. File: {D}A Line: 3 Data: WHITELIST FROM JOE\r\n"
     "Invalid entry. File: {D}A Line: 4 Data: WHITELIST FROM\r\n"},
    {"NinetyNineCharacterLineIsTwoPieces", {{"A", "#" + std::string(98, 'X') + "\nSTRICT\n"}}, 100, "A:2/3 STRICT",
     LogLevel::Mid, "Invalid entry. File: {D}A Line: 2 Data: \r\n"},
    {"LoneCarriageReturnStaysInTheLine", {{"A", "# a\r\n# b\rc\nSTRICT\n"}}, 100, "A:3/3 STRICT"},
    {"ZeroBytePieceIsCounted", {{"A", std::string("\0\nSTRICT\n", 9)}}, 100, "A:2/2 STRICT"},
    {"LongRuleContinuationIsInvalid",
     {{"A", "BLACKLIST SUBJECT " + std::string(81, 'Q') + "TAIL-OF-LINE\n"}}, 0, nullptr, LogLevel::Mid,
     "Invalid entry. File: {D}A Line: 2 Data: TAIL-OF-LINE\r\n"},
    {"RuleOnLine501Hits", {{"A", comment_lines(500) + kHit}}, 100},
    {"RuleOnLine502IsNotRead", {{"A", "STRICT\n" + comment_lines(500) + "WHITELIST FROM @EXAMPLE.COM\n"}}, 100},
    {"ZeroBytePieceAtLimitLetsOneMoreLineIn",
     {{"A", comment_lines(500) + std::string("\0\n", 2) + kHit}}, 100},
    {"EmptySubjectIsNotTested", {{"A", "WHITELIST SUBJECT CONTAINS      \n"}}, 0, nullptr, LogLevel::Debug,
     "Checking Rule File = {D}A\r\n", ""},
    {"EmptySenderIsNotTested", {{"A", "WHITELIST FROM @\n"}}, 0, nullptr, LogLevel::Debug,
     "Checking Rule File = {D}A\r\n", "HELLO", ""},
    {"NoRuleHits", {{"A", "WHITELIST FROM @ELSEWHERE\n"}}, 0, ":0/0 nothing"},
    {"MissingFile", {{"B", kHit}}, 0, ":0/0 nothing"},
    {"DomainRedirectInsideRecipient", {{"A", "REDIRECT @EXAMPLE.COM {D}B\n"}, {"B", kHit}}, 100, nullptr,
     LogLevel::Low, "found as domain\r\nmatched domain\r\n", "S", "JOE@EXAMPLE.COM", "JOE@EXAMPLE.COM.EXAMPLE"},
    {"DomainRedirectNotApplying", {{"A", "REDIRECT @OTHER.EXAMPLE {D}B\nSTRICT\n"}, {"B", "NO DOMAIN\n"}}, 100,
     nullptr, LogLevel::Low, "found as domain\r\n"},
    {"AddressRedirectIsPrefix", {{"A", "REDIRECT   JOE  {D}B  \n"}, {"B", kHit}}, 100, nullptr, LogLevel::Mid,
     nullptr, "S", "JOE@EXAMPLE.COM", "JOEY@EXAMPLE.COM"},
    {"AddressRedirectNotInside", {{"A", "REDIRECT JOE {D}B\n"}, {"B", kHit}}, 0, nullptr, LogLevel::Low, "", "S",
     "JOE@EXAMPLE.COM", "BILLY.JOE@EXAMPLE.COM"},
    {"RedirectEndsTheFile", {{"A", "REDIRECT ANN@EXAMPLE.ORG {D}MISSING\nSTRICT\n"}}, 0},
    {"RedirectToMissingAfterNoDomain", {{"A", "NO DOMAIN\nREDIRECT ANN {D}MISSING\n"}}, 200},
    {"RedirectTargetZeroKeepsFallBack", {{"A", "NO DOMAIN\nREDIRECT ANN {D}B\n"}, {"B", "# nothing\n"}}, 200,
     "A:1/1 NO DOMAIN"},
    {"RedirectTargetStops", {{"A", "REDIRECT ANN {D}B\n"}, {"B", "NO DOMAIN\n"}}, 200, "B:1/1 NO DOMAIN"},
    {"StrictBeforeRedirect", {{"A", "STRICT\nREDIRECT ANN {d}b\nWHITELIST FROM @EXAMPLE.COM\n"}, {"B", kHit}},
     200, "A:2/2 REDIRECT after STRICT", LogLevel::Mid, "Invalid REDIRECT with STRICT.  File = {U}B  Line=2\r\n"},
    {"StrictNoDomainRedirect", {{"A", "STRICT\nNO DOMAIN\nREDIRECT ANN {D}B\n"}, {"B", "WHITELIST SUBJECT HELLO\n"}},
     1},
    {"StrictThenRedirectNotApplying", {{"A", "STRICT\nREDIRECT BOB {D}B\n"}, {"B", "NO DOMAIN\n"}}, 100},
    {"Chain", {{"A", "REDIRECT ANN {D}B\n"}, {"B", "\nREDIRECT @EXAMPLE {D}C\n"}, {"C", "#\n" + std::string(kHit)}},
     100, "C:2/2 rule"},
    {"ShortRedirectIsInvalid", {{"A", "REDIRECT @EXAMPLE.ORG\nSTRICT\n"}}, 100, nullptr, LogLevel::Mid,
     "Invalid entry. File: {D}A Line: 1 Data: REDIRECT @EXAMPLE.ORG\r\n"},
    {"FromRuleWithRedirectInAddress", {{"A", "WHITELIST FROM REDIRECT@EXAMPLE.COM\n"}}, 0, nullptr, LogLevel::Mid, "",
     "S", "REDIRECT@EXAMPLE.COM"},
    {"LoopEnds", {{"A", "REDIRECT ANN {D}A\n"}}, 0, nullptr, LogLevel::Mid,
     "REDIRECT chain too deep.  File = {U}A  Line=1\r\n"},
    {"LoopAfterNoDomain", {{"A", "NO DOMAIN\nREDIRECT ANN {D}A\n"}}, 200, "A:1/1 NO DOMAIN"},
};

const char* by_name(DecidedBy by) {
  switch (by) {
    case DecidedBy::Nothing: return "nothing";
    case DecidedBy::Rule: return "rule";
    case DecidedBy::Strict: return "STRICT";
    case DecidedBy::NoDomain: return "NO DOMAIN";
    case DecidedBy::RedirectAfterStrict: return "REDIRECT after STRICT";
  }
  return "?";
}

class EvaluateRuleFile : public CheckerScratch, public testing::WithParamInterface<EvalCase> {
 protected:
  std::string fill(std::string text) const {
    std::string upper = path("");
    upper_case_text(upper.data());
    for (auto [mark, value] : {std::pair{"{d}", path("")}, {"{U}", upper}})
      for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, 3, value);
    return with_dir(text);
  }
};

TEST_P(EvaluateRuleFile, GivesResultDecidingLineAndLog) {
  const EvalCase& c = GetParam();
  for (const auto& [name, content] : c.files) write_file(name, fill(content));
  LogTrace log = trace(c.level);
  DiskRuleSource files;
  const RuleInputs in{c.subject.c_str(), c.sender.c_str(), c.recipient.c_str()};
  const RuleDecision d = evaluate_rule_file(path("A").c_str(), in, files, log);
  EXPECT_EQ(static_cast<int>(d.result), c.expected);
  if (c.decided) {
    std::string file = d.file;
    for (const std::string& prefix : {path(""), fill("{U}")})  // a REDIRECT names its file in upper case
      if (file.rfind(prefix, 0) == 0) file = file.substr(prefix.size());
    EXPECT_EQ(file + ":" + std::to_string(d.editor_line) + "/" + std::to_string(d.counter) + " " + by_name(d.by),
              c.decided);
  }
  if (c.log) {
    EXPECT_EQ(log_text(), fill(c.log));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, EvaluateRuleFile, testing::ValuesIn(kEvalCases));

class RedirectDepth : public CheckerScratch {};

TEST_F(RedirectDepth, SixteenNestedEvaluationsAreFollowed) {
  // A0 redirects to A1 and so on; A16 is evaluated, its REDIRECT to A17 is not.
  const auto name = [](int i) { return std::string("A").append(std::to_string(i)); };
  for (int i = 0; i <= 17; ++i) write_file(name(i), "REDIRECT ANN " + path(name(i + 1)) + "\n");
  write_file("A17", kHit);
  CheckObserver quiet;
  DiskRuleSource files;
  const RuleInputs in{"S", "JOE@EXAMPLE.COM", "ANN@X"};
  EXPECT_EQ(evaluate_rule_file(path("A0").c_str(), in, files, quiet).result, RuleResult::NothingDecided);
  write_file("A16", kHit);
  EXPECT_EQ(evaluate_rule_file(path("A0").c_str(), in, files, quiet).result, RuleResult::Blacklisted);
}

}  // namespace
