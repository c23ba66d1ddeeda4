#include "analyser/log_window.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kReadSize = 256 * 1024;
constexpr std::size_t kSlack = 64;  // loads may run this far past the bytes read

std::size_t round_up(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

}  // namespace

LogWindow::LogWindow(std::FILE* log, const LogWindowSettings& settings) : log_(log) {
  std::uint64_t start = 0;
  if (settings.map) map_ = host_map_open(log, start);
  if (map_) {
    const std::size_t unit = host_map_granularity();
    // Two units at least, so that a window that starts at the unit holding
    // the kept bytes always reaches past them.
    map_size_ = std::max(round_up(settings.map_size, unit), 2 * unit);
    step_ = settings.step ? settings.step : map_size_;
    view_offset_ = start / unit * unit;
    span_begin_ = static_cast<std::size_t>(start - view_offset_);
    view_size_ = map_size_;
    if (!host_map_window(map_, view_offset_, view_, view_size_)) {
      host_map_close(map_);  // nothing is read yet: reading serves as well
      map_ = nullptr;
    }
  }
  if (!map_) step_ = settings.step ? settings.step : kReadSize;
}

LogWindow::~LogWindow() { host_map_close(map_); }

bool LogWindow::advance(std::size_t keep) {
  if (failed_) return false;
  return map_ ? advance_mapped(keep) : advance_read(keep);
}

bool LogWindow::advance_mapped(std::size_t keep) {
  const std::size_t begin = span_begin_ + keep, kept = size_ - keep;
  if (begin + kept == view_size_) {  // the window is used up: the next starts at the unit holding begin
    const std::size_t unit = host_map_granularity();
    const std::uint64_t offset = view_offset_ + begin;
    const std::uint64_t new_offset = offset / unit * unit;
    const auto lead = static_cast<std::size_t>(offset - new_offset);
    std::size_t mapped = std::max(map_size_, round_up(lead + kept + 1, unit));
    // Should the system refuse the next window, the log ends here, as at a
    // failed read; the kept bytes stay readable in the buffer.
    keep_in_buffer(keep);
    if (!host_map_window(map_, new_offset, view_, mapped)) {
      host_map_close(map_);
      map_ = nullptr;
      failed_ = true;
      return false;
    }
    view_offset_ = new_offset;
    view_size_ = mapped;
    span_begin_ = lead;
  } else {
    span_begin_ = begin;
  }
  data_ = view_ + span_begin_;
  readable_ = view_size_ - span_begin_;
  size_ = std::min(kept + step_, readable_);
  return size_ > kept;
}

void LogWindow::keep_in_buffer(std::size_t keep, std::size_t room) {
  const std::size_t kept = size_ - keep;
  if (buffer_size_ < kept + room + kSlack) {
    auto bigger = std::make_unique<char[]>(kept + room + kSlack);
    if (kept) std::memcpy(bigger.get(), data_ + keep, kept);
    buffer_ = std::move(bigger);
    buffer_size_ = kept + room + kSlack;
  } else if (kept) {
    std::memmove(buffer_.get(), data_ + keep, kept);
  }
  data_ = buffer_.get();
  size_ = kept;
  readable_ = buffer_size_;
}

bool LogWindow::advance_read(std::size_t keep) {
  keep_in_buffer(keep, step_);
  const std::size_t kept = size_;
  const std::size_t got = std::fread(buffer_.get() + kept, 1, step_, log_);
  size_ = kept + got;
  return got > 0;
}
