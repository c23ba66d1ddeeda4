#include "admin/report/log_tally.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// "HH:MM:SS": the hour, or kHours.
int hour_of(std::string_view time) {
  if (time.size() < 2 || time[0] < '0' || time[0] > '2' || time[1] < '0' || time[1] > '9') return kHours;
  const int hour = (time[0] - '0') * 10 + time[1] - '0';
  return hour < kHours ? hour : kHours;
}

// A record's sizes come first, then its texts.
char* put_size(char* to, std::size_t size) {
  const auto value = static_cast<std::uint32_t>(size);
  std::memcpy(to, &value, sizeof value);
  return to + sizeof value;
}

char* put(char* to, std::string_view text) {
  if (!text.empty()) std::memcpy(to, text.data(), text.size());  // an empty view may hold no pointer
  return to + text.size();
}

std::uint32_t take_size(const char* from, std::size_t& at) {
  std::uint32_t size;
  std::memcpy(&size, from + at, sizeof size);
  at += sizeof size;
  return size;
}

std::string_view take(const char* from, std::size_t& at, std::size_t size) {
  const std::string_view text(from + at, size);
  at += size;
  return text;
}

}  // namespace

void LogTally::start(std::FILE* file) {
  walk_.restart(file);
  ended_ = false;
  clear();
}

void LogTally::Records::grow(std::size_t size) {
  // Room for a log's names from the start: only the pages written are taken
  // from the system, and none is copied and given back as the records grow.
  constexpr std::size_t kFirst = 1u << 20;
  const std::size_t capacity = std::max({2 * capacity_, size_ + size, kFirst});
  std::unique_ptr<char[]> more(new char[capacity]);
  if (size_) std::memcpy(more.get(), bytes_.get(), size_);
  bytes_ = std::move(more);
  capacity_ = capacity;
}

void LogTally::run(std::size_t room) {
  while (kept() < room) {
    const LogWalk::Item item = walk_.next();
    if (item == LogWalk::Item::End) {
      ended_ = true;
      return;
    }
    if (item == LogWalk::Item::InvalidEntry) {
      const InvalidEntryLine& entry = walk_.invalid_entry();
      char* to = invalid_.extend(3 * sizeof(std::uint32_t) + entry.file.size() + entry.data.size());
      to = put_size(to, entry.file.size());
      to = put_size(to, static_cast<std::size_t>(entry.line_number));
      to = put_size(to, entry.data.size());
      put(put(to, entry.file), entry.data);
      continue;
    }
    const ResultLine& r = walk_.result();
    ++kinds[hour_of(r.time)][static_cast<int>(r.kind)];
    if (result_verdict(r.kind) != Verdict::Blacklisted) continue;
    char* to = blacklisted_.extend(3 * sizeof(std::uint32_t) + r.recipient.size() + r.sender_domain.size());
    to = put_size(to, r.recipient.size());
    to = put_size(to, r.local_part.size());
    to = put_size(to, r.sender_domain.size());
    put(put(to, r.recipient), r.sender_domain);
  }
}

bool LogTally::next(Blacklisted& line) {
  if (blacklisted_read_ == blacklisted_.size()) return false;
  const char* from = blacklisted_.data();
  const std::size_t recipient = take_size(from, blacklisted_read_);
  const std::size_t local_part = take_size(from, blacklisted_read_);
  const std::size_t sender_domain = take_size(from, blacklisted_read_);
  line.recipient = take(from, blacklisted_read_, recipient);
  line.domain = line.recipient.substr(local_part + 1);
  line.sender_domain = take(from, blacklisted_read_, sender_domain);
  return true;
}

bool LogTally::next(InvalidEntryLine& entry) {
  if (invalid_read_ == invalid_.size()) return false;
  const char* from = invalid_.data();
  const std::size_t file = take_size(from, invalid_read_);
  entry.line_number = take_size(from, invalid_read_);
  const std::size_t data = take_size(from, invalid_read_);
  entry.file = take(from, invalid_read_, file);
  entry.data = take(from, invalid_read_, data);
  return true;
}

void LogTally::clear() {
  kinds = {};
  blacklisted_.clear();
  invalid_.clear();
  blacklisted_read_ = invalid_read_ = 0;
}
