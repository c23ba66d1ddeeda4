#include "admin/report/recipient_counts.h"

#include <algorithm>
#include <string_view>

namespace {

std::string_view domain_of(std::string_view recipient) {
  const std::size_t at = recipient.find('@');
  return at == std::string_view::npos ? recipient : recipient.substr(at + 1);
}

}  // namespace

RecipientCounts::RecipientCounts(std::size_t budget, std::size_t summary_names)
    : recipients_(budget, summary_names), domains_(budget, summary_names) {}

void RecipientCounts::add(std::span<const std::string_view> recipients) {
  if (!summed_ && !recipients_.has_room_for(recipients)) sum_domains();
  recipients_.add(recipients);
  if (!summed_) return;
  constexpr std::size_t kBatch = 64;
  std::string_view domains[kBatch];
  for (std::size_t from = 0; from < recipients.size(); from += kBatch) {
    const std::size_t n = std::min(kBatch, recipients.size() - from);
    for (std::size_t i = 0; i < n; ++i) domains[i] = domain_of(recipients[from + i]);
    domains_.add({domains, n});
  }
}

TopCounter& RecipientCounts::domains() {
  if (!summed_) sum_domains();
  return domains_;
}

// The recipients in the order they first came give their domains in the
// order those first came.
void RecipientCounts::sum_domains() {
  for (const auto& [recipient, count] : recipients_.counted()) domains_.add(domain_of(recipient), count);
  summed_ = true;
}
