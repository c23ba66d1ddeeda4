// The scan looks at each byte of the log about once: between entries it jumps
// from one "Tests" to the next with a fast search and works out the token
// rules around each find (is it a whole token, which token came before it);
// only the few tokens of an entry are read one by one.
#include "analyser/log_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/host.h"

namespace {

constexpr std::size_t kPiece = 100;  // the longest token
constexpr std::size_t kCarry = 256;  // room for the bytes kept across reads
constexpr std::size_t kSlack = 16;   // never data; lets a 16-byte load run past the end
constexpr std::size_t kMarkerSize = 5;
constexpr std::int64_t kProgressStep = 5000;

// Byte classes for the token loop.
constexpr unsigned char kWhite = 1, kZero = 2, kEquals = 4;
constexpr auto kByteClass = [] {
  std::array<unsigned char, 256> table{};
  for (const unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = kWhite;
  table[0] = kZero;
  table['='] = kEquals;
  return table;
}();

bool is_white(unsigned char c) { return kByteClass[c] == kWhite; }

#if defined(__SSE2__)
// Bit i is set when byte i of the sixteen is white space, zero or "=".
unsigned special_bytes(const unsigned char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i from_tab = _mm_sub_epi8(v, _mm_set1_epi8('\t'));  // TAB to CR become 0 to 4
  const __m128i tab_to_cr = _mm_cmpeq_epi8(_mm_min_epu8(from_tab, _mm_set1_epi8(4)), from_tab);
  const __m128i space = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
  const __m128i zero = _mm_cmpeq_epi8(v, _mm_setzero_si128());
  const __m128i equals = _mm_cmpeq_epi8(v, _mm_set1_epi8('='));
  return static_cast<unsigned>(
      _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(tab_to_cr, space), _mm_or_si128(zero, equals))));
}
#endif

// A token's text: its bytes up to the first zero byte.
struct Token {
  const char* data = nullptr;
  std::size_t size = 0;
  std::size_t equals = 0;  // where its first "=" is, or size when it holds none

  bool is(std::string_view word) const { return std::string_view(data, size) == word; }
  bool begins_with(std::string_view prefix) const { return std::string_view(data, size).starts_with(prefix); }
};

std::size_t text_size(const char* bytes, std::size_t size) {
  const void* zero = std::memchr(bytes, 0, size);
  return zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes) : size;
}

struct KeyText {
  char bytes[kPiece];
  std::size_t size = 0;

  void assign(const char* data, std::size_t n) {
    size = text_size(data, n);
    std::memcpy(bytes, data, size);
  }
  bool operator==(const KeyText& other) const {
    return size == other.size && std::memcmp(bytes, other.bytes, size) == 0;
  }
};

// Reads the log through a buffer. pos_ is always a token boundary: no token
// spans it, so the next token starts at the first non-white byte from there.
class Scanner {
 public:
  Scanner(std::FILE* log, std::size_t read_size)
      : log_(log), read_size_(std::max<std::size_t>(read_size, 1)),
        buf_(new char[read_size_ + kCarry + kSlack]()) {}

  // The next token; false at the end of the log.
  bool next_token(Token& token);
  // Moves to the next "Tests" token, making the last token passed on the way,
  // if any, the message key. False at the end of the log.
  bool next_marker();

  KeyText key;

 private:
  bool fill();
  unsigned char at(std::size_t i) const { return static_cast<unsigned char>(buf_[i]); }
  std::size_t run_anchor(std::size_t x);
  bool is_marker_token(std::size_t q);
  std::size_t boundary_at_or_before(std::size_t x);
  void pass_tokens_until(std::size_t boundary);

  std::FILE* log_;
  const std::size_t read_size_;
  std::unique_ptr<char[]> buf_;
  std::size_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  // run_anchor's memory: pieces of the run around memo_pos_ start at
  // memo_anchor_ plus multiples of 100.
  std::size_t memo_pos_ = 0, memo_anchor_ = 0;
};

