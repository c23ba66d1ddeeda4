#include "admin/report/top_counter.h"

#include <algorithm>

void TopCounter::add(std::string_view name) {
  const auto found = counts_.find(name);
  if (found != counts_.end()) {
    ++found->second;
    return;
  }
  counts_.emplace(std::string(name), 1);
  if (counts_.size() > max_names_) drop_least();
}

void TopCounter::drop_least() {
  std::vector<long> counts;
  counts.reserve(counts_.size());
  for (const auto& [name, count] : counts_) counts.push_back(count);
  const auto middle = counts.begin() + static_cast<std::ptrdiff_t>(counts.size() / 2);
  std::nth_element(counts.begin(), middle, counts.end());
  const long limit = *middle;
  std::erase_if(counts_, [&](const auto& entry) { return entry.second <= limit; });
  short_by_ += limit;
}

std::vector<std::pair<std::string, long>> TopCounter::top(std::size_t n) const {
  std::vector<std::pair<std::string, long>> all(counts_.begin(), counts_.end());
  const auto order = [](const auto& a, const auto& b) {
    return a.second != b.second ? a.second > b.second : a.first < b.first;
  };
  const std::size_t k = std::min(n, all.size());
  std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(k), all.end(), order);
  all.resize(k);
  return all;
}
