#include "admin/activity_log/byte_scan.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "common/text.h"

#if defined(X86_VECTORS)
#include <immintrin.h>
#endif

namespace {

// A run of the address looked for holds the address characters and "@".
constexpr std::uint8_t kNotSubject = 1, kAddress = 2;
constexpr auto kClass = [] {
  std::array<std::uint8_t, 256> table{};
  for (int c = 0; c < 256; ++c)
    if (kAddressChars[c] || c == '@') table[c] = kAddress;
  for (int c = 0; c < 32; ++c) table[c] = kNotSubject;
  for (int c = 'a'; c <= 'z'; ++c) table[c] = kNotSubject;
  return table;
}();

std::uint8_t class_of(char c) { return kClass[static_cast<unsigned char>(c)]; }

std::size_t plain_line_end_bits(const char* text, std::size_t size, std::uint64_t* bits) {
  std::size_t eof = size;
  for (std::size_t word = 0; word * 64 < size; ++word) {
    std::uint64_t found = 0;
    for (std::size_t i = word * 64; i < std::min(size, word * 64 + 64); ++i) {
      if (text[i] == 26 && eof == size) eof = i;
      if (text[i] == '\n' && i < eof) found |= std::uint64_t{1} << (i % 64);
    }
    bits[word] = found;
  }
  return eof;
}

std::size_t plain_subject_run_start(const char* text, std::size_t end) {
  while (end > 0 && class_of(text[end - 1]) != kNotSubject) --end;
  return end;
}

AddressRun plain_address_run(const char* text, std::size_t end) {
  AddressRun run;
  for (; end > 0 && class_of(text[end - 1]) == kAddress; --end)
    if (text[end - 1] == '@') {
      ++run.ats;
      run.first_at = end - 1;
    }
  run.start = end;
  run.ats = std::min(run.ats, 2);
  return run;
}

// The runs of a message part, with one form of each search.
template <std::size_t (*Subject)(const char*, std::size_t), AddressRun (*Address)(const char*, std::size_t)>
MessageRuns runs_with(const char* text, std::size_t body, std::size_t subject_back, std::size_t from_back) {
  MessageRuns runs;
  runs.subject = Subject(text, body);
  if (runs.subject < subject_back) return runs;
  runs.sender = Address(text, runs.subject - subject_back);
  if (runs.sender.start < from_back) return runs;
  runs.recipient = Address(text, runs.sender.start - from_back);
  return runs;
}

MessageRuns plain_message_runs(const char* text, std::size_t body, std::size_t subject_back, std::size_t from_back) {
  return runs_with<plain_subject_run_start, plain_address_run>(text, body, subject_back, from_back);
}

#if defined(X86_VECTORS)
// The bits of 64 bytes from where, line ends and bytes 26 apart: the end
// when there is a byte 26 (the words after it clear), or 0.
std::size_t put_line_ends(std::uint64_t ends, std::uint64_t eofs, std::size_t where, std::uint64_t* bits,
                          std::size_t size) {
  if (!eofs) {
    bits[where / 64] = ends;
    return 0;
  }
  const int at = std::countr_zero(eofs);
  bits[where / 64] = ends & ((std::uint64_t{1} << at) - 1);
  for (std::size_t word = where / 64 + 1; word * 64 < size; ++word) bits[word] = 0;
  return where + static_cast<std::size_t>(at) + 1;  // one past, so that 0 stays "none"
}

// The rest after the last whole 64 bytes, byte by byte.
std::size_t finish_line_ends(const char* text, std::size_t from, std::size_t size, std::uint64_t* bits) {
  if (from == size) return size;
  return from + plain_line_end_bits(text + from, size - from, bits + from / 64);
}

// Bytes from lo to hi (unsigned).
__m128i in_range(__m128i v, unsigned char lo, unsigned char hi) {
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(lo)));
  const __m128i limit = _mm_set1_epi8(static_cast<char>(hi - lo));
  return _mm_cmpeq_epi8(_mm_min_epu8(shifted, limit), shifted);
}

__m128i equal(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }

std::size_t line_end_bits_sse2(const char* text, std::size_t size, std::uint64_t* bits) {
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    std::uint64_t ends = 0, eofs = 0;
    for (int part = 0; part < 4; ++part) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i + 16 * part));
      ends |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(equal(v, '\n')))) << (16 * part);
      eofs |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(equal(v, 26)))) << (16 * part);
    }
    if (const std::size_t eof = put_line_ends(ends, eofs, i, bits, size)) return eof - 1;
  }
  return finish_line_ends(text, i, size, bits);
}

