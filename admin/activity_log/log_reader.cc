#include "admin/activity_log/log_reader.h"

#include <algorithm>
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
  ends_ = 0;
  end_word_ = end_word_count_ = scanned_ = 0;
  ended_ = false;  // a line carried over is dropped when the next line starts
}

// Reads the next buffer; false when the file has nothing more (its end or a
// read error). A byte 26 ends it when the line ends are scanned.
bool LogReader::fill() {
  if (ended_) return false;
  base_ += len_;
  len_ = std::fread(buf_, 1, read_size_, file_);
  pos_ = 0;
  ends_ = 0;
  end_word_ = end_word_count_ = scanned_ = 0;
  if (len_ == 0) ended_ = true;
  return len_ > 0;
}

bool LogReader::scan_ends() {
  // A line read across buffers may have ended past what was scanned.
  const std::size_t from = std::max(scanned_, pos_);
  if (from >= len_) return false;
  std::size_t size = std::min(len_ - from, kEndWords * 64);
  if (const std::size_t eof = line_end_bits(buf_ + from, size, end_words_); eof < size) {
    ended_ = true;
    len_ = from + eof;
    size = eof;
  }
  scanned_ = from + size;
  ends_at_ = from - 64;  // the first word is taken next
  end_word_ = 0;
  end_word_count_ = (size + 63) / 64;
  return size > 0;
}

bool LogReader::next_across_buffers(LogText& line) {
  carry_.clear();
  carry_long_ = false;
  line.offset = base_ + pos_;
  for (;;) {
    while (!ends_ && (end_word_ < end_word_count_ || scan_ends())) {
      ends_ = end_words_[end_word_++];
      ends_at_ += 64;
    }
    if (!ends_) {
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
    const std::size_t end = take_end();
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
