// Finds, among many texts, the first one (the lowest number) that occurs
// anywhere in a target: an Aho-Corasick automaton, so a target is read once
// whatever the number of texts. Its transitions are one table (a state and a
// byte class give the next state) while the table stays within a limit;
// texts that would need a larger one (many long texts of many different
// bytes) get an automaton that keeps only the trie's edges and follows
// failure links, in memory proportional to the texts' bytes.
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
  // dense_limit: at most this much memory while the table is made (see
  // estimated_bytes), else the sparse form.
  explicit TextMatcher(const std::vector<std::pair<std::string, int>>& texts,
                       std::size_t dense_limit = kDenseLimit);

  static constexpr std::size_t kDenseLimit = 6u << 20;

  // The lowest number of a text that occurs in target, or kNone.
  int first(std::string_view target) const {
    if (!sparse_found_.empty()) return sparse_pass(target);
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

  void build_sparse(const std::vector<std::pair<std::string, int>>& texts);
  int sparse_pass(std::string_view target) const;

  // The sparse form: state s's edges are edge_byte_/edge_to_ from
  // first_edge_[s] to first_edge_[s + 1], sorted by byte; the root's in a
  // table of all bytes.
  std::vector<std::uint32_t> first_edge_, fail_, edge_to_;
  std::vector<std::uint8_t> edge_byte_;
  std::vector<int> sparse_found_;  // by state: the lowest number of a text ending there
  std::array<std::uint32_t, 256> root_{};

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
