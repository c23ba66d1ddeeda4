#include "checker/rule_match.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(MatchRule, OccursAnywhereTests) {
  struct Case {
    const char* rule;
    const char* target;
    int expected;  // 1 whitelisted, 100 blacklisted, 0 no hit, -1 no field (FROM or SUBJECT) at all
  } cases[] = {
      {"WHITELIST FROM JOE@EXAMPLE.COM", "BIGJOE@EXAMPLE.COM", 1},
      {"WHITELIST FROM JOE@EXAMPLE.COM", "JOE@EXAMPLE.COM.EXAMPLE", 1},
      {"WHITELIST FROM JOE@EXAMPLE.COM", "JOE@MAIL.EXAMPLE.COM", 0},
      {"BLACKLIST FROM <SPAM@EXAMPLE.COM> OLD ENTRY", "SPAM@EXAMPLE.COM", 100},
      {"BLACKLIST FROM <SPAM@EXAMPLE.COM> OLD ENTRY", "OLD", 0},
      {"WHITELIST FROM A+B@EXAMPLE.COM", "B@EXAMPLE.COM", 1},
      {"WHITELIST FROM A@X.COM B@Y.COM", "A@X.COM", 0},  // only the last "@" counts
      {"WHITELIST FROM JOE", "JOE", 0},
      {"WHITELIST FROM @X", "", 0},
      {"WHITELIST-FROM J@X", "J@X", 1},  // the separator is not examined
      {"BLACKLIST SUBJECT FREE STUFF", "GET FREE STUFF NOW", 100},
      {"WHITELIST SUBJECT CONTAINS   HELLO  ", "SAY HELLO", 1},
      {"BLACKLIST SUBJECT CONTAINS CHEAP  STUFF", "CHEAP STUFF", 0},
      {"BLACKLIST SUBJECT CONTAINS CONTAINS ME", "ME", 0},  // the text follows the first CONTAINS
      {"BLACKLIST SUBJECT CONTAINS CONTAINS ME", "IT CONTAINS ME", 100},
      {"WHITELIST SUBJECT CONTAINS      ", "", 1},  // an empty text occurs everywhere
      {"WHITELIST SUBJECT", "ANYTHING", 1},
      {"WHITELIST SUBJECT HELLO", "hello", 0},  // both sides arrive upper case
      {"BLACKLIST SUBJECTX CONTAINS HELLO", "HELLO", 100},
      {"BLACKLIST  SUBJECT HELLO", "HELLO", -1},
      {"WHITELIST TO ANN@X", "ANN@X", -1},
      {"GREYLIST FROM A@B", "A@B", 0},
      {"", "", 0},
  };
  for (const Case& c : cases) {
    const Verdict verdict = match_rule(c.rule, c.target);
    EXPECT_EQ(verdict == Verdict::Whitelisted ? 1 : verdict == Verdict::Blacklisted ? 100 : 0, std::max(c.expected, 0))
        << c.rule << " / " << c.target;
    const RuleTest test = rule_test(c.rule);
    EXPECT_EQ(test.list != Verdict::None && test.field == RuleField::None, c.expected == -1) << c.rule;
  }
}

}  // namespace