// Bit i set when byte i of the sixteen is a-z or below 32.
unsigned not_subject_bits(const char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(in_range(v, 'a', 'z'), in_range(v, 0, 31))));
}

// Bit i set when byte i of the sixteen is no address character and no "@";
// bit i of ats when it is "@".
unsigned not_address_bits(const char* p, unsigned& ats) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  ats = static_cast<unsigned>(_mm_movemask_epi8(equal(v, '@')));
  __m128i yes = _mm_or_si128(in_range(v, '@', 'Z'), in_range(v, '0', '9'));
  yes = _mm_or_si128(yes, in_range(v, '-', '.'));
  yes = _mm_or_si128(yes, _mm_or_si128(equal(v, '_'), equal(v, '=')));
  yes = _mm_or_si128(yes, _mm_or_si128(equal(v, '!'), equal(v, '#')));
  yes = _mm_or_si128(yes, _mm_or_si128(equal(v, '%'), equal(v, '*')));
  return static_cast<unsigned>(_mm_movemask_epi8(yes)) ^ 0xFFFFu;
}

// The same with SSSE3's byte shuffle: each byte's class from two sixteen-entry
// tables, one for its low and one for its high four bits. The groups of the
// high four bits 2, 3, 4 and 5 are bits 1, 2, 4 and 8; the low table tells in
// which of them a low half stands for an address character.
__attribute__((target("ssse3"), always_inline)) inline unsigned not_address_bits_ssse3(const char* p, unsigned& ats) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  ats = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('@'))));
  // low half:            0  1  2  3  4  5  6  7  8  9  A  B  C  D  E  F
  const __m128i low = _mm_setr_epi8(14, 15, 14, 15, 14, 15, 14, 14, 14, 14, 13, 4, 4, 7, 5, 12);
  const __m128i high = _mm_setr_epi8(0, 0, 1, 2, 4, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i l = _mm_shuffle_epi8(low, _mm_and_si128(v, nibble));
  const __m128i h = _mm_shuffle_epi8(high, _mm_and_si128(_mm_srli_epi16(v, 4), nibble));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(l, h), _mm_setzero_si128())));
}

// One past the last byte before end whose bit is set, or 0.
std::size_t subject_run(const char* text, std::size_t end) {
  for (; end >= 16; end -= 16)
    if (const unsigned bits = not_subject_bits(text + end - 16))
      return end - 16 + (32 - static_cast<std::size_t>(std::countl_zero(bits)));
  return plain_subject_run_start(text, end);
}

void add_ats(AddressRun& run, std::uint64_t ats, std::size_t base) {
  if (!ats) return;
  run.ats += 1 + ((ats & (ats - 1)) != 0);  // counted up to 2
  run.first_at = base + static_cast<std::size_t>(std::countr_zero(ats));
}

// One chunk of Width bytes of an address run, right to left: true when the
// run begins in it.
template <std::size_t Width = 16>
__attribute__((always_inline)) inline bool run_chunk(AddressRun& run, std::size_t end, std::uint64_t not_address,
                                                     std::uint64_t ats) {
  if (!not_address) {
    add_ats(run, ats, end - Width);
    return false;
  }
  const std::size_t keep = 64 - static_cast<std::size_t>(std::countl_zero(not_address));  // bytes before the run
  run.start = end - Width + keep;
  // (a shift by all 64 bits of ats is undefined: none of its "@" is in the run then)
  add_ats(run, keep < 64 ? ats >> keep << keep : 0, end - Width);
  run.ats = std::min(run.ats, 2);
  return true;
}

// The run's start in its last, shorter piece: the plain search there, with
// the "@" already seen in the chunks after it.
AddressRun finish_run(const AddressRun& after, const char* text, std::size_t end) {
  AddressRun run = plain_address_run(text, end);
  if (run.ats == 0) run.first_at = after.first_at;
  run.ats = std::min(run.ats + after.ats, 2);
  return run;
}

AddressRun address_run_sse2(const char* text, std::size_t end) {
  AddressRun run;
  for (; end >= 16; end -= 16) {
    unsigned ats;
    const unsigned not_address = not_address_bits(text + end - 16, ats);
    if (run_chunk(run, end, not_address, ats)) return run;
  }
  return finish_run(run, text, end);
}

