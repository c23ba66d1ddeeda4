#include "analyser/token_scanner.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {

// Byte classes for reading a token byte by byte.
constexpr unsigned char kWhite = 1, kZero = 2, kEquals = 4, kEnd = 8;
constexpr auto kByteClass = [] {
  std::array<unsigned char, 256> table{};
  for (const unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = kWhite;
  table[0] = kZero;
  table['='] = kEquals;
  table[kEndOfLog] = kEnd;
  return table;
}();

bool is_white(unsigned char c) { return kByteClass[c] == kWhite; }

// Bits from..to-1 set (from below 64).
std::uint64_t bit_range(std::size_t from, std::size_t to) {
  const std::uint64_t below_to = to >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
  return below_to & ~((std::uint64_t{1} << from) - 1);
}

std::size_t text_size(const char* bytes, std::size_t size) {
  const void* zero = std::memchr(bytes, 0, size);
  return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : size;
}

}  // namespace

TokenScanner::TokenScanner(std::FILE* log, const ScanSettings& settings, std::uint64_t start)
    : window_(log, settings.window), kernels_(scan_kernels(settings.kernels)), dropped_(start) {}

// Keeps the bytes from pos_ on and takes in more behind them. False when
// nothing new came.
bool TokenScanner::fill() {
  if (ended_) return false;
  const bool more = window_.advance(pos_);
  dropped_ += pos_;
  buf_ = window_.data();
  len_ = window_.size();
  readable_ = window_.readable();
  pos_ = 0;
  memo_pos_ = memo_anchor_ = 0;
  drop_tokens();
  region_size_ = 0;
  if (!more) ended_ = true;
  return more;
}

// A byte 26 at i: the log ends before it.
void TokenScanner::end_log_at(std::size_t i) {
  len_ = i;
  ended_ = true;
  drop_tokens();
  region_size_ = 0;
}

// Classifies the bytes from i on: 128 of them when the span holds them, 64
// when it holds no more; false when it holds fewer. Past 64 bytes, a region
// of 64 has no white byte, so no token ends there.
bool TokenScanner::load_region(std::size_t i) {
  if (i + kClassBlock > len_) return false;
  ByteMasks blocks[2] = {{}, {0, 0, ~std::uint64_t{0}}};
  const std::size_t count = i + 2 * kClassBlock <= len_ ? 2 : 1;
  kernels_.classify(buf_ + i, count, blocks);
  white_ = {blocks[0].white, blocks[1].white};
  token_bytes_ = ~white_;
  equals_ = {blocks[0].equals, blocks[1].equals};
  odd_ = {blocks[0].odd, blocks[1].odd};
  odd_in_region_ = odd_.any();
  region_start_ = i;
  region_size_ = count * kClassBlock;
  return true;
}

// A token that the region in hand does not hold: from a region that starts
// with it when the span has one, byte by byte otherwise.
bool TokenScanner::next_token_slowly(Token& token) {
  std::size_t from = pos_;
  if (region_live_ && pos_ - region_start_ < region_size_)  // the next token starts there, or after the region
    from = region_start_ + std::min(token_bytes_.next_from(pos_ - region_start_), region_size_);
  drop_tokens();
  if (load_region(from)) {
    pos_ = from;
    region_live_ = true;
    if (region_token(token)) return true;
    drop_tokens();
  }
  return plain_token(token);
}

// Any token, byte by byte: pieces of long runs, zero bytes, byte 26, the ends
// of the span.
bool TokenScanner::plain_token(Token& token) {
  drop_tokens();
  for (;;) {
    while (pos_ < len_ && is_white(at(pos_))) ++pos_;
    if (pos_ < len_) break;
    if (!fill()) return false;
  }
  while (len_ - pos_ < kPiece && fill()) {
  }
  const std::size_t limit = std::min(kPiece, len_ - pos_);
  const auto* bytes = reinterpret_cast<const unsigned char*>(buf_ + pos_);
  std::size_t n = limit, zero = kPiece, equals = kPiece;
  for (std::size_t i = 0; i < limit; ++i) {
    const unsigned char kind = kByteClass[bytes[i]];
    if (kind == 0) continue;
    if (kind == kWhite || kind == kEnd) {
      n = i;
      break;
    }
    if (kind == kZero && zero == kPiece) zero = i;
    if (kind == kEquals && equals == kPiece) equals = i;
  }
  if (n < limit && bytes[n] == kEndOfLog) end_log_at(pos_ + n);
  if (n == 0) return false;  // a byte 26 where the token would start
  token.data = buf_ + pos_;
  token.size = std::min(n, zero);
  token.equals = std::min(equals, token.size);
  token.readable = readable_ - pos_;
  pos_ += n;
  return true;
}

// Where the pieces of the run that reaches position x start counting: just
// after the last white byte before x, or pos_ when there is none since pos_.
std::size_t TokenScanner::run_anchor(std::size_t x) {
  const bool memo_usable = memo_pos_ >= pos_ && memo_pos_ <= x;
  const std::size_t lower = memo_usable ? memo_pos_ : pos_;
  std::size_t anchor = memo_usable ? memo_anchor_ : pos_;
  for (std::size_t i = x; i > lower; --i)
    if (is_white(at(i - 1))) {
      anchor = i;
      break;
    }
  memo_pos_ = x;
  memo_anchor_ = anchor;
  return anchor;
}

