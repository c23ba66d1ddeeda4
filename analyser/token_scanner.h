// The filter's log as a stream of tokens: runs of bytes other than space,
// TAB, LF, CR, VT and FF. A longer run than 100 bytes is read as 100-byte
// pieces and a last shorter one; a zero byte ends a token's text (the rest of
// the piece is read and ignored); byte 26 ends the log.
//
// The scanner looks at most bytes of the log once: between entries it jumps
// from one "Tests" to the next with a fast search and works out the token
// rules around each find (is it a whole token, which token came before it).
// The few tokens of an entry come from the byte classes of the 128 bytes
// around the find, where a token's start, end and "=" are a few bit
// operations away. Whatever does not fit that mould (long runs and their
// pieces, zero bytes, byte 26, the ends of the span) is read byte by byte.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "analyser/log_window.h"
#include "analyser/scan_kernels.h"

inline constexpr std::size_t kPiece = 100;  // the longest token

struct ScanSettings {
  LogWindowSettings window;
  VectorSet kernels = usable_kernel_sets().back();
  // A log of at least split_size bytes, given a second stream of it, is
  // scanned by two threads at once, the second starting at the first line at
  // or after split_at (0: the middle of the log).
  std::uint64_t split_size = std::uint64_t{16} << 20;
  std::uint64_t split_at = 0;
};

// A token's text: its bytes up to the first zero byte.
struct Token {
  const char* data = nullptr;
  std::size_t size = 0;
  std::size_t equals = 0;    // where its first "=" is, or size when it holds none
  std::size_t readable = 0;  // how many bytes from data on may be loaded, at least size

  bool is(std::string_view word) const { return std::string_view(data, size) == word; }
  bool begins_with(std::string_view prefix) const { return std::string_view(data, size).starts_with(prefix); }
  bool holds_equals() const { return equals < size; }
};

// Up to 16 bytes of text as two words, zero bytes after the text: a text
// that holds no zero byte is told apart from others by the words alone. All
// 16 bytes from p must be readable.
struct ShortText {
  static constexpr std::size_t kMax = 16;
  std::uint64_t words[2] = {0, 0};

  ShortText() = default;
  ShortText(const char* p, std::size_t n) {
    static constexpr auto kKeep = [] {
      std::array<unsigned char, 2 * kMax> keep{};
      for (std::size_t i = 0; i < kMax; ++i) keep[i] = 0xff;
      return keep;
    }();
    std::uint64_t keep[2];
    std::memcpy(words, p, kMax);
    std::memcpy(keep, kKeep.data() + kMax - n, kMax);
    words[0] &= keep[0];
    words[1] &= keep[1];
  }
  bool operator==(const ShortText& o) const { return words[0] == o.words[0] && words[1] == o.words[1]; }
};

// The text of a token, kept beyond the span it was read from.
struct KeyText {
  char bytes[kPiece]{};  // zero past the text, up to ShortText::kMax at least
  std::size_t size = 0;

  void assign(const char* text, std::size_t n) {
    std::memcpy(bytes, text, n);
    if (n < ShortText::kMax) std::memset(bytes + n, 0, ShortText::kMax - n);
    size = n;
  }
  // Copies another key: a short one's 16 bytes (the rest no comparison reads).
  void copy(const KeyText& other) {
    if (other.size <= ShortText::kMax)
      std::memcpy(bytes, other.bytes, ShortText::kMax);
    else
      std::memcpy(bytes, other.bytes, kPiece);
    size = other.size;
  }
  bool operator==(const KeyText& other) const {
    if (size != other.size) return false;
    if (size <= ShortText::kMax) return ShortText(bytes, ShortText::kMax) == ShortText(other.bytes, ShortText::kMax);
    return std::memcmp(bytes, other.bytes, size) == 0;
  }
};

// The key of a scan that does not know what came before it.
inline bool is_unknown(const KeyText& key) { return key.size == 1 && key.bytes[0] == ' '; }

// A mask of 128 bits, for the classes of two blocks.
struct Bits128 {
  std::uint64_t lo = 0, hi = 0;

  bool any() const { return (lo | hi) != 0; }
  // The lowest set bit at or above i (i below 128); 128 when there is none.
  // One shift serves both words: below 64 it masks the low one, from 64 on
  // the high one.
  std::size_t next_from(std::size_t i) const {
    const std::uint64_t from = ~std::uint64_t{0} << (i & 63);
    const bool low = i < 64;
    const std::uint64_t l = low ? lo & from : 0, h = low ? hi : hi & from;
    return l ? static_cast<std::size_t>(std::countr_zero(l)) : 64 + static_cast<std::size_t>(std::countr_zero(h));
  }
  Bits128 operator~() const { return {~lo, ~hi}; }
};

