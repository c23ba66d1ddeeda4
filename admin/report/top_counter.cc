#include "admin/report/top_counter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kFirstIndex = 1024;
constexpr std::uint32_t kTag = 0xFF000000u;
constexpr std::size_t kMaxBudget = 16u << 20;  // places fit below the tag

// The index grows before 7 slots in 10 are taken.
bool crowded(std::size_t names, std::size_t slots) { return names * 10 >= slots * 7; }

std::uint32_t tag_of(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32) & kTag; }
std::size_t home(std::uint64_t hash, std::size_t slots) { return hash & (slots - 1); }

template <typename T>
T load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

std::uint64_t load_count(const char* record) { return load<std::uint64_t>(record); }

void add_to_count(char* record, std::uint64_t times) {
  const std::uint64_t count = load_count(record) + times;
  std::memcpy(record, &count, sizeof count);
}

// Eight bytes at a time, in place: the C runtime of the Windows build
// compares byte by byte.
bool same_bytes(const char* a, const char* b, std::size_t n) {
  if (n < 8) {
    for (std::size_t i = 0; i < n; ++i)
      if (a[i] != b[i]) return false;
    return true;
  }
  for (std::size_t i = 0; i + 8 < n; i += 8)
    if (load<std::uint64_t>(a + i) != load<std::uint64_t>(b + i)) return false;
  return load<std::uint64_t>(a + n - 8) == load<std::uint64_t>(b + n - 8);  // may take bytes compared already
}

std::string_view name_of(const char* record) {
  std::uint16_t size;
  std::memcpy(&size, record + 8, sizeof size);
  return std::string_view(record + 10, size);
}

bool same_name(const char* record, std::string_view name) {
  const std::string_view known = name_of(record);
  return known.size() == name.size() && same_bytes(known.data(), name.data(), name.size());
}

// Both halves of a 128-bit product: every bit of either factor reaches the
// low bits that choose a name's slot.
std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
  const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
  return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

}  // namespace

// Sixteen bytes to a product; most names take one or two, in loads that may
// overlap rather than a byte at a time.
std::uint64_t name_hash(std::string_view name) {
  constexpr std::uint64_t kOne = 0xA0761D6478BD642Fu, kTwo = 0xE7037ED1A0B428DBu, kThree = 0x8EBC6AF09C88C6E3u;
  const char* p = name.data();
  const std::size_t n = name.size();
  std::uint64_t seed = kThree ^ n, a = 0, b = 0;
  if (n > 16) {
    std::size_t i = 0;
    for (; i + 16 < n; i += 16) seed = mix(load<std::uint64_t>(p + i) ^ kOne, load<std::uint64_t>(p + i + 8) ^ seed);
    a = load<std::uint64_t>(p + n - 16);
    b = load<std::uint64_t>(p + n - 8);
  } else if (n >= 8) {
    a = load<std::uint64_t>(p);
    b = load<std::uint64_t>(p + n - 8);
  } else if (n >= 4) {
    a = load<std::uint32_t>(p);
    b = load<std::uint32_t>(p + n - 4);
  } else if (n > 0) {
    a = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[n / 2]) << 8 |
        std::uint64_t{static_cast<unsigned char>(p[n - 1])} << 16;
  }
  return mix(mix(a ^ kOne, b ^ seed) ^ kTwo, seed ^ kOne);
}

TopCounter::TopCounter(std::size_t budget, std::size_t summary_names)
    : budget_(std::min(budget, kMaxBudget)),
      summary_names_(summary_names),
      index_(kFirstIndex, 0) {}

TopCounter::~TopCounter() = default;
TopCounter::TopCounter(TopCounter&&) noexcept = default;
TopCounter& TopCounter::operator=(TopCounter&&) noexcept = default;

// The records lie one after another in their blocks: walked so, they come
// from memory in order, where by the index each would be a wait of its own.
template <typename F>
void TopCounter::each_record(F f) const {
  for (std::size_t b = 0; b < blocks_.size(); ++b) {
    const std::size_t end = b + 1 < blocks_.size() ? block_ends_[b] : block_used_;
    for (std::size_t at = 0; at < end; at += kHead + name_of(blocks_[b].get() + at).size())
      f(b * kBlock + at, blocks_[b].get() + at);
  }
}

