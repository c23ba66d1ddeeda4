#include "admin/activity_log/log_reader.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace {
constexpr std::size_t kPage = 4096;
}  // namespace

LogReader::LogReader(std::FILE* file, std::size_t read_size, std::uint64_t start)
    : file_(file), read_size_(read_size ? read_size : 1), memory_(new char[read_size_ + kPage]), base_(start) {
  buf_ = memory_.get() + (kPage - reinterpret_cast<std::uintptr_t>(memory_.get()) % kPage);
}

void LogReader::restart(std::FILE* file) {
  file_ = file;
  base_ = pos_ = len_ = 0;
  next_end_ = end_count_ = scanned_ = 0;
  ended_ = false;  // a line carried over is dropped when the next line starts
}

// Reads the next buffer; false when the file has nothing more (its end or a
// read error). A byte 26 ends it when the line ends are scanned.
bool LogReader::fill() {
  if (ended_) return false;
  base_ += len_;
  len_ = std::fread(buf_, 1, read_size_, file_);
  pos_ = 0;
  next_end_ = end_count_ = scanned_ = 0;
  if (len_ == 0) ended_ = true;
  return len_ > 0;
}

bool LogReader::scan_ends() {
  // A line read across buffers may have ended past what was scanned.
  const std::size_t from = std::max(scanned_, pos_);
  if (from >= len_) return false;
  std::size_t size = std::min(len_ - from, kStretch);
  std::uint64_t words[kStretch / 64];
  if (const std::size_t eof = line_end_bits(buf_ + from, size, words); eof < size) {
    ended_ = true;
    len_ = from + eof;
    size = eof;
  }
  scanned_ = from + size;
  next_end_ = end_count_ = 0;
  for (std::size_t word = 0; word * 64 < size; ++word)
    for (std::uint64_t bits = words[word]; bits; bits &= bits - 1)
      ends_[end_count_++] = static_cast<std::uint32_t>(from + word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
  return size > 0;
}

bool LogReader::next_across_buffers(LogText& line) {
  carry_.clear();
  carry_long_ = false;
  line.offset = base_ + pos_;
  for (;;) {
    while (next_end_ == end_count_ && scan_ends()) {
    }
    if (next_end_ == end_count_) {
      // The line goes on in the next buffer.
      const std::size_t avail = len_ - pos_;
      if (!carry_long_ && carry_.size() + avail <= kMaxLogLine + 1)
        carry_.append(buf_ + pos_, avail);
      else
        carry_long_ = true;
      pos_ = len_;
      if (fill()) continue;
      // The file ends inside a line: that line counts too.
      if (carry_.empty() && !carry_long_) return false;
      line.too_long = carry_long_ || carry_.size() > kMaxLogLine;
      line.text = line.too_long ? std::string_view() : std::string_view(carry_);
      line.ended = false;
      return true;
    }
    const char* start = buf_ + pos_;
    const std::size_t end = ends_[next_end_++];
    std::size_t size = end - pos_;
    pos_ = end + 1;
    std::string_view text;
    if (carry_.empty() && !carry_long_) {
      text = std::string_view(start, size);
    } else {
      if (!carry_long_ && carry_.size() + size <= kMaxLogLine + 1)
        carry_.append(start, size);
      else
        carry_long_ = true;
      text = carry_;
    }
    // A CR right before the LF is part of the line end.
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    line.too_long = carry_long_ || text.size() > kMaxLogLine;
    line.text = line.too_long ? std::string_view() : text;
    line.ended = true;
    return true;
  }
}
