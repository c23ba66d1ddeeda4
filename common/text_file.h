// Text mode, the same on every host: reading turns CR LF into one line end and
// stops at the first byte 26 (Ctrl-Z); writing turns every line end into CR LF.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

class TextReader {
 public:
  // Reads the file through a buffer of buffer_size bytes.
  explicit TextReader(std::FILE* file, std::size_t buffer_size = 8192)
      : file_(file), buf_(new unsigned char[buffer_size]), buf_size_(buffer_size), data_(buf_.get()) {}
  // Reads the bytes as if they were a file's.
  TextReader(const char* bytes, std::size_t size)
      : data_(reinterpret_cast<const unsigned char*>(bytes)), len_(size) {}
  // Reads the file, then the bytes as if they had been appended to it.
  TextReader(std::FILE* file, std::string appended) : TextReader(file) { appended_ = std::move(appended); }
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // Next character after the line-end mapping, or EOF.
  int get();
  // Like fgets: reads at most size - 1 characters into out, stopping after a
  // line end, and ends the text with a zero byte (a zero byte read from the
  // file stays in the buffer and so ends the text early). Gives the number of
  // characters read, 0 when the file had nothing left.
  std::size_t read_piece(char* out, std::size_t size);

  // The next piece of at most size - 1 characters where it lies whole in the
  // buffer, as read_piece would give it: its bytes as they are (size bytes
  // from there may be loaded), its characters (the last a line end where a
  // CR LF stands, which takes one byte more) and the bytes it takes. False
  // where it does not lie whole in the buffer or a byte 26 ends the text
  // within it: read_piece then reads it. skip() moves past it.
  struct Span {
    const char* bytes;
    std::size_t size;
    std::size_t taken;
    bool cr_lf;
  };
  bool buffered_piece(std::size_t size, Span& span);
  void skip(const Span& span) { pos_ += span.taken; }
  // After get() gave EOF: true when the text ended at a byte 26 and the file
  // holds more bytes after it, which reading never gives.
  bool cut_at_end_mark();

 private:
  int raw();  // next byte of the file, or EOF
  // Keeps the bytes not read yet, at the buffer's start, and reads more
  // behind them; false when nothing more came.
  bool refill();

  std::FILE* file_ = nullptr;  // none when reading bytes in memory
  std::string appended_;       // read after the file, from appended_at_ on
  std::size_t appended_at_ = 0;
  std::unique_ptr<unsigned char[]> buf_;
  std::size_t buf_size_ = 0;
  const unsigned char* data_;
  std::size_t pos_ = 0, len_ = 0;
  std::size_t clear_to_ = 0;  // no byte 26 from pos_ up to here
  bool ended_ = false;
  bool at_mark_ = false;     // the text ended at a byte 26
  bool after_mark_ = false;  // bytes follow it
};

// The text with every line end written as CR LF.
std::string to_crlf(const char* text, std::size_t size);
std::string to_crlf(const std::string& text);

// Writes the text to the stream with CR LF line ends; true when all of it went.
bool write_text(std::FILE* out, const std::string& text);