// Whether the "Tests" at q is a whole token (or one followed by a zero byte).
bool TokenScanner::is_marker_token(std::size_t q) {
  if (q + kMarkerSize < len_) {
    const unsigned char after = at(q + kMarkerSize);
    if (after != 0 && !is_white(after)) return false;
  }
  if (q == pos_ || is_white(at(q - 1))) return true;
  return (q - run_anchor(q)) % kPiece == 0;
}

std::size_t TokenScanner::boundary_at_or_before(std::size_t x) {
  if (x == pos_ || is_white(at(x)) || is_white(at(x - 1))) return x;
  const std::size_t anchor = run_anchor(x);
  return anchor + (x - anchor) / kPiece * kPiece;
}

// Moves pos_ to the boundary, making the last token before it, if any, the key.
void TokenScanner::pass_tokens_until(std::size_t boundary) {
  std::size_t end = boundary;
  while (end > pos_ && is_white(at(end - 1))) --end;
  if (end > pos_) {
    std::size_t run = end;
    while (run > pos_ && !is_white(at(run - 1))) --run;
    const std::size_t start = run + (end - 1 - run) / kPiece * kPiece;
    key_.assign(buf_ + start, text_size(buf_ + start, end - start));
  }
  pos_ = boundary;
}

// The usual marker, read from the byte classes of the 16 bytes before it and
// the 112 from it on (most of its entry): white space on both sides and a
// short key token before it, or only white space back to pos_. Takes the key
// and moves past the marker when it is one; unsure for anything else, which
// the rules below work out byte by byte.
TokenScanner::MarkerGuess TokenScanner::quick_marker(std::size_t q) {
  constexpr std::size_t kBefore = ShortText::kMax;
  if (q < pos_ + 1 || q < kBefore || !load_region(q - kBefore)) return MarkerGuess::Unsure;
  // Bit kBefore of the first block is the marker's "T".
  const std::uint64_t white = white_.lo, odd = odd_.lo;
  const std::uint64_t after = std::uint64_t{1} << (kBefore + kMarkerSize);
  if (odd & after) return MarkerGuess::Unsure;
  if (!(white & after)) return MarkerGuess::No;
  if (!(white & (std::uint64_t{1} << (kBefore - 1)))) return MarkerGuess::Unsure;
  // The key: the last run of non-white bytes before the marker, from pos_ on.
  const bool pos_in_region = pos_ >= region_start_;
  const std::size_t lowest = pos_in_region ? pos_ - region_start_ : 0;
  const std::uint64_t ahead = ~white & bit_range(lowest, kBefore);
  if (ahead == 0) {
    if (!pos_in_region) return MarkerGuess::Unsure;
  } else {
    const std::size_t end = 64 - static_cast<std::size_t>(std::countl_zero(ahead));
    const std::uint64_t white_before = white & bit_range(lowest, end);
    if (white_before == 0 && !pos_in_region) return MarkerGuess::Unsure;
    const std::size_t start = white_before ? 64 - static_cast<std::size_t>(std::countl_zero(white_before)) : lowest;
    key_.size = static_cast<std::size_t>(std::countr_zero((odd >> start) | (std::uint64_t{1} << (end - start))));
    const ShortText text(buf_ + region_start_ + start, key_.size);
    std::memcpy(key_.bytes, text.words, ShortText::kMax);
  }
  pos_ = q + kMarkerSize;
  region_live_ = true;
  return MarkerGuess::Yes;
}

bool TokenScanner::next_marker() {
  drop_tokens();
  memo_pos_ = memo_anchor_ = pos_;
  std::size_t from = pos_;
  for (;;) {
    const std::size_t q = from + kernels_.find_marker(buf_ + from, len_ - from);
    std::size_t searched_to;  // every "Tests" that begins below it has been looked at
    if (q < len_ && at(q) == kEndOfLog) {
      end_log_at(q);
      searched_to = q;
    } else if (q < len_) {
      if (q + kMarkerSize < len_ || ended_) {
        const MarkerGuess quick = quick_marker(q);
        if (quick == MarkerGuess::Yes) return true;
        if (quick == MarkerGuess::No) {
          from = q + 1;
          continue;
        }
        if (q + kMarkerSize < len_ && at(q + kMarkerSize) == kEndOfLog) end_log_at(q + kMarkerSize);
        if (is_marker_token(q)) {
          pass_tokens_until(q);
          // The marker token itself: after a zero byte, the rest of its piece too.
          if (q + kMarkerSize < len_ && at(q + kMarkerSize) == 0) {
            Token marker;
            next_token(marker);
          } else {
            pos_ = q + kMarkerSize;
          }
          return true;
        }
        from = q + 1;
        continue;
      }
      searched_to = q;  // the byte after it is still to come
    } else {
      searched_to = len_ >= kMarkerSize - 1 ? len_ - (kMarkerSize - 1) : 0;
    }
    if (ended_) {
      pos_ = len_;
      return false;
    }
    searched_to = std::max(searched_to, pos_);
    pass_tokens_until(boundary_at_or_before(searched_to));
    const std::size_t shift = pos_;
    fill();
    from = searched_to - shift;
  }
}
