// Text mode, the same on every host: reading turns CR LF into one line end and
// stops at the first byte 26 (Ctrl-Z); writing turns every line end into CR LF.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

class TextReader {
 public:
  explicit TextReader(std::FILE* file) : file_(file) {}
  // Reads the bytes as if they were a file's.
  TextReader(const char* bytes, std::size_t size)
      : data_(reinterpret_cast<const unsigned char*>(bytes)), len_(size) {}
  // Reads the file, then the bytes as if they had been appended to it.
  TextReader(std::FILE* file, std::string appended) : file_(file), appended_(std::move(appended)) {}
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // Next character after the line-end mapping, or EOF.
  int get();
  // Like fgets: reads at most size - 1 characters into out, stopping after a
  // line end, and ends the text with a zero byte (a zero byte read from the
  // file stays in the buffer and so ends the text early). Gives the number of
  // characters read, 0 when the file had nothing left.
  std::size_t read_piece(char* out, std::size_t size);
  // After get() gave EOF: true when the text ended at a byte 26 and the file
  // holds more bytes after it, which reading never gives.
  bool cut_at_end_mark();

 private:
  int raw();  // next byte of the file, or EOF

  std::FILE* file_ = nullptr;  // none when reading bytes in memory
  std::string appended_;       // read after the file
  unsigned char buf_[8192];
  const unsigned char* data_ = buf_;
  std::size_t pos_ = 0, len_ = 0;
  bool ended_ = false;
  bool at_mark_ = false;     // the text ended at a byte 26
  bool after_mark_ = false;  // bytes follow it
};

// The text with every line end written as CR LF.
std::string to_crlf(const char* text, std::size_t size);
std::string to_crlf(const std::string& text);

// Writes the text to the stream with CR LF line ends; true when all of it went.
bool write_text(std::FILE* out, const std::string& text);
