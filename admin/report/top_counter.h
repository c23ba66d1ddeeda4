// Counts per name, for the report's "ten with the most" tables, in bounded
// memory: exact while there are at most max_names distinct names. Past that
// the half of the names counted least is dropped; a dropped name that comes
// back starts again from zero, so a count may then be short, by at most
// short_by() (the sum of the counts dropped at most per name).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

class TopCounter {
 public:
  explicit TopCounter(std::size_t max_names = 50000) : max_names_(max_names) {}

  void add(std::string_view name);
  // The n names counted most, by count and then by name.
  std::vector<std::pair<std::string, long>> top(std::size_t n) const;
  long short_by() const { return short_by_; }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  void drop_least();

  std::size_t max_names_;
  std::unordered_map<std::string, long, Hash, std::equal_to<>> counts_;
  long short_by_ = 0;
};