class TokenScanner {
 public:
  // The stream stands at offset start of the log (a token boundary).
  TokenScanner(std::FILE* log, const ScanSettings& settings, std::uint64_t start = 0);

  // Moves past the next "Tests" token. The last token passed on the way, if
  // any, becomes the key. False at the end of the log.
  bool next_marker();
  // The next token; false at the end of the log.
  bool next_token(Token& token);
  // Moves past the next two tokens when they are "failed" and one that
  // begins with "[weight=", written as usual: each after a single space, the
  // second ending within the bytes in hand. False, having moved nowhere, when
  // they are not, or not written so: next_token tells then.
  bool skip_entry_head();

  const KeyText& key() const { return key_; }
  // Makes the key one that no token can be (is_unknown), until a token is
  // passed before a marker.
  void forget_key() { key_.assign(" ", 1); }
  // Where in the log the scanner stands: just past the last token it read.
  std::uint64_t offset() const { return dropped_ + pos_; }

 private:
  // Whether a "Tests" found by the fast search is the marker token.
  enum class MarkerGuess { No, Yes, Unsure };

  bool fill();
  unsigned char at(std::size_t i) const { return static_cast<unsigned char>(buf_[i]); }
  void end_log_at(std::size_t i);
  bool load_region(std::size_t i);
  void drop_tokens() { region_live_ = false; }
  // The token from start to end (region offsets) ends inside the region,
  // is no longer than a piece and holds no zero byte or byte 26.
  bool region_holds(std::size_t start, std::size_t end) const {
    return end - start <= kPiece && end < 2 * kClassBlock && !(odd_in_region_ && odd_.next_from(start) < end);
  }
  bool region_token(Token& token);
  bool next_token_slowly(Token& token);
  bool plain_token(Token& token);
  MarkerGuess quick_marker(std::size_t q);
  std::size_t run_anchor(std::size_t x);
  bool is_marker_token(std::size_t q);
  std::size_t boundary_at_or_before(std::size_t x);
  void pass_tokens_until(std::size_t boundary);

  LogWindow window_;
  const ScanKernels& kernels_;
  // The span: buf_[pos_] to buf_[len_ - 1]; loads may reach buf_[readable_ - 1].
  // pos_ is always a token boundary: no token spans it, so the next token
  // starts at the first non-white byte from there.
  const char* buf_ = nullptr;
  std::size_t pos_ = 0, len_ = 0, readable_ = 0;
  bool ended_ = false;  // len_ is the end of the log
  std::uint64_t dropped_ = 0;  // the log's bytes before buf_
  // run_anchor's memory: pieces of the run around memo_pos_ start at
  // memo_anchor_ plus multiples of 100.
  std::size_t memo_pos_ = 0, memo_anchor_ = 0;
  // The byte classes of the region_size_ bytes (64 or 128) from region_start_.
  // While region_live_, pos_ lies in the region (or just past it) and the
  // next tokens are read from the classes: a token starts at the first
  // non-white byte from pos_ on and ends at the first white byte after that.
  // Every move of pos_ but region_token's drops them.
  std::size_t region_start_ = 0, region_size_ = 0;
  Bits128 white_, equals_, odd_;
  Bits128 token_bytes_;  // ~white_
  bool odd_in_region_ = false;  // odd_ has a bit set
  bool region_live_ = false;
  KeyText key_;
};

// The usual token comes from the region in hand; the way there is short, a
// few bit searches in the region's classes.
inline bool TokenScanner::next_token(Token& token) { return region_token(token) || next_token_slowly(token); }

// The next token of the region when it ends inside the region, is no longer
// than a piece and holds no zero byte or byte 26.
inline bool TokenScanner::region_token(Token& token) {
  if (!region_live_) return false;
  const std::size_t start = token_bytes_.next_from(pos_ - region_start_);
  if (start >= region_size_) return false;
  const std::size_t end = white_.next_from(start);  // 128 when the token runs past the region
  if (!region_holds(start, end)) return false;
  token.data = buf_ + region_start_ + start;
  token.size = end - start;
  token.equals = std::min(equals_.next_from(start), end) - start;
  token.readable = readable_ - (region_start_ + start);
  pos_ = region_start_ + end;
  return true;
}

inline bool TokenScanner::skip_entry_head() {
  static constexpr char kHead[] = " failed [weight=";
  constexpr std::size_t kHeadSize = sizeof kHead - 1, kWeightAt = 8;
  if (!region_live_ || pos_ + kHeadSize > region_start_ + region_size_) return false;
  if (std::memcmp(buf_ + pos_, kHead, kHeadSize) != 0) return false;
  const std::size_t start = pos_ + kWeightAt - region_start_;
  const std::size_t end = white_.next_from(start + kHeadSize - kWeightAt);
  if (!region_holds(start, end)) return false;
  pos_ = region_start_ + end;
  return true;
}