__attribute__((target("ssse3"))) AddressRun address_run_ssse3(const char* text, std::size_t end) {
  AddressRun run;
  for (; end >= 16; end -= 16) {
    unsigned ats;
    const unsigned not_address = not_address_bits_ssse3(text + end - 16, ats);
    if (run_chunk(run, end, not_address, ats)) return run;
  }
  return finish_run(run, text, end);
}

// Each form's searches in one function, the tables loaded once (flatten:
// every call in it is taken in).
__attribute__((flatten)) MessageRuns message_runs_sse2(const char* text, std::size_t body, std::size_t subject_back,
                                                       std::size_t from_back) {
  return runs_with<subject_run, address_run_sse2>(text, body, subject_back, from_back);
}

__attribute__((target("ssse3"), flatten)) MessageRuns message_runs_ssse3(const char* text, std::size_t body,
                                                                          std::size_t subject_back,
                                                                          std::size_t from_back) {
  return runs_with<subject_run, address_run_ssse3>(text, body, subject_back, from_back);
}

// Thirty-two bytes at a time with AVX2, then a step of sixteen and the rest
// byte by byte. The byte shuffle looks up within each half of the register,
// so its tables are given twice.
__attribute__((target("avx2"), always_inline)) inline __m256i in_range_avx2(__m256i v, unsigned char lo,
                                                                            unsigned char hi) {
  const __m256i shifted = _mm256_sub_epi8(v, _mm256_set1_epi8(static_cast<char>(lo)));
  return _mm256_cmpeq_epi8(_mm256_min_epu8(shifted, _mm256_set1_epi8(static_cast<char>(hi - lo))), shifted);
}

// The bits of 64 bytes compared in two halves.
__attribute__((target("avx2"), always_inline)) inline std::uint64_t bits_of(__m256i low, __m256i high) {
  return static_cast<unsigned>(_mm256_movemask_epi8(low)) |
         static_cast<std::uint64_t>(static_cast<unsigned>(_mm256_movemask_epi8(high))) << 32;
}

__attribute__((target("avx2"))) std::size_t line_end_bits_avx2(const char* text, std::size_t size,
                                                                std::uint64_t* bits) {
  const __m256i lf = _mm256_set1_epi8('\n'), eof = _mm256_set1_epi8(26);
  std::size_t i = 0;
  for (; i + 64 <= size; i += 64) {
    const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i));
    const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text + i + 32));
    const std::uint64_t ends = bits_of(_mm256_cmpeq_epi8(low, lf), _mm256_cmpeq_epi8(high, lf));
    const __m256i low_eof = _mm256_cmpeq_epi8(low, eof), high_eof = _mm256_cmpeq_epi8(high, eof);
    if (_mm256_testz_si256(_mm256_or_si256(low_eof, high_eof), _mm256_or_si256(low_eof, high_eof))) {
      bits[i / 64] = ends;
      continue;
    }
    if (const std::size_t at = put_line_ends(ends, bits_of(low_eof, high_eof), i, bits, size)) return at - 1;
  }
  return finish_line_ends(text, i, size, bits);
}

// Bit i set when byte i of the thirty-two is a-z or below 32.
__attribute__((target("avx2"), always_inline)) inline unsigned not_subject_bits_avx2(const char* p) {
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  return static_cast<unsigned>(
      _mm256_movemask_epi8(_mm256_or_si256(in_range_avx2(v, 'a', 'z'), in_range_avx2(v, 0, 31))));
}

// Runs are found in a first step of 64 bytes where the text has them: most
// Subjects and addresses begin there, where a first step of 32 would leave
// the processor guessing, a Subject or address in two, which it takes.
__attribute__((target("avx2"))) std::size_t subject_run_avx2(const char* text, std::size_t end) {
  if (end >= 64) {
    const std::uint64_t bits =
        not_subject_bits_avx2(text + end - 64) | std::uint64_t{not_subject_bits_avx2(text + end - 32)} << 32;
    if (bits) return end - 64 + (64 - static_cast<std::size_t>(std::countl_zero(bits)));
    end -= 64;
  }
  for (; end >= 32; end -= 32)
    if (const unsigned bits = not_subject_bits_avx2(text + end - 32))
      return end - 32 + (32 - static_cast<std::size_t>(std::countl_zero(bits)));
  if (end >= 16) {
    if (const unsigned bits = not_subject_bits(text + end - 16))
      return end - 16 + (32 - static_cast<std::size_t>(std::countl_zero(bits)));
    end -= 16;
  }
  return plain_subject_run_start(text, end);
}

