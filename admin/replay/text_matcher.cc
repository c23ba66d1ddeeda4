#include "admin/replay/text_matcher.h"

#include <algorithm>
#include <deque>

TextMatcher::TextMatcher(const std::vector<std::pair<std::string, int>>& texts, std::size_t dense_limit) {
  if (estimated_bytes(texts) > dense_limit) {
    build_sparse(texts);
    return;
  }
  std::array<bool, 256> used{};
  for (const auto& [text, number] : texts)
    for (const char c : text) used[static_cast<unsigned char>(c)] = true;
  if (std::count(used.begin(), used.end(), true) < 256) {
    for (int c = 0; c < 256; ++c)
      if (used[c]) class_of_[c] = static_cast<std::uint8_t>(classes_++);
  } else {
    // Every byte occurs: no class is left for the rest.
    classes_ = 256;
    for (int c = 0; c < 256; ++c) class_of_[c] = static_cast<std::uint8_t>(c);
  }

  // The trie.
  std::vector<std::uint32_t> go(classes_, 0);  // 0 under the root: no edge yet
  std::vector<int> ends(1, kNone);
  for (const auto& [text, number] : texts) {
    if (text.empty()) continue;
    std::uint32_t state = 0;
    for (const char c : text) {
      const std::uint32_t cls = class_of_[static_cast<unsigned char>(c)];
      std::uint32_t& edge = go[state * classes_ + cls];
      if (edge == 0) {
        edge = static_cast<std::uint32_t>(ends.size());
        ends.push_back(kNone);
        go.resize(go.size() + classes_, 0);
      }
      state = go[state * classes_ + cls];
    }
    ends[state] = std::min(ends[state], number);
  }
  const std::uint32_t states = static_cast<std::uint32_t>(ends.size());

  // Breadth first: each state's missing edges and its texts come from its
  // longest proper suffix that is a state too.
  std::vector<std::uint32_t> suffix(states, 0);
  std::vector<std::uint32_t> order;
  order.reserve(states);
  std::deque<std::uint32_t> queue;
  for (std::uint32_t c = 0; c < classes_; ++c)
    if (go[c] != 0) queue.push_back(go[c]);
  while (!queue.empty()) {
    const std::uint32_t s = queue.front();
    queue.pop_front();
    order.push_back(s);
    ends[s] = std::min(ends[s], ends[suffix[s]]);
    for (std::uint32_t c = 0; c < classes_; ++c) {
      std::uint32_t& edge = go[s * classes_ + c];
      const std::uint32_t fallback = go[suffix[s] * classes_ + c];
      if (edge != 0) {
        suffix[edge] = fallback;
        queue.push_back(edge);
      } else {
        edge = fallback;
      }
    }
  }

  // Number the states so that those that end a text come last.
  std::vector<std::uint32_t> renumber(states);
  std::uint32_t n = 0;
  for (std::uint32_t s = 0; s < states; ++s)
    if (ends[s] == kNone) renumber[s] = n++;
  first_found_ = n;
  for (std::uint32_t s = 0; s < states; ++s)
    if (ends[s] != kNone) renumber[s] = n++;
  // In 16 bits when the states allow: half the table's size keeps more of it
  // in the caches (and it is made without a wider copy first).
  const std::size_t cells = static_cast<std::size_t>(states) * classes_;
  if (states <= 0x10000)
    next16_.assign(cells, 0);
  else
    next_.assign(cells, 0);
  found_.assign(states - first_found_, kNone);
  for (std::uint32_t s = 0; s < states; ++s) {
    for (std::uint32_t c = 0; c < classes_; ++c) {
      const std::uint32_t to = renumber[go[s * classes_ + c]];
      if (next16_.empty())
        next_[renumber[s] * classes_ + c] = to;
      else
        next16_[renumber[s] * classes_ + c] = static_cast<std::uint16_t>(to);
    }
    if (ends[s] != kNone) found_[renumber[s] - first_found_] = ends[s];
  }
  for (int c = 0; c < 256; ++c)
    starts_[c] = (next16_.empty() ? next_[class_of_[c]] : next16_[class_of_[c]]) != 0;
}

