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
inline constexpr std::size_t kLogReadSize = 1 << 20;

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
    // Most lines lie whole in the buffer.
    if (pos_ < len_) {
      const char* start = buf_ + pos_;
      if (const char* end = find_byte(start, len_ - pos_, '\n')) {
        std::size_t size = static_cast<std::size_t>(end - start);
        line.offset = base_ + pos_;
        line.ended = true;
        pos_ += size + 1;
        if (size > 0 && start[size - 1] == '\r') --size;  // a CR right before the LF ends the line too
        line.too_long = size > kMaxLogLine;
        line.text = line.too_long ? std::string_view() : std::string_view(start, size);
        return true;
      }
    }
    return next_across_buffers(line);
  }
  // Where the next line begins in the file.
  std::uint64_t position() const { return base_ + pos_; }
  // Reads another file from its start, in the same buffer.
  void restart(std::FILE* file);

 private:
  bool fill();
  bool next_across_buffers(LogText& line);

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
  std::string carry_;        // the start of a line that runs past the buffer
  bool carry_long_ = false;  // the line in carry_ is already too long
};
