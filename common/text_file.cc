#include "common/text_file.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/vector_sets.h"

#if defined(X86_VECTORS)
#include <emmintrin.h>
#endif

namespace {

// Where the first line feed of the n bytes at p stands, or n: sixteen bytes
// at a time where the processor has vectors (pieces are short).
std::size_t line_end(const unsigned char* p, std::size_t n) {
  std::size_t i = 0;
#if defined(X86_VECTORS)
  for (; i + 16 <= n; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    if (const int lf = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'))))
      return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(lf)));
  }
#endif
  const void* lf = std::memchr(p + i, '\n', n - i);
  return lf ? static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - p) : n;
}

}  // namespace

bool TextReader::refill() {
  const std::size_t kept = len_ - pos_;
  const bool more_appended = appended_at_ < appended_.size();
  if (ended_ || (!file_ && !more_appended) || kept == buf_size_) return false;
  std::memmove(buf_.get(), buf_.get() + pos_, kept);
  pos_ = clear_to_ = 0;
  std::size_t got = file_ ? std::fread(buf_.get() + kept, 1, buf_size_ - kept, file_) : 0;
  if (got == 0 && more_appended) {
    // The file has ended: the bytes appended to it come next.
    file_ = nullptr;
    got = std::min(buf_size_ - kept, appended_.size() - appended_at_);
    std::memcpy(buf_.get() + kept, appended_.data() + appended_at_, got);
    appended_at_ += got;
  }
  len_ = kept + got;
  ended_ = got == 0;
  return got > 0;
}

int TextReader::raw() {
  if (pos_ == len_ && !refill()) return EOF;
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

bool TextReader::buffered_piece(std::size_t size, Span& span) {
  if (size == 0) return false;
  const std::size_t most = size - 1;
  if (len_ - pos_ <= most) refill();
  if (len_ - pos_ <= most) return false;
  const unsigned char* p = data_ + pos_;
  span = {reinterpret_cast<const char*>(p), most, most, false};
  if (const std::size_t at = line_end(p, most + 1); at <= most) {
    span.cr_lf = at > 0 && p[at - 1] == '\r';  // one line end
    if (at < most || span.cr_lf) {
      span.taken = at + 1;
      span.size = span.cr_lf ? at : at + 1;
    }
  }
  // The buffer is searched for byte 26 once, not each piece.
  if (clear_to_ < pos_ + span.taken) {
    const std::size_t from = std::max(clear_to_, pos_);
    const void* mark = std::memchr(data_ + from, 26, len_ - from);
    clear_to_ = mark ? static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - data_) : len_;
  }
  return pos_ + span.taken <= clear_to_;
}

std::size_t TextReader::read_piece(char* out, std::size_t size) {
  if (size == 0) return 0;
  // Most pieces lie in the buffer: one search for the line end takes them.
  // Where the buffer runs out, and at a byte 26, the characters are taken one
  // by one.
  if (Span span; buffered_piece(size, span)) {
    std::memcpy(out, span.bytes, span.size);
    if (span.cr_lf) out[span.size - 1] = '\n';
    out[span.size] = '\0';
    skip(span);
    return span.size;
  }
  std::size_t n = 0;
  while (n + 1 < size) {
    int c = get();
    if (c == EOF) break;
    out[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  out[n] = '\0';
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
