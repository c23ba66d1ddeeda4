#include "admin/serve/name_table.h"

std::uint64_t NameTable::hash(std::string_view name) const {
  // FNV-1a from a seeded start, then mixed so that the low bits, which pick
  // the slot, depend on every byte.
  std::uint64_t h = 0xcbf29ce484222325ull ^ seed_;
  for (const char c : name) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  h ^= h >> 29;
  h *= 0xbf58476d1ce4e5b9ull;
  return h ^ (h >> 32);
}

// The slot that holds the name, or the empty slot where it would go.
std::size_t NameTable::slot_of(std::string_view name, std::uint64_t h) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = h & mask;; i = (i + 1) & mask)
    if (slots_[i] == 0 || name == this->name(slots_[i] - 1)) return i;
}

void NameTable::grow() {
  std::vector<std::uint32_t> old = std::move(slots_);
  slots_.assign(old.empty() ? 1024 : old.size() * 2, 0);
  for (const std::uint32_t id : old)
    if (id != 0) slots_[slot_of(name(id - 1), hash(name(id - 1)))] = id;
}

std::uint32_t NameTable::find(std::string_view name) const {
  if (slots_.empty()) return kNone;
  const std::uint32_t id = slots_[slot_of(name, hash(name))];
  return id == 0 ? kNone : id - 1;
}

std::uint32_t NameTable::add(std::string_view name) {
  if (2 * (size() + 1) > slots_.size()) {
    if (size() >= (std::size_t{1} << 31)) return find(name);
    grow();
  }
  const std::uint64_t h = hash(name);
  const std::size_t slot = slot_of(name, h);
  if (slots_[slot] != 0) return slots_[slot] - 1;
  if (chars_.size() + name.size() > 0xffffffffu) return kNone;
  chars_.append(name);
  starts_.push_back(static_cast<std::uint32_t>(chars_.size()));
  slots_[slot] = static_cast<std::uint32_t>(size());
  return static_cast<std::uint32_t>(size() - 1);
}

std::size_t NameTable::bytes() const {
  return chars_.capacity() + starts_.capacity() * sizeof(std::uint32_t) + slots_.capacity() * sizeof(std::uint32_t);
}
