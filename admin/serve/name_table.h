// Texts kept once each and numbered in the order first met: the addresses
// and domains of the activity-log index. Each costs its length and 12 bytes
// (its start, and two hash slots at most half full).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class NameTable {
 public:
  static constexpr std::uint32_t kNone = 0xffffffff;

  // seed varies the hash, so that names chosen to collide in one run do not
  // in another.
  explicit NameTable(std::uint64_t seed = 0) : seed_(seed) {}

  // The name's number, the next one when it is new; kNone when the table is
  // full (4 GiB of names, or 2^31 of them).
  std::uint32_t add(std::string_view name);
  // The name's number, or kNone.
  std::uint32_t find(std::string_view name) const;
  std::string_view name(std::uint32_t id) const {
    return std::string_view(chars_).substr(starts_[id], starts_[id + 1] - starts_[id]);
  }
  std::size_t size() const { return starts_.size() - 1; }
  std::size_t bytes() const;
  std::uint64_t seed() const { return seed_; }

 private:
  std::uint64_t hash(std::string_view name) const;
  std::size_t slot_of(std::string_view name, std::uint64_t h) const;
  void grow();

  std::uint64_t seed_;
  std::string chars_;
  std::vector<std::uint32_t> starts_{0};  // name i is chars_[starts_[i], starts_[i + 1])
  std::vector<std::uint32_t> slots_;      // number + 1, or 0 for an empty slot
};
