// The names counted most in a stream too varied to count every name: a
// Space-Saving summary of a fixed number of names. A name not kept takes the
// place of the one counted least, whose count it inherits as its possible
// error. So for every name of the stream:
//   - a name kept was counted at least count - error times, at most count;
//   - a name not kept was counted at most bound() times, and every error is
//     at most bound(), the least count kept.
// Each name costs one hash lookup and a step or two in a heap of the counts;
// memory is fixed by the number of names kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class HeavyHitters {
 public:
  explicit HeavyHitters(std::size_t names);

  void add(std::string_view name, std::uint64_t hash);

  struct Kept {
    std::string_view name;
    std::uint64_t count;  // at least as often as the name was met
    std::uint64_t error;  // and at most this many times more
  };
  std::vector<Kept> kept() const;
  // The least count kept once the summary is full, else 0: no name left out
  // was met more often, no error is larger.
  std::uint64_t bound() const;

 private:
  struct Entry {
    std::string name;
    std::uint64_t hash = 0;
    std::uint64_t count = 0;
    std::uint64_t error = 0;
    std::uint32_t heap_at = 0;  // where it stands in heap_
  };
  static constexpr std::uint32_t kEmpty = UINT32_MAX;

  std::size_t find(std::string_view name, std::uint64_t hash) const;  // its slot in index_
  void unindex(std::size_t slot);
  void sift_down(std::uint32_t at);
  void sift_up(std::uint32_t at);
  void swap_places(std::uint32_t a, std::uint32_t b);

  std::size_t capacity_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> heap_;   // entry numbers, least count first
  std::vector<std::uint32_t> index_;  // open addressing by hash: entry numbers or kEmpty
  std::size_t mask_ = 0;
};
