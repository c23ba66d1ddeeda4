#include "admin/report/heavy_hitters.h"

#include <bit>
#include <utility>

HeavyHitters::HeavyHitters(std::size_t names) : capacity_(names > 0 ? names : 1) {
  entries_.reserve(capacity_);
  heap_.reserve(names);
  index_.assign(std::bit_ceil(2 * capacity_), kEmpty);
  mask_ = index_.size() - 1;
}

std::size_t HeavyHitters::find(std::string_view name, std::uint64_t hash) const {
  std::size_t slot = hash & mask_;
  for (; index_[slot] != kEmpty; slot = (slot + 1) & mask_) {
    const Entry& entry = entries_[index_[slot]];
    if (entry.hash == hash && entry.name == name) break;
  }
  return slot;
}

// Empties a slot and moves back the entries after it that belong before it,
// so that every entry stays reachable from its home slot without markers of
// deleted places.
void HeavyHitters::unindex(std::size_t slot) {
  for (std::size_t next = (slot + 1) & mask_; index_[next] != kEmpty; next = (next + 1) & mask_) {
    const std::size_t home = entries_[index_[next]].hash & mask_;
    // The entry may move back when its home is not within (slot, next].
    const bool stays = slot < next ? home > slot && home <= next : home > slot || home <= next;
    if (!stays) {
      index_[slot] = index_[next];
      slot = next;
    }
  }
  index_[slot] = kEmpty;
}

void HeavyHitters::add(std::string_view name, std::uint64_t hash) {
  std::size_t slot = find(name, hash);
  if (index_[slot] != kEmpty) {
    Entry& entry = entries_[index_[slot]];
    ++entry.count;
    sift_down(entry.heap_at);
    return;
  }
  if (entries_.size() < capacity_) {
    const auto number = static_cast<std::uint32_t>(entries_.size());
    entries_.push_back(Entry{std::string(name), hash, 1, 0, static_cast<std::uint32_t>(heap_.size())});
    heap_.push_back(number);
    index_[slot] = number;
    sift_up(entries_.back().heap_at);
    return;
  }
  // The name takes the place of the one counted least.
  const std::uint32_t number = heap_[0];
  Entry& least = entries_[number];
  unindex(find(least.name, least.hash));
  slot = find(name, hash);
  least.name.assign(name);
  least.hash = hash;
  least.error = least.count;
  ++least.count;
  index_[slot] = number;
  sift_down(0);
}

void HeavyHitters::swap_places(std::uint32_t a, std::uint32_t b) {
  std::swap(heap_[a], heap_[b]);
  entries_[heap_[a]].heap_at = a;
  entries_[heap_[b]].heap_at = b;
}

void HeavyHitters::sift_down(std::uint32_t at) {
  const auto size = static_cast<std::uint32_t>(heap_.size());
  for (;;) {
    std::uint32_t least = at;
    for (const std::uint32_t child : {2 * at + 1, 2 * at + 2})
      if (child < size && entries_[heap_[child]].count < entries_[heap_[least]].count) least = child;
    if (least == at) return;
    swap_places(at, least);
    at = least;
  }
}

void HeavyHitters::sift_up(std::uint32_t at) {
  while (at > 0) {
    const std::uint32_t parent = (at - 1) / 2;
    if (entries_[heap_[parent]].count <= entries_[heap_[at]].count) return;
    swap_places(at, parent);
    at = parent;
  }
}

std::vector<HeavyHitters::Kept> HeavyHitters::kept() const {
  std::vector<Kept> kept;
  kept.reserve(entries_.size());
  for (const Entry& entry : entries_) kept.push_back({entry.name, entry.count, entry.error});
  return kept;
}

std::uint64_t HeavyHitters::bound() const {
  return entries_.size() < capacity_ ? 0 : entries_[heap_[0]].count;
}
