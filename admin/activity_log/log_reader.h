// The lines of an activity log, read in text mode as every file of the
// system is (a CR LF pair ends a line like a LF alone, a byte 26 ends the
// file), streamed through one buffer: memory stays the same whatever the
// size of the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "admin/activity_log/byte_scan.h"

// No line the checker writes comes near this; a longer line is not kept.
inline constexpr std::size_t kMaxLogLine = 4096;
// A read fills the buffer with what the parse reads next: kept within the
// processor's own cache (and each thread's buffer a quarter as many pages
// to take from the system as a megabyte's).
inline constexpr std::size_t kLogReadSize = 256 << 10;

struct LogText {
  std::string_view text;  // without its line end; valid until the next call
  bool too_long = false;  // longer than kMaxLogLine: text is empty
  std::uint64_t offset = 0;  // where the line begins in the file
  bool ended = true;         // false for a last line without a line end (still being written?)
};

class LogReader {
 public:
  // read_size is how much each read asks for (small sizes are for tests);
  // start is where the stream stands in its file.
  explicit LogReader(std::FILE* file, std::size_t read_size = kLogReadSize, std::uint64_t start = 0);
  // The next line; false at the end of the file. A last line without a line
  // end is a line too.
  bool next(LogText& line) {
    // Most lines lie whole in the buffer: their ends are taken from those
    // found ahead, a stretch of the buffer at a time (a search per line
    // would cost more to start and finish than to run).
    while (next_end_ == end_count_)
      if (!scan_ends()) return next_across_buffers(line);
    const std::size_t end = ends_[next_end_++];
    const char* start = buf_ + pos_;
    std::size_t size = end - pos_;
    line.offset = base_ + pos_;
    line.ended = true;
    pos_ = end + 1;
    if (size > 0 && start[size - 1] == '\r') --size;  // a CR right before the LF ends the line too
    line.too_long = size > kMaxLogLine;
    line.text = line.too_long ? std::string_view() : std::string_view(start, size);
    return true;
  }
  // Where the next line begins in the file.
  std::uint64_t position() const { return base_ + pos_; }
  // Reads another file from its start, in the same buffer.
  void restart(std::FILE* file);

 private:
  bool fill();
  bool next_across_buffers(LogText& line);
  // Finds the line ends of the next stretch of the buffer from pos_ on
  // (where a byte 26 stands there, the buffer and the file end); false when
  // the buffer holds no more bytes.
  bool scan_ends();

  std::FILE* file_;
  std::size_t read_size_;
  // The buffer starts on a page of its own memory: the system copies the
  // file's pages into it several times slower on some processors when it
  // does not (measured: a third of the report's time).
  std::unique_ptr<char[]> memory_;
  char* buf_;
  std::uint64_t base_;  // where buf_ begins in the file
  std::size_t pos_ = 0, len_ = 0;
  bool ended_ = false;
  // The line ends found ahead, up to scanned_: where they stand in the
  // buffer, the next at next_end_.
  static constexpr std::size_t kStretch = 4096;
  std::uint32_t ends_[kStretch];
  std::size_t next_end_ = 0, end_count_ = 0;
  std::size_t scanned_ = 0;
  std::string carry_;        // the start of a line that runs past the buffer
  bool carry_long_ = false;  // the line in carry_ is already too long
};
