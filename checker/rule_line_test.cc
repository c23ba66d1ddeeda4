#include "checker/rule_line.h"

#include <gtest/gtest.h>

namespace {

using K = RuleLineKind;
using R = InvalidReason;

// How the checker takes each line, and why lint calls it invalid: every line
// the checker takes as invalid has a reason, and no other line has one but a
// REDIRECT with fewer than three words, which is invalid only when acted on.
// The first kind that matches wins: STRICT, REDIRECT, NO DOMAIN, then rules.
TEST(RuleLine, KindAndInvalidReason) {
  struct Case {
    const char* line;
    RuleLineKind kind;
    InvalidReason why;
  } cases[] = {
      {"STRICT", K::Strict, R::None},
      {"WHITELIST SUBJECT CONTAINS STRICTLY PRIVATE", K::Strict, R::None},
      {" STRICT", K::Strict, R::None},  // STRICT counts anywhere, leading spaces too
      {"REDIRECT STRICT", K::Strict, R::None},
      {"REDIRECT @X C:\\R.QUORVANT", K::Redirect, R::None},
      {"WHITELIST FROM REDIRECT@X.COM", K::Redirect, R::None},
      {"REDIRECT @X.ORG", K::Redirect, R::ShortRedirect},
      {"  REDIRECT  ", K::Redirect, R::ShortRedirect},
      {"NO DOMAIN", K::NoDomain, R::None},
      {"BLACKLIST SUBJECT NO DOMAIN HERE", K::NoDomain, R::None},
      {"NO  DOMAIN", K::Invalid, R::UnknownKeyword},
      {"WHITELIST FROM JOE@EXAMPLE.COM", K::FromRule, R::None},
      {"BLACKLIST FROM @", K::FromRule, R::None},
      {"WHITELIST FROM JOE", K::Invalid, R::FromWithoutAt},
      {"WHITELIST FROM", K::Invalid, R::FromWithoutAt},
      {"WHITELIST  FROM JOE@EXAMPLE.COM", K::Invalid, R::Separator},
      {"BLACKLISTSUBJECT HELLO", K::Invalid, R::Separator},
      {"WHITELIST SUBJECT HELLO", K::SubjectRule, R::None},
      {"WHITELIST SUBJECT HI", K::Invalid, R::ShortSubject},
      {"WHITELIST SUBJECT CONTAINS HI", K::Invalid, R::ShortSubject},
      {"WHITELIST SUBJECT CONTAINS HELLO", K::SubjectRule, R::None},
      {"WHITELIST SUBJECT CONTAINS      ", K::SubjectRule, R::None},  // five spaces of text count
      {"WHITELIST SUBJECT CONTAINS     ", K::Invalid, R::ShortSubject},
      {"WHITELIST SUBJECT", K::Invalid, R::ShortSubject},
      {"WHITELIST TO A@B", K::Invalid, R::NoField},
      {"WHITELIST", K::Invalid, R::NoField},
      {"", K::Invalid, R::Empty},
      {"     ", K::Invalid, R::Empty},
      {" #X", K::Invalid, R::LeadingSpace},
      {" WHITELIST FROM A@B", K::Invalid, R::LeadingSpace},
      {" FOO", K::Invalid, R::UnknownKeyword},
      {"WHITLIST FROM A@B", K::Invalid, R::UnknownKeyword},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_rule_line(c.line), c.kind) << c.line;
    EXPECT_EQ(invalid_reason(c.line), c.why) << c.line;
  }
}

TEST(SplitRedirect, FirstThreeWordsAfterRunsOfSpaces) {
  RedirectWords w;
  ASSERT_TRUE(split_redirect("  REDIRECT   @X.ORG  C:\\A.QUORVANT  EXTRA", w));
  EXPECT_STREQ(w.keyword, "REDIRECT");
  EXPECT_STREQ(w.target, "@X.ORG");
  EXPECT_STREQ(w.file, "C:\\A.QUORVANT");
  EXPECT_FALSE(split_redirect("REDIRECT @X.ORG   ", w));
}

}  // namespace