__attribute__((target("avx2"))) AddressRun address_run_avx2(const char* text, std::size_t end) {
  AddressRun run;
  const __m256i low = _mm256_setr_epi8(14, 15, 14, 15, 14, 15, 14, 14, 14, 14, 13, 4, 4, 7, 5, 12,  //
                                       14, 15, 14, 15, 14, 15, 14, 14, 14, 14, 13, 4, 4, 7, 5, 12);
  const __m256i high = _mm256_setr_epi8(0, 0, 1, 2, 4, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                        0, 0, 1, 2, 4, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  // Bits of not_address and of "@" for the thirty-two bytes at p.
  const auto classify = [&](const char* p, unsigned& ats) __attribute__((target("avx2"))) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    ats = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_set1_epi8('@'))));
    const __m256i l = _mm256_shuffle_epi8(low, _mm256_and_si256(v, nibble));
    const __m256i h = _mm256_shuffle_epi8(high, _mm256_and_si256(_mm256_srli_epi16(v, 4), nibble));
    return static_cast<unsigned>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(l, h), _mm256_setzero_si256())));
  };
  if (end >= 64) {
    unsigned ats_low, ats_high;
    const unsigned not_low = classify(text + end - 64, ats_low), not_high = classify(text + end - 32, ats_high);
    if (run_chunk<64>(run, end, not_low | std::uint64_t{not_high} << 32, ats_low | std::uint64_t{ats_high} << 32))
      return run;
    end -= 64;
  }
  for (; end >= 32; end -= 32) {
    unsigned ats;
    const unsigned not_address = classify(text + end - 32, ats);
    if (run_chunk<32>(run, end, not_address, ats)) return run;
  }
  if (end >= 16) {
    unsigned ats;
    const unsigned not_address = not_address_bits_ssse3(text + end - 16, ats);
    if (run_chunk(run, end, not_address, ats)) return run;
    end -= 16;
  }
  return finish_run(run, text, end);
}

__attribute__((target("avx2"), flatten)) MessageRuns message_runs_avx2(const char* text, std::size_t body,
                                                                        std::size_t subject_back,
                                                                        std::size_t from_back) {
  return runs_with<subject_run_avx2, address_run_avx2>(text, body, subject_back, from_back);
}
#endif

using LineEndBits = std::size_t (*)(const char*, std::size_t, std::uint64_t*);
using MessageRunsOf = MessageRuns (*)(const char*, std::size_t, std::size_t, std::size_t);

LineEndBits line_end_bits_form(VectorSet set) {
#if defined(X86_VECTORS)
  if (set >= VectorSet::Avx2) return line_end_bits_avx2;
  if (set >= VectorSet::Sse2) return line_end_bits_sse2;
#endif
  (void)set;
  return plain_line_end_bits;
}

MessageRunsOf message_runs_form(VectorSet set) {
#if defined(X86_VECTORS)
  if (set >= VectorSet::Avx2) return message_runs_avx2;
  if (set >= VectorSet::Ssse3) return message_runs_ssse3;
  if (set >= VectorSet::Sse2) return message_runs_sse2;
#endif
  (void)set;
  return plain_message_runs;
}

// Chosen once, when the program starts.
const LineEndBits kLineEndBits = line_end_bits_form(usable_vector_sets().back());
const MessageRunsOf kMessageRuns = message_runs_form(usable_vector_sets().back());

}  // namespace

std::size_t line_end_bits(const char* text, std::size_t size, std::uint64_t* bits) {
  return kLineEndBits(text, size, bits);
}
MessageRuns message_runs(const char* text, std::size_t body, std::size_t subject_back, std::size_t from_back) {
  return kMessageRuns(text, body, subject_back, from_back);
}

namespace byte_scan_forms {
std::size_t line_end_bits(VectorSet set, const char* text, std::size_t size, std::uint64_t* bits) {
  return line_end_bits_form(set)(text, size, bits);
}
MessageRuns message_runs(VectorSet set, const char* text, std::size_t body, std::size_t subject_back,
                         std::size_t from_back) {
  return message_runs_form(set)(text, body, subject_back, from_back);
}
}  // namespace byte_scan_forms
