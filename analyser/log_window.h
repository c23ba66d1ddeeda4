// The log's bytes as the scanner sees them: a span that moves forward through
// the log, keeping the bytes the scanner still needs and taking in new ones
// behind them. The log is read into one buffer 256 KiB at a time, so it is
// never held in memory. It can also be mapped in windows of 1 MiB (a stream
// that cannot be mapped is read instead), but reading was measured to cost
// as much natively and less under Wine, so the analyser reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "common/host.h"

struct LogWindowSettings {
  bool map = false;                    // true: mapped in windows where the stream allows
  std::size_t map_size = 1024 * 1024;  // bytes mapped at a time
  // The most new bytes that one advance takes in: a whole window when mapped,
  // 0 meaning 256 KiB reads otherwise. Small steps are for tests.
  std::size_t step = 0;
};

class LogWindow {
 public:
  LogWindow(std::FILE* log, const LogWindowSettings& settings);
  ~LogWindow();
  LogWindow(const LogWindow&) = delete;
  LogWindow& operator=(const LogWindow&) = delete;

  const char* data() const { return data_; }
  std::size_t size() const { return size_; }
  // How many bytes from data() on may be loaded: size() and at least 16 more
  // when read, what the window holds when mapped. The bytes past size() are
  // no part of the log yet.
  std::size_t readable() const { return readable_; }
  bool mapped() const { return map_ != nullptr; }

  // Drops the bytes before keep and takes in new bytes behind the rest; the
  // span then starts with the byte that was at keep. False when nothing new
  // came: the end of the log, or a failure to read or map it.
  bool advance(std::size_t keep);

 private:
  bool advance_mapped(std::size_t keep);
  bool advance_read(std::size_t keep);
  // Moves the bytes from keep on to the start of the buffer, with room for
  // that many more behind them.
  void keep_in_buffer(std::size_t keep, std::size_t room = 0);

  std::FILE* log_;
  HostFileMap* map_ = nullptr;
  bool failed_ = false;
  std::size_t map_size_ = 0, step_ = 0;
  const char* data_ = nullptr;
  std::size_t size_ = 0, readable_ = 0;
  // Mapped: the window starts at view_offset_ in the file; the span is bytes
  // span_begin_ to span_begin_ + size_ of it.
  const char* view_ = nullptr;
  std::uint64_t view_offset_ = 0;
  std::size_t view_size_ = 0, span_begin_ = 0;
  // Read: the span is at the start of the buffer.
  std::unique_ptr<char[]> buffer_;
  std::size_t buffer_size_ = 0;
};