// Keeps the bytes from pos_ on and reads more behind them. False when nothing
// new came (end of file, read error, or a byte 26 right away).
bool Scanner::fill() {
  if (eof_) return false;
  const std::size_t keep = len_ - pos_;
  std::memmove(buf_.get(), buf_.get() + pos_, keep);
  pos_ = 0;
  len_ = keep;
  memo_pos_ = memo_anchor_ = 0;
  const std::size_t got = std::fread(buf_.get() + len_, 1, read_size_, log_);
  if (got == 0) {
    eof_ = true;
    return false;
  }
  if (const void* eof_mark = std::memchr(buf_.get() + len_, 26, got)) {
    eof_ = true;
    const std::size_t before = len_;
    len_ = static_cast<std::size_t>(static_cast<const char*>(eof_mark) - buf_.get());
    return len_ > before;
  }
  len_ += got;
  return true;
}

bool Scanner::next_token(Token& token) {
  for (;;) {
    while (pos_ < len_ && is_white(at(pos_))) ++pos_;
    if (pos_ < len_) break;
    if (!fill()) return false;
  }
  while (len_ - pos_ < kPiece && fill()) {
  }
  const std::size_t limit = std::min(kPiece, len_ - pos_);
  const auto* bytes = reinterpret_cast<const unsigned char*>(buf_.get() + pos_);
  std::size_t n = 0, zero = kPiece, equals = kPiece;
#if defined(__SSE2__)
  // Sixteen bytes at a time; the buffer has room behind len_ for the last load.
  for (bool done = false; !done && n < limit; n += 16) {
    for (unsigned mask = special_bytes(bytes + n); mask != 0; mask &= mask - 1) {
      const std::size_t i = n + static_cast<std::size_t>(std::countr_zero(mask));
      const unsigned char kind = i < limit ? kByteClass[bytes[i]] : kWhite;
      if (kind == kWhite) {
        n = i;
        done = true;
        break;
      }
      if (kind == kZero && zero == kPiece) zero = i;
      if (kind == kEquals && equals == kPiece) equals = i;
    }
    if (done) break;
  }
  n = std::min(n, limit);
#else
  for (; n < limit; ++n) {
    const unsigned char kind = kByteClass[bytes[n]];
    if (kind == 0) continue;
    if (kind == kWhite) break;
    if (kind == kZero && zero == kPiece) zero = n;
    if (kind == kEquals && equals == kPiece) equals = n;
  }
#endif
  token.data = buf_.get() + pos_;
  token.size = std::min(n, zero);
  token.equals = std::min(equals, token.size);
  pos_ += n;
  return true;
}

// Where the pieces of the run that reaches position x start counting: just
// after the last white byte before x, or pos_ when there is none since pos_.
std::size_t Scanner::run_anchor(std::size_t x) {
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
bool Scanner::is_marker_token(std::size_t q) {
  if (q + kMarkerSize < len_) {
    const unsigned char after = at(q + kMarkerSize);
    if (after != 0 && !is_white(after)) return false;
  }
  if (q == pos_ || is_white(at(q - 1))) return true;
  return (q - run_anchor(q)) % kPiece == 0;
}

std::size_t Scanner::boundary_at_or_before(std::size_t x) {
  if (x == pos_ || is_white(at(x)) || is_white(at(x - 1))) return x;
  const std::size_t anchor = run_anchor(x);
  return anchor + (x - anchor) / kPiece * kPiece;
}

void Scanner::pass_tokens_until(std::size_t boundary) {
  std::size_t end = boundary;
  while (end > pos_ && is_white(at(end - 1))) --end;
  if (end > pos_) {
    std::size_t run = end;
    while (run > pos_ && !is_white(at(run - 1))) --run;
    const std::size_t start = run + (end - 1 - run) / kPiece * kPiece;
    key.assign(buf_.get() + start, end - start);
  }
  pos_ = boundary;
}

bool Scanner::next_marker() {
  memo_pos_ = memo_anchor_ = pos_;
  std::size_t from = pos_;
  for (;;) {
    const std::size_t q = from + find_marker_text(buf_.get() + from, len_ - from);
    std::size_t searched_to;  // every "Tests" that begins below it has been looked at
    if (q + kMarkerSize <= len_) {
      if (q + kMarkerSize < len_ || eof_) {
        if (is_marker_token(q)) {
          pass_tokens_until(q);
          return true;
        }
        from = q + 1;
        continue;
      }
      searched_to = q;  // the byte after it is still to come
    } else {
      searched_to = len_ >= kMarkerSize - 1 ? len_ - (kMarkerSize - 1) : 0;
    }
    if (eof_) {
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

// Test names met before, each with its slot (-1 when the table was full; it
// stays full), so that a test token usually costs one hash and one comparison
// instead of a search through the table.
class NameCache {
 public:
  int slot_for(std::string_view name, std::uint32_t hash, TestTable& table, Console& console) {
    for (std::size_t i = hash & (kSize - 1), probes = 0; probes < kSize; i = (i + 1) & (kSize - 1), ++probes) {
      Entry& entry = entries_[i];
      if (!entry.used) {
        const int slot = find_or_add_test(table, name, console);
        if (count_ < kSize / 2) {  // half full at most, so a miss soon meets a free entry
          entry = Entry{true, hash, slot, std::string(name)};
          ++count_;
        }
        return slot;
      }
      if (entry.hash == hash && entry.name == name) return entry.slot;
    }
    return find_or_add_test(table, name, console);
  }

 private:
  static constexpr std::size_t kSize = 512;
  struct Entry {
    bool used = false;
    std::uint32_t hash = 0;
    int slot = -1;
    std::string name;
  };
  std::array<Entry, kSize> entries_;
  std::size_t count_ = 0;
};

void print_progress(std::int64_t recipients, std::int64_t& last_flushed, Console& console) {
  std::string number = " ";
  number += std::to_string(recipients);
  console.print(number);
  // Repeats of the same number (passes without an entry) wait for the next
  // new one, so a log full of them does not flush at every pass.
  if (recipients != last_flushed) {
    console.flush();
    last_flushed = recipients;
  }
}

}  // namespace

std::size_t find_marker_text(const char* bytes, std::size_t size) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // Sixteen places at a time: those with "T" there and "s" four bytes on.
  const __m128i first = _mm_set1_epi8('T');
  const __m128i last = _mm_set1_epi8('s');
  for (; i + 16 + kMarkerSize - 1 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + kMarkerSize - 1));
    auto mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    while (mask != 0) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (std::memcmp(bytes + at + 1, "est", 3) == 0) return at;
      mask &= mask - 1;
    }
  }
