// The matcher against trying every text in turn (as the checker does, with a
// substring search per rule), on texts made to share prefixes and suffixes
// and to hold every byte value.
#include "admin/replay/text_matcher.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

int first_by_trying_each(const std::vector<std::pair<std::string, int>>& texts, const std::string& target) {
  int best = TextMatcher::kNone;
  for (const auto& [text, number] : texts)
    if (!text.empty() && target.find(text) != std::string::npos) best = std::min(best, number);
  return best;
}

std::string random_text(std::mt19937& random, std::size_t max) {
  static const std::string alphabet = "AB@.";
  std::string text(random() % (max + 1), 'A');
  for (char& c : text) c = random() % 8 ? alphabet[random() % alphabet.size()] : static_cast<char>(random() % 256);
  return text;
}

TEST(TextMatcher, AgreesWithTryingEachText) {
  std::mt19937 random(501);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::pair<std::string, int>> texts;
    const int n = static_cast<int>(random() % 30);
    for (int i = 0; i < n; ++i) texts.emplace_back(random_text(random, 6), static_cast<int>(random() % 40));
    const TextMatcher dense(texts), sparse(texts, 0);
    for (int i = 0; i < 20; ++i) {
      const std::string target = random_text(random, 40);
      ASSERT_EQ(dense.first(target), first_by_trying_each(texts, target)) << round;
      ASSERT_EQ(sparse.first(target), first_by_trying_each(texts, target)) << round;
    }
  }
}

TEST(TextMatcher, EveryByteValueInTexts) {
  std::vector<std::pair<std::string, int>> texts;
  for (int c = 0; c < 256; ++c) texts.emplace_back(std::string(1, static_cast<char>(c)) + "Z", c);
  for (const std::size_t dense_limit : {TextMatcher::kDenseLimit, std::size_t{0}}) {
    const TextMatcher matcher(texts, dense_limit);
    for (int c = 0; c < 256; ++c) {
      const std::string target = "ZZ" + std::string(1, static_cast<char>(c)) + "Z";
      ASSERT_EQ(matcher.first(target), std::min(c, static_cast<int>('Z'))) << c;
    }
  }
}

}  // namespace
