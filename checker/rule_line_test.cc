#include "checker/rule_line.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "checker/rule_match.h"
#include "checker/rule_reader.h"
#include "checker/testing/reference_rules.h"
#include "common/text.h"

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

// The checker reads a line in one pass (its keywords found from its "I"s,
// the field word at its place, the rule's text without copies); the plain
// reading, a library search for each word, must agree on every line made of
// the words and characters that matter, and so must the normalised text of
// any piece.
TEST(RuleLine, OnePassReadingAgreesWithThePlainOne) {
  const char* const parts[] = {"WHITELIST", "BLACKLIST", "WHITELIS", " ", " ", "  ", "FROM", "SUBJECT", "SUB",
                               "CONTAINS", "CONTAIN", "STRICT", "STRIC", "REDIRECT", "NO DOMAIN", "NO  DOMAIN",
                               "NO DOMAI", "I", "S", "@", "@@", "JOE", "X@Y.COM", ".", "-", "#", "<", ">", "A", "99"};
  std::mt19937 random(5);
  for (int round = 0; round < 20000; ++round) {
    std::string line = round % 3 == 0 ? "WHITELIST FROM " : round % 3 == 1 ? "BLACKLIST SUBJECT " : "";
    for (int n = static_cast<int>(random() % 9); n > 0; --n) line += parts[random() % std::size(parts)];
    if (random() % 8 == 0) line += std::string(random() % 120, 'Q');
    std::string target;
    for (int n = static_cast<int>(random() % 4); n > 0; --n) target += parts[random() % std::size(parts)];
    SCOPED_TRACE(line + " / " + target);
    ASSERT_EQ(classify_rule_line(line.c_str()), reference_classify_rule_line(line.c_str()));
    const RuleTest fast = rule_test(line.c_str()), plain = reference_rule_test(line.c_str());
    ASSERT_EQ(fast.list, plain.list);
    ASSERT_EQ(fast.field, plain.field);
    ASSERT_EQ(fast.usable, plain.usable);
    ASSERT_STREQ(fast.text, plain.text);
    const bool plain_hit = plain.usable && contains(target.c_str(), plain.text);
    ASSERT_EQ(match_rule(line.c_str(), target.c_str()), plain_hit ? plain.list : Verdict::None);

    char piece[kTextSize], raw[kTextSize], text[kTextSize], want[kTextSize];
    for (char& c : piece) c = static_cast<char>(random() % 4 ? "aZz{`@A~"[random() % 8] : random());
    const std::size_t size = random() % kTextSize;
    std::memcpy(want, piece, size);
    want[size] = '\0';
    normalise_line(want);
    const bool in_place = random() % 2;
    if (in_place) std::memcpy(raw, piece, kTextSize);
    ASSERT_EQ(take_piece(in_place ? raw : piece, size, raw, text), std::strlen(want));
    ASSERT_EQ(std::memcmp(raw, piece, size), 0);
    ASSERT_EQ(raw[size], '\0');
    ASSERT_STREQ(text, want);
  }
}

}  // namespace
