#include "admin/report/log_tally.h"

#include <cstdint>
#include <cstring>

namespace {

// "HH:MM:SS": the hour, or kHours.
int hour_of(std::string_view time) {
  if (time.size() < 2 || time[0] < '0' || time[0] > '2' || time[1] < '0' || time[1] > '9') return kHours;
  const int hour = (time[0] - '0') * 10 + time[1] - '0';
  return hour < kHours ? hour : kHours;
}

void put_size(std::string& to, std::size_t size) {
  const auto value = static_cast<std::uint32_t>(size);
  to.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void put(std::string& to, std::string_view text) {
  put_size(to, text.size());
  to.append(text);
}

std::uint32_t take_size(const std::string& from, std::size_t& at) {
  std::uint32_t size;
  std::memcpy(&size, from.data() + at, sizeof size);
  at += sizeof size;
  return size;
}

std::string_view take(const std::string& from, std::size_t& at) {
  const std::uint32_t size = take_size(from, at);
  const std::string_view text(from.data() + at, size);
  at += size;
  return text;
}

}  // namespace

void LogTally::start(std::FILE* file) {
  walk_.restart(file);
  ended_ = false;
  clear();
}

void LogTally::run(std::size_t room) {
  while (blacklisted_.size() + invalid_.size() < room) {
    const LogWalk::Item item = walk_.next();
    if (item == LogWalk::Item::End) {
      ended_ = true;
      return;
    }
    if (item == LogWalk::Item::InvalidEntry) {
      const InvalidEntryLine& entry = walk_.invalid_entry();
      put(invalid_, entry.file);
      put_size(invalid_, static_cast<std::size_t>(entry.line_number));
      put(invalid_, entry.data);
      continue;
    }
    const ResultLine& r = walk_.result();
    ++kinds[hour_of(r.time)][static_cast<int>(r.kind)];
    if (result_verdict(r.kind) != Verdict::Blacklisted) continue;
    const std::size_t at = r.sender.find('@');
    put(blacklisted_, r.recipient);
    put_size(blacklisted_, r.local_part.size());
    put(blacklisted_, at == std::string_view::npos ? std::string_view() : r.sender.substr(at + 1));
  }
}

bool LogTally::next(Blacklisted& line) {
  if (blacklisted_read_ == blacklisted_.size()) return false;
  line.recipient = take(blacklisted_, blacklisted_read_);
  line.domain = line.recipient.substr(take_size(blacklisted_, blacklisted_read_) + 1);
  line.sender_domain = take(blacklisted_, blacklisted_read_);
  return true;
}

bool LogTally::next(InvalidEntryLine& entry) {
  if (invalid_read_ == invalid_.size()) return false;
  entry.file = take(invalid_, invalid_read_);
  entry.line_number = take_size(invalid_, invalid_read_);
  entry.data = take(invalid_, invalid_read_);
  return true;
}

void LogTally::clear() {
  kinds = {};
  blacklisted_.clear();
  invalid_.clear();
  blacklisted_read_ = invalid_read_ = 0;
}
