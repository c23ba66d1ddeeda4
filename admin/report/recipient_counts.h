// The recipients counted and their domains. A domain is the part of its
// recipient after the "@", so while every recipient is counted exactly, the
// domains' counts are the sums of their recipients', worked out once when
// asked for: counting a domain for each line would cost as much again. When
// the recipients' table may not take the next names, the domains are summed
// up to there, and from then on counted as they come; the rankings are the
// same as if each domain had been counted as it came.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "admin/report/top_counter.h"

class RecipientCounts {
 public:
  explicit RecipientCounts(std::size_t budget = TopCounter::kBudget,
                           std::size_t summary_names = TopCounter::kSummaryNames);

  void add(std::span<const std::string_view> recipients);
  TopCounter& recipients() { return recipients_; }
  TopCounter& domains();

 private:
  void sum_domains();

  TopCounter recipients_, domains_;
  bool summed_ = false;  // the domains are counted as they come
};
