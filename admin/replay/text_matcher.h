// Finds, among many texts, the first one (the lowest number) that occurs
// anywhere in a target: an Aho-Corasick automaton, so a target is read once
// whatever the number of texts.
#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class TextMatcher {
 public:
  static constexpr int kNone = INT_MAX;

  // Each text with its number; empty texts are never found (they occur
  // everywhere: the caller handles them).
  explicit TextMatcher(const std::vector<std::pair<std::string, int>>& texts);

  // The lowest number of a text that occurs in target, or kNone.
  int first(std::string_view target) const {
    return next16_.empty() ? pass(next_.data(), target) : pass(next16_.data(), target);
  }

  std::size_t bytes() const;
  // At most the memory a matcher of these texts takes while it is made:
  // its tables grow with the texts' bytes times the different bytes in them.
  static std::size_t estimated_bytes(const std::vector<std::pair<std::string, int>>& texts);

 private:
  template <typename State>
  int pass(const State* next, std::string_view target) const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(target.data());
    const unsigned char* const end = p + target.size();
    std::uint32_t state = 0;
    int best = kNone;
    while (p != end) {
      // At the root, bytes that begin no text are passed over quickly.
      if (state == 0) {
        while (!starts_[*p])
          if (++p == end) return best;
      }
      state = next[state * classes_ + class_of_[*p++]];
      if (state >= first_found_ && found_[state - first_found_] < best) best = found_[state - first_found_];
    }
    return best;
  }

  std::array<std::uint8_t, 256> class_of_{};
  std::array<bool, 256> starts_{};  // bytes that lead away from the root  // bytes that no text holds share class 0
  std::uint32_t classes_ = 1;
  // state * classes_ + class -> state; in 16 bits when the states allow.
  std::vector<std::uint32_t> next_;
  std::vector<std::uint16_t> next16_;
  // States from first_found_ on end at least one text: found_ holds the
  // lowest number among the texts that end there.
  std::uint32_t first_found_ = 0;
  std::vector<int> found_;
};
