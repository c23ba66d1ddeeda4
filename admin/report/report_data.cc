#include "admin/report/report_data.h"

#include <numeric>

#include "common/text.h"

namespace {

constexpr std::size_t kMaxInvalidRows = 20000;
constexpr std::size_t kTop = 10;

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

Ranking ranking(const TopCounter& counter) { return {counter.top(kTop), counter.short_by()}; }

}  // namespace

long DayRow::total() const { return std::accumulate(kinds.begin(), kinds.end(), 0L); }

std::string day_label(const std::string& log_path) {
  const std::size_t slash = log_path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? log_path : log_path.substr(slash + 1);
  std::string folded;
  for (const char c : name) folded += upper_case_char(c);
  auto digit = [&](std::size_t i) { return folded[i] >= '0' && folded[i] <= '9' ? folded[i] - '0' : -100; };
  if (folded.size() == 11 && folded.starts_with("QEL") && folded.ends_with(".LOG")) {
    const int month = digit(3) * 10 + digit(4), day = digit(5) * 10 + digit(6);
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31)
      return std::string(kMonths[month - 1]) + " " + std::to_string(day);
  }
  return name;
}

DayRow& ReportBuilder::day(const std::string& label) {
  for (DayRow& row : data_.days)
    if (row.label == label) return row;
  data_.days.push_back({label, {}});
  return data_.days.back();
}

void ReportBuilder::add_log(const std::string& path, std::FILE* file) {
  data_.logs.push_back(path);
  DayRow& row = day(day_label(path));
  LogWalk walk(file);
  for (LogWalk::Item item; (item = walk.next()) != LogWalk::Item::End;) {
    if (item == LogWalk::Item::InvalidEntry) {
      const InvalidEntryLine& entry = walk.invalid_entry();
      const auto key = std::make_pair(std::string(entry.file), entry.line_number);
      auto found = invalid_.find(key);
      if (found == invalid_.end()) {
        if (invalid_.size() == kMaxInvalidRows) {
          ++data_.invalid_entries_not_listed;
          continue;
        }
        found = invalid_.emplace(key, InvalidEntryRow{key.first, key.second, std::string(entry.data), 0}).first;
      }
      ++found->second.count;
      continue;
    }
    const ResultLine& r = walk.result();
    ++row.kinds[static_cast<int>(r.kind)];
    if (result_verdict(r.kind) != Verdict::Blacklisted) continue;
    ++data_.blacklisted;
    users_.add(r.recipient);
    recipient_domains_.add(r.domain);
    const std::size_t at = r.sender.find('@');
    sender_domains_.add(at == std::string_view::npos ? std::string_view() : r.sender.substr(at + 1));
  }
  data_.lines += walk.counts();
}

void ReportBuilder::add_unreadable(const std::string& path) { data_.unreadable.push_back(path); }

ReportData ReportBuilder::finish() {
  data_.total.label = "Total";
  for (const DayRow& row : data_.days)
    for (int k = 0; k < kResultKinds; ++k) data_.total.kinds[k] += row.kinds[k];
  for (auto& [key, row] : invalid_) data_.invalid_entries.push_back(std::move(row));
  invalid_.clear();
  data_.recipient_domains = ranking(recipient_domains_);
  data_.users = ranking(users_);
  data_.sender_domains = ranking(sender_domains_);
  return std::move(data_);
}