// The slot of the first name in the hash's run with its tag, or 0.
std::uint32_t TopCounter::first_with_tag(std::uint64_t hash) const {
  const std::uint32_t tag = tag_of(hash);
  const std::size_t mask = index_.size() - 1;
  for (std::size_t at = home(hash, index_.size()); index_[at] != 0; at = (at + 1) & mask)
    if ((index_[at] & kTag) == tag) return index_[at];
  return 0;
}

char* TopCounter::record(std::uint32_t slot) const {
  const std::size_t place = (slot & ~kTag) - 1;
  return blocks_[place / kBlock].get() + place % kBlock;
}

void TopCounter::add(std::span<const std::string_view> names) {
  std::uint64_t hashes[kBatch];
  std::uint32_t found[kBatch];
  for (std::size_t from = 0; from < names.size(); from += kBatch) {
    const std::size_t n = std::min(kBatch, names.size() - from);
    const std::string_view* batch = names.data() + from;
    for (std::size_t i = 0; i < n; ++i) {
      hashes[i] = name_hash(batch[i].substr(0, kMaxName));
      __builtin_prefetch(&index_[home(hashes[i], index_.size())]);
    }
    // The record each name most likely has, asked for from memory. (Asked
    // here: a function that only asks memory for something has no effect a
    // compiler must keep, and g++ once dropped one.)
    for (std::size_t i = 0; i < n; ++i)
      if ((found[i] = first_with_tag(hashes[i]))) __builtin_prefetch(record(found[i]));
    // Most names are that record's: a record stays where it is while the
    // batch is counted, whatever comes into the index.
    for (std::size_t i = 0; i < n; ++i) {
      const std::string_view name = batch[i].substr(0, kMaxName);
      if (found[i] && same_name(record(found[i]), name))
        add_to_count(record(found[i]), 1);
      else
        count(name, hashes[i]);
    }
  }
}

void TopCounter::add(std::string_view name, std::uint64_t times) {
  if (times == 0) return;
  name = name.substr(0, kMaxName);
  const std::uint64_t hash = name_hash(name);
  count(name, hash);
  if (rest_) {
    for (std::uint64_t i = 1; i < times; ++i) count(name, hash);
    return;
  }
  // Now in the table: found again at once.
  for (std::size_t at = home(hash, index_.size()); index_[at] != 0; at = (at + 1) & (index_.size() - 1)) {
    if ((index_[at] & kTag) != tag_of(hash) || name_of(record(index_[at])) != name) continue;
    add_to_count(record(index_[at]), times - 1);
    return;
  }
}

// At worst every name is new: each block opened is filled to within one
// record of its end, and the index may double once (room_for counts the old
// and the new one together while it grows).
bool TopCounter::has_room_for(std::span<const std::string_view> names) const {
  if (rest_) return false;
  std::size_t bytes = 0;
  for (const std::string_view name : names) bytes += kHead + std::min(name.size(), kMaxName);
  const std::size_t blocks = blocks_.size() + 1 + bytes / (kBlock - kHead - kMaxName);
  const std::size_t slots = crowded(names_ + names.size(), index_.size()) ? 2 * index_.size() : index_.size();
  return 2 * names.size() <= index_.size() && blocks * kBlock + 3 * slots * sizeof index_[0] <= budget_;
}

std::vector<std::pair<std::string_view, std::uint64_t>> TopCounter::counted() const {
  std::vector<std::pair<std::string_view, std::uint64_t>> names;
  names.reserve(names_);
  each_record([&](std::size_t, const char* at) { names.emplace_back(name_of(at), load_count(at)); });
  return names;
}

