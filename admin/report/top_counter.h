// Counts per name, for the report's "ten with the most" tables, in bounded
// memory. Every name met while the table has room is counted exactly, to the
// end: names and their index take at most the budget (the default, 14 MiB,
// holds 250,000 names of 40 characters, more of shorter ones). The names met first
// after that are kept in a summary of the ones met most (HeavyHitters): a
// count of theirs may be short, by at most short_by(), and a name the
// summary leaves out was met at most short_by() times.
// Adding a name costs one hash lookup; nothing is allocated per name beyond
// its bytes in a block of names, and the table is never searched through.
// Names are best added in batches: the index slots of a batch, and then the
// records they point to, are asked for from memory before the first name is
// counted, so that a table larger than the processor's caches does not keep
// each name waiting in turn. Names are counted in the order they come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "admin/report/heavy_hitters.h"

class TopCounter {
 public:
  static constexpr std::size_t kBudget = 14u << 20;  // at most 16 MiB
  static constexpr std::size_t kSummaryNames = 8192;

  explicit TopCounter(std::size_t budget = kBudget, std::size_t summary_names = kSummaryNames);
  ~TopCounter();
  TopCounter(TopCounter&&) noexcept;
  TopCounter& operator=(TopCounter&&) noexcept;

  void add(std::span<const std::string_view> names);
  void add(std::string_view name) { add({&name, 1}); }
  // The name met times times in a row.
  void add(std::string_view name, std::uint64_t times);
  // Whether these names would all go into the table, were they all new.
  bool has_room_for(std::span<const std::string_view> names) const;
  // Every name in the table with its count, in the order first met.
  std::vector<std::pair<std::string_view, std::uint64_t>> counted() const;
  // The n names counted most, by count and then by name; a count of the
  // summary is the least it may be.
  std::vector<std::pair<std::string, long>> top(std::size_t n) const;
  long short_by() const;
  // The memory the exact table takes: at most the budget.
  std::size_t table_bytes() const;

 private:
  // A name's record in a block: its count (8 bytes), its size (2), its bytes.
  static constexpr std::size_t kBlock = 1 << 20;
  static constexpr std::size_t kHead = 10;
  static constexpr std::size_t kMaxName = 0xFFFF;

  // Names asked for from memory together.
  static constexpr std::size_t kBatch = 32;

  void count(std::string_view name, std::uint64_t hash);
  bool room_for(std::size_t record) const;
  void grow_index();
  std::uint32_t first_with_tag(std::uint64_t hash) const;
  char* record(std::uint32_t slot) const;
  // Calls f(place, record) for every record, in the order the names came.
  template <typename F>
  void each_record(F f) const;

  std::size_t budget_, summary_names_;
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t block_used_ = kBlock;  // the last block's bytes in use: full before the first
  std::vector<std::size_t> block_ends_;  // the bytes in use of each block before the last
  // 0 for a free slot; else the top byte of the name's hash above the
  // record's place (block number times kBlock plus offset) plus 1.
  std::vector<std::uint32_t> index_;
  std::size_t names_ = 0;
  std::unique_ptr<HeavyHitters> rest_;
};

std::uint64_t name_hash(std::string_view name);
