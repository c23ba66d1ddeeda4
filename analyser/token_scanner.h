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
  bool operator==(const KeyText& other) const {
    if (size != other.size) return false;
    if (size <= ShortText::kMax) return ShortText(bytes, ShortText::kMax) == ShortText(other.bytes, ShortText::kMax);
    return std::memcmp(bytes, other.bytes, size) == 0;
  }
};

// The key of a scan that does not know what came before it.
inline bool is_unknown(const KeyText& key) { return key.size == 1 && key.bytes[0] == ' '; }

// A mask of 128 bits, for the classes of two blocks. Its operations make no
// branches, so that the scanner's way through a region takes none either.
struct Bits128 {
  std::uint64_t lo = 0, hi = 0;

  bool any() const { return (lo | hi) != 0; }
  std::size_t lowest() const {  // 128 when none is set
    return lo ? static_cast<std::size_t>(std::countr_zero(lo)) : 64 + static_cast<std::size_t>(std::countr_zero(hi));
  }
  void drop_lowest() {
    const bool in_lo = lo != 0;
    hi = in_lo ? hi : hi & (hi - 1);
    lo &= lo - 1;
  }
  Bits128 operator&(Bits128 o) const { return {lo & o.lo, hi & o.hi}; }
  Bits128 operator~() const { return {~lo, ~hi}; }
  Bits128 shifted_up() const { return {lo << 1, (hi << 1) | (lo >> 63)}; }
  static Bits128 from(std::size_t i) {  // bits i and up (i up to 128)
    const std::uint64_t all = ~std::uint64_t{0};
    if (i >= 64) return {0, i >= 128 ? 0 : all << (i - 64)};
    return {all << i, all};
  }
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
  void take_tokens_from(std::size_t p);
  void drop_tokens() {
    starts_ = ends_ = Bits128{};
    region_live_ = false;
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
  // The byte classes of the region_size_ bytes (64 or 128) from region_start_
  // and, while region_live_, the tokens of the region from pos_ on: bits
  // where they start, and where the white byte after each is. Every move of
  // pos_ but region_token's drops them.
  std::size_t region_start_ = 0, region_size_ = 0;
  Bits128 white_, equals_, odd_;
  Bits128 starts_, ends_;
  bool region_live_ = false;
  KeyText key_;
};

// The usual token comes from the region in hand; the way there is short, as
// each token only clears the lowest bit of starts_ and ends_.
inline bool TokenScanner::next_token(Token& token) { return region_token(token) || next_token_slowly(token); }

// The next token of the region when it ends inside the region, is no longer
// than a piece and holds no zero byte or byte 26.
inline bool TokenScanner::region_token(Token& token) {
  if (!starts_.any() || !ends_.any()) return false;
  const std::size_t start = starts_.lowest(), end = ends_.lowest();
  const Bits128 from_start = Bits128::from(start);
  if (end - start > kPiece || (odd_ & from_start & ~Bits128::from(end)).any()) return false;
  token.data = buf_ + region_start_ + start;
  token.size = end - start;
  token.equals = std::min((equals_ & from_start).lowest(), end) - start;
  token.readable = readable_ - (region_start_ + start);
  starts_.drop_lowest();
  ends_.drop_lowest();
  pos_ = region_start_ + end;
  return true;
}