void TopCounter::count(std::string_view name, std::uint64_t hash) {
  const std::uint32_t tag = tag_of(hash);
  const std::size_t mask = index_.size() - 1;
  std::size_t at = home(hash, index_.size());
  for (; index_[at] != 0; at = (at + 1) & mask) {
    if ((index_[at] & kTag) != tag) continue;
    char* found = record(index_[at]);
    if (same_name(found, name)) {
      add_to_count(found, 1);
      return;
    }
  }
  // A name not met before: into the table while it has room, for good; once
  // a name did not fit, every new name goes to the summary, so that no name
  // is counted in both.
  const std::size_t size = kHead + name.size();
  if (rest_ || !room_for(size)) {
    if (!rest_) rest_ = std::make_unique<HeavyHitters>(summary_names_);
    rest_->add(name, hash);
    return;
  }
  if (block_used_ + size > kBlock) {
    if (!blocks_.empty()) block_ends_.push_back(block_used_);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlock));  // pages taken as names fill them
    block_used_ = 0;
  }
  char* fresh = blocks_.back().get() + block_used_;
  const std::uint64_t one = 1;
  const auto name_size = static_cast<std::uint16_t>(name.size());
  std::memcpy(fresh, &one, sizeof one);
  std::memcpy(fresh + 8, &name_size, sizeof name_size);
  if (!name.empty()) std::memcpy(fresh + kHead, name.data(), name.size());
  const std::size_t place = (blocks_.size() - 1) * kBlock + block_used_;
  block_used_ += size;
  if (crowded(++names_, index_.size()))
    grow_index();  // which takes in the new record too
  else
    index_[at] = tag | static_cast<std::uint32_t>(place + 1);
}

// Whether one more record fits the budget, with the blocks it may open and,
// while the index grows, the old index and the new one together.
bool TopCounter::room_for(std::size_t record) const {
  std::size_t bytes = (blocks_.size() + (block_used_ + record > kBlock)) * kBlock + index_.size() * sizeof index_[0];
  if (crowded(names_ + 1, index_.size())) bytes += 2 * index_.size() * sizeof index_[0];
  return bytes <= budget_;
}

// The slots do not hold the whole hash: each name's is worked out again.
void TopCounter::grow_index() {
  std::vector<std::uint32_t> bigger(2 * index_.size(), 0);
  const std::size_t mask = bigger.size() - 1;
  each_record([&](std::size_t place, const char* at) {
    const std::uint64_t hash = name_hash(name_of(at));
    std::size_t slot = home(hash, bigger.size());
    while (bigger[slot] != 0) slot = (slot + 1) & mask;
    bigger[slot] = tag_of(hash) | static_cast<std::uint32_t>(place + 1);
  });
  index_ = std::move(bigger);
}

std::vector<std::pair<std::string, long>> TopCounter::top(std::size_t n) const {
  using Row = std::pair<std::uint64_t, std::string_view>;
  const auto better = [](const Row& a, const Row& b) { return a.first != b.first ? a.first > b.first : a.second < b.second; };
  // The best n so far, as a heap with the least of them in front.
  std::vector<Row> best;
  const auto offer = [&](std::uint64_t count, std::string_view name) {
    const Row row{count, name};
    if (best.size() < n) {
      best.push_back(row);
      std::push_heap(best.begin(), best.end(), better);
    } else if (n > 0 && better(row, best.front())) {
      std::pop_heap(best.begin(), best.end(), better);
      best.back() = row;
      std::push_heap(best.begin(), best.end(), better);
    }
  };
  each_record([&](std::size_t, const char* at) { offer(load_count(at), name_of(at)); });
  if (rest_)
    for (const HeavyHitters::Kept& kept : rest_->kept()) offer(kept.count - kept.error, kept.name);
  std::sort_heap(best.begin(), best.end(), better);
  std::vector<std::pair<std::string, long>> rows;
  for (const auto& [count, name] : best) rows.emplace_back(std::string(name), static_cast<long>(count));
  return rows;
}

long TopCounter::short_by() const {
  return rest_ ? static_cast<long>(rest_->bound()) : 0;
}

std::size_t TopCounter::table_bytes() const {
  return blocks_.size() * kBlock + index_.size() * sizeof index_[0]; }