#endif
  for (; i + kMarkerSize <= size; ++i)
    if (bytes[i] == 'T' && std::memcmp(bytes + i + 1, "ests", 4) == 0) return i;
  return size;
}

void scan_log(std::FILE* log, std::int32_t scan_limit, TestTable& table, ScanTotals& totals,
              Console& console, std::size_t read_size) {
  Scanner scanner(log, read_size);
  NameCache names;
  KeyText remembered;
  bool have_remembered = false;  // at the start no key equals the remembered one
  std::int64_t passes_left = scan_limit;
  std::int64_t last_flushed = -1;
  Token token;
  while (scanner.next_marker()) {
    scanner.next_token(token);  // the "Tests" itself
    if (!scanner.next_token(token)) return;
    if (token.is("failed")) {
      if (!scanner.next_token(token)) return;
      if (token.begins_with("[weight=")) {
        ++totals.recipients;
        const bool opens_message = !have_remembered || !(scanner.key == remembered);
        if (opens_message) ++totals.messages;
        while (scanner.next_token(token)) {
          if (token.equals == token.size) {  // the end token
            remembered = scanner.key;
            have_remembered = true;
            break;
          }
          // The name: the token up to its "=", upper-cased.
          char name[kPiece];
          std::uint32_t hash = 2166136261u;
          for (std::size_t i = 0; i < token.equals; ++i) {
            const char c = token.data[i];
            name[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            hash = (hash ^ static_cast<unsigned char>(name[i])) * 16777619u;
          }
          const int slot = names.slot_for(std::string_view(name, token.equals), hash, table, console);
          if (slot < 0) continue;
          ++table.slots[slot].recipient_fails;
          if (opens_message) ++table.slots[slot].message_fails;
        }
      }
    }
    if (totals.recipients % kProgressStep == 0) print_progress(totals.recipients, last_flushed, console);
    if (scan_limit > 0 && --passes_left == 0) return;
  }
}

bool scan_log_path(const char* path, std::int32_t scan_limit, TestTable& table, ScanTotals& totals,
                   Console& console) {
  std::FILE* log = host_open_read(path);
  if (!log) {
    std::string message = "\n\n Log File Not Found!\n";
    message.append(path).append("\n");
    console.print(message);
    return false;
  }
  scan_log(log, scan_limit, table, totals, console);
  std::fclose(log);
  return true;
}
