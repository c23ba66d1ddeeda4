#include "common/text_file.h"

#include <cstring>

int TextReader::raw() {
  if (pos_ == len_) {
    if (ended_ || !file_) return EOF;
    len_ = std::fread(buf_, 1, sizeof buf_, file_);
    pos_ = 0;
    if (len_ == 0 && !appended_.empty()) {
      file_ = nullptr;
      data_ = reinterpret_cast<const unsigned char*>(appended_.data());
      len_ = appended_.size();
    }
    if (len_ == 0) {
      ended_ = true;
      return EOF;
    }
  }
  return data_[pos_++];
}

int TextReader::get() {
  int c = raw();
  if (c == 26) {
    ended_ = at_mark_ = true;
    after_mark_ = pos_ < len_;
    pos_ = len_;
    return EOF;
  }
  if (c == '\r') {
    int next = raw();
    if (next == '\n') return '\n';
    if (next != EOF) --pos_;  // raw() just read it from the buffer
  }
  return c;
}

std::size_t TextReader::read_piece(char* out, std::size_t size) {
  std::size_t n = 0;
  while (n + 1 < size) {
    int c = get();
    if (c == EOF) break;
    out[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (size > 0) out[n] = '\0';
  return n;
}

bool TextReader::cut_at_end_mark() {
  if (at_mark_ && !after_mark_ && file_) after_mark_ = std::fgetc(file_) != EOF;
  return after_mark_;
}

std::string to_crlf(const char* text, std::size_t size) {
  std::string out;
  out.reserve(size + 16);
  for (std::size_t i = 0; i < size; ++i) {
    if (text[i] == '\n') out += '\r';
    out += text[i];
  }
  return out;
}

std::string to_crlf(const std::string& text) { return to_crlf(text.data(), text.size()); }

bool write_text(std::FILE* out, const std::string& text) {
  const std::string bytes = to_crlf(text);
  return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
}