std::size_t TextMatcher::estimated_bytes(const std::vector<std::pair<std::string, int>>& texts) {
  std::array<bool, 256> used{};
  std::size_t states = 1;
  for (const auto& [text, number] : texts) {
    states += text.size();
    for (const char c : text) used[static_cast<unsigned char>(c)] = true;
  }
  const std::size_t classes = std::min<std::size_t>(256, 1 + std::count(used.begin(), used.end(), true));
  // The trie's table of 32-bit states while it is made, and the one kept.
  return states * classes * (4 + (states <= 0x10000 ? 2 : 4));
}

void TextMatcher::build_sparse(const std::vector<std::pair<std::string, int>>& texts) {
  // The trie, each state's edges in the order they were made.
  std::vector<std::vector<std::pair<std::uint8_t, std::uint32_t>>> edges(1);
  std::vector<int> ends(1, kNone);
  auto child = [&](std::uint32_t state, std::uint8_t byte) -> std::uint32_t {
    for (const auto& [b, to] : edges[state])
      if (b == byte) return to;
    return 0;
  };
  for (const auto& [text, number] : texts) {
    if (text.empty()) continue;
    std::uint32_t state = 0;
    for (const char c : text) {
      const auto byte = static_cast<std::uint8_t>(c);
      std::uint32_t to = child(state, byte);
      if (to == 0) {
        to = static_cast<std::uint32_t>(ends.size());
        edges[state].emplace_back(byte, to);
        edges.emplace_back();
        ends.push_back(kNone);
      }
      state = to;
    }
    ends[state] = std::min(ends[state], number);
  }
  // Breadth first: each state's failure link is its longest proper suffix
  // that is a state too, and it ends the texts that one ends.
  const std::size_t states = ends.size();
  fail_.assign(states, 0);
  std::deque<std::uint32_t> queue;
  for (const auto& [byte, to] : edges[0]) queue.push_back(to);
  while (!queue.empty()) {
    const std::uint32_t s = queue.front();
    queue.pop_front();
    ends[s] = std::min(ends[s], ends[fail_[s]]);
    for (const auto& [byte, to] : edges[s]) {
      std::uint32_t f = fail_[s];
      while (f != 0 && child(f, byte) == 0) f = fail_[f];
      const std::uint32_t next = child(f, byte);
      fail_[to] = next == to ? 0 : next;
      queue.push_back(to);
    }
  }
  first_edge_.assign(states + 1, 0);
  for (std::size_t s = 0; s < states; ++s) {
    std::sort(edges[s].begin(), edges[s].end());
    first_edge_[s + 1] = first_edge_[s] + static_cast<std::uint32_t>(edges[s].size());
    for (const auto& [byte, to] : edges[s]) {
      edge_byte_.push_back(byte);
      edge_to_.push_back(to);
    }
    std::vector<std::pair<std::uint8_t, std::uint32_t>>().swap(edges[s]);
  }
  for (std::uint32_t e = first_edge_[0]; e < first_edge_[1]; ++e) root_[edge_byte_[e]] = edge_to_[e];
  sparse_found_ = std::move(ends);
}

int TextMatcher::sparse_pass(std::string_view target) const {
  int best = kNone;
  std::uint32_t state = 0;
  for (const char c : target) {
    const auto byte = static_cast<std::uint8_t>(c);
    for (;;) {
      if (state == 0) {
        state = root_[byte];
        break;
      }
      const auto* begin = edge_byte_.data() + first_edge_[state];
      const auto* end = edge_byte_.data() + first_edge_[state + 1];
      const auto* at = std::lower_bound(begin, end, byte);
      if (at != end && *at == byte) {
        state = edge_to_[static_cast<std::size_t>(at - edge_byte_.data())];
        break;
      }
      state = fail_[state];
    }
    best = std::min(best, sparse_found_[state]);
  }
  return best;
}

std::size_t TextMatcher::bytes() const {
  return sizeof *this + next_.size() * sizeof next_[0] + next16_.size() * sizeof next16_[0] +
         found_.size() * sizeof found_[0] +
         (first_edge_.size() + fail_.size() + edge_to_.size()) * sizeof(std::uint32_t) + edge_byte_.size() +
         sparse_found_.size() * sizeof(int);
}
