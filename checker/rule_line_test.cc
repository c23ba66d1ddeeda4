#include "checker/rule_line.h"

#include <gtest/gtest.h>

namespace {

using K = RuleLineKind;

TEST(ClassifyRuleLine, FirstMatchingKindWins) {
  struct Case {
    const char* line;
    RuleLineKind kind;
  } cases[] = {
      {"STRICT", K::Strict},
      {"WHITELIST SUBJECT CONTAINS STRICTLY PRIVATE", K::Strict},
      {"REDIRECT @X C:\\R.QUORVANT", K::Redirect},
      {"WHITELIST FROM REDIRECT@X.COM", K::Redirect},
      {"REDIRECT STRICT", K::Strict},
      {"NO DOMAIN", K::NoDomain},
      {"BLACKLIST SUBJECT NO DOMAIN HERE", K::NoDomain},
      {"NO  DOMAIN", K::Invalid},
      {"WHITELIST FROM JOE@EXAMPLE.COM", K::FromRule},
      {"BLACKLIST FROM @", K::FromRule},
      {"WHITELIST FROM JOE", K::Invalid},
      {"WHITELIST  FROM JOE@EXAMPLE.COM", K::Invalid},
      {"WHITELIST FROM", K::Invalid},
      {"WHITELIST SUBJECT HELLO", K::SubjectRule},
      {"WHITELIST SUBJECT HI", K::Invalid},
      {"WHITELIST SUBJECT CONTAINS HI", K::Invalid},
      {"WHITELIST SUBJECT CONTAINS HELLO", K::SubjectRule},
      {"WHITELIST SUBJECT CONTAINS      ", K::SubjectRule},  // five spaces of text count
      {"WHITELIST SUBJECT CONTAINS     ", K::Invalid},
      {"WHITELIST SUBJECT", K::Invalid},
      {"WHITELIST TO A@B", K::Invalid},
      {"", K::Invalid},
      {" WHITELIST FROM A@B", K::Invalid},
  };
  for (const Case& c : cases) EXPECT_EQ(classify_rule_line(c.line), c.kind) << c.line;
}

using R = InvalidReason;

// Every line the checker takes as invalid has a reason, and no other line
// has one; a REDIRECT with fewer than three words is the one kind that is
// invalid only when acted on.
TEST(InvalidReason, SaysWhyExactlyForInvalidLines) {
  struct Case {
    const char* line;
    InvalidReason why;
  } cases[] = {
      {"", R::Empty},
      {"     ", R::Empty},
      {" #X", R::LeadingSpace},
      {"  WHITELIST FROM A@B", R::LeadingSpace},
      {" FOO", R::UnknownKeyword},
      {"WHITLIST FROM A@B", R::UnknownKeyword},
      {"WHITELIST  FROM A@B", R::Separator},
      {"BLACKLISTSUBJECT HELLO", R::Separator},
      {"WHITELIST TO A@B", R::NoField},
      {"WHITELIST", R::NoField},
      {"WHITELIST FROM JOE", R::FromWithoutAt},
      {"WHITELIST SUBJECT HI", R::ShortSubject},
      {"WHITELIST SUBJECT CONTAINS     ", R::ShortSubject},
      {"REDIRECT @X.ORG", R::ShortRedirect},
      {"  REDIRECT  ", R::ShortRedirect},
      {"REDIRECT @X.ORG C:\\R.QUORVANT", R::None},
      {"WHITELIST FROM A@B", R::None},
      {"WHITELIST SUBJECT HELLO", R::None},
      {" STRICT", R::None},  // STRICT counts anywhere, leading spaces too
      {"NO DOMAIN", R::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(invalid_reason(c.line), c.why) << c.line;
    const bool invalid = classify_rule_line(c.line) == RuleLineKind::Invalid;
    EXPECT_EQ(invalid, c.why != R::None && c.why != R::ShortRedirect) << c.line;
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
