#include "analyser/scan_kernels.h"

#include <bit>
#include <cstring>

#if defined(X86_VECTORS)
#include <immintrin.h>
#endif

namespace {

bool is_marker_at(const char* p) { return std::memcmp(p, "Tests", kMarkerSize) == 0; }

// Finishes a search from i one byte at a time.
std::size_t finish_search(const char* bytes, std::size_t i, std::size_t size) {
  for (; i < size; ++i) {
    if (static_cast<unsigned char>(bytes[i]) == kEndOfLog) return i;
    if (bytes[i] == 'T' && i + kMarkerSize <= size && is_marker_at(bytes + i)) return i;
  }
  return size;
}

// Words of eight bytes at a time, looking closer only at words that hold a
// "T" or a byte 26: in a mail log most words hold neither.
std::size_t find_portable(const char* bytes, std::size_t size) {
  constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
  auto holds = [](std::uint64_t word, unsigned char c) {
    const std::uint64_t x = word ^ (kOnes * c);  // a zero byte where word has c
    return ((x - kOnes) & ~x & kHighs) != 0;
  };
  std::size_t i = 0;
  for (; i + 8 + kMarkerSize - 1 <= size; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    if (!holds(word, 'T') && !holds(word, kEndOfLog)) continue;
    for (std::size_t j = i; j < i + 8; ++j) {
      if (static_cast<unsigned char>(bytes[j]) == kEndOfLog) return j;
      if (bytes[j] == 'T' && is_marker_at(bytes + j)) return j;
    }
  }
  return finish_search(bytes, i, size);
}

ByteMasks classify_portable_block(const char* p) {
  ByteMasks m{0, 0, 0};
  for (std::size_t i = 0; i < kClassBlock; ++i) {
    const auto c = static_cast<unsigned char>(p[i]);
    const std::uint64_t bit = std::uint64_t{1} << i;
    if (c == ' ' || (c >= '\t' && c <= '\r')) m.white |= bit;
    if (c == '=') m.equals |= bit;
    if (c == 0 || c == kEndOfLog) m.odd |= bit;
  }
  return m;
}

#if defined(X86_VECTORS)
// The searches look at the places with a "T" and an "s" four bytes on, and
// at those of a byte 26; a "T" place is a find when the three bytes between
// say "est". Each load of the second kind starts four bytes on, so the loops
// stop where that load would pass the end.

std::size_t find_sse2(const char* bytes, std::size_t size) {
  const __m128i t = _mm_set1_epi8('T'), s = _mm_set1_epi8('s'), end = _mm_set1_epi8(kEndOfLog);
  std::size_t i = 0;
  for (; i + 16 + kMarkerSize - 1 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + kMarkerSize - 1));
    const __m128i hits = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi8(a, t), _mm_cmpeq_epi8(b, s)),
                                      _mm_cmpeq_epi8(a, end));
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (bytes[at] != 'T' || is_marker_at(bytes + at)) return at;
    }
  }
  return finish_search(bytes, i, size);
}

// TAB to CR are the bytes that lie 0 to 4 above TAB.
ByteMasks classify_sse2_block(const char* p) {
  ByteMasks m{0, 0, 0};
  for (std::size_t k = 0; k < kClassBlock; k += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i from_tab = _mm_sub_epi8(v, _mm_set1_epi8('\t'));
    const __m128i tab_to_cr = _mm_cmpeq_epi8(_mm_min_epu8(from_tab, _mm_set1_epi8(4)), from_tab);
    const __m128i white = _mm_or_si128(tab_to_cr, _mm_cmpeq_epi8(v, _mm_set1_epi8(' ')));
    const __m128i odd =
        _mm_or_si128(_mm_cmpeq_epi8(v, _mm_setzero_si128()), _mm_cmpeq_epi8(v, _mm_set1_epi8(kEndOfLog)));
    auto bits = [k](__m128i mask) {
      return std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(mask))} << k;
    };
    m.white |= bits(white);
    m.equals |= bits(_mm_cmpeq_epi8(v, _mm_set1_epi8('=')));
    m.odd |= bits(odd);
  }
  return m;
}

// 64 bytes a step, with one test of both halves: places worth a closer look
// come every few hundred bytes of a mail log.
__attribute__((target("avx2"))) std::size_t find_avx2(const char* bytes, std::size_t size) {
  const __m256i t = _mm256_set1_epi8('T'), s = _mm256_set1_epi8('s'), end = _mm256_set1_epi8(kEndOfLog);
  const auto hits_at = [&](std::size_t i) __attribute__((target("avx2"))) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + kMarkerSize - 1));
    return _mm256_or_si256(_mm256_and_si256(_mm256_cmpeq_epi8(a, t), _mm256_cmpeq_epi8(b, s)),
                           _mm256_cmpeq_epi8(a, end));
  };
  std::size_t i = 0;
  for (; i + 64 + kMarkerSize - 1 <= size; i += 64) {
    const __m256i low = hits_at(i), high = hits_at(i + 32);
    if (_mm256_testz_si256(_mm256_or_si256(low, high), _mm256_or_si256(low, high))) continue;
    std::uint64_t mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
                         std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(high))} << 32;
    for (; mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (bytes[at] != 'T' || is_marker_at(bytes + at)) return at;
    }
  }
  return find_sse2(bytes + i, size - i) + i;
}

// A byte is white when it equals the entry of this table at its low four
// bits (bytes from 128 up look up 0), and zero or 26 when it equals that of
// the second.
__attribute__((target("avx2"))) ByteMasks classify_avx2_block(const char* p) {
  const __m256i white_at = _mm256_setr_epi8(' ', -1, -1, -1, -1, -1, -1, -1, -1, '\t', '\n', '\v', '\f', '\r', -1, -1,
                                            ' ', -1, -1, -1, -1, -1, -1, -1, -1, '\t', '\n', '\v', '\f', '\r', -1, -1);
  const __m256i odd_at = _mm256_setr_epi8(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, kEndOfLog, -1, -1, -1, -1, -1,
                                          0, -1, -1, -1, -1, -1, -1, -1, -1, -1, kEndOfLog, -1, -1, -1, -1, -1);
  const __m256i equals = _mm256_set1_epi8('=');
  std::uint64_t white = 0, equal = 0, odd = 0;
  for (std::size_t k = 0; k < kClassBlock; k += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k));
    // (A lambda would not take the target of this function.)
    white |= std::uint64_t{static_cast<std::uint32_t>(
                 _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(white_at, v), v)))}
             << k;
    equal |= std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, equals)))} << k;
    odd |= std::uint64_t{static_cast<std::uint32_t>(
               _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(odd_at, v), v)))}
           << k;
  }
  return {white, equal, odd};
}

__attribute__((target("avx512bw"))) std::size_t find_avx512(const char* bytes, std::size_t size) {
  const __m512i t = _mm512_set1_epi8('T'), s = _mm512_set1_epi8('s'), end = _mm512_set1_epi8(kEndOfLog);
  std::size_t i = 0;
  for (; i + 64 + kMarkerSize - 1 <= size; i += 64) {
    const __m512i a = _mm512_loadu_si512(bytes + i);
    const __m512i b = _mm512_loadu_si512(bytes + i + kMarkerSize - 1);
    std::uint64_t mask = _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(a, t), b, s) |
                         _mm512_cmpeq_epi8_mask(a, end);
    for (; mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(std::countr_zero(mask));
      if (bytes[at] != 'T' || is_marker_at(bytes + at)) return at;
    }
  }
  return find_avx2(bytes + i, size - i) + i;
}

__attribute__((target("avx512bw"))) ByteMasks classify_avx512_block(const char* p) {
  const __m512i v = _mm512_loadu_si512(p);
  const __m512i from_tab = _mm512_sub_epi8(v, _mm512_set1_epi8('\t'));
  return {_mm512_cmple_epu8_mask(from_tab, _mm512_set1_epi8(4)) | _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(' ')),
          _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('=')),
          _mm512_cmpeq_epi8_mask(v, _mm512_setzero_si512()) |
              _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8(kEndOfLog))};
}
#endif

void classify_portable(const char* p, std::size_t blocks, ByteMasks* out) {
  for (std::size_t b = 0; b < blocks; ++b) out[b] = classify_portable_block(p + b * kClassBlock);
}

#if defined(X86_VECTORS)
void classify_sse2(const char* p, std::size_t blocks, ByteMasks* out) {
  for (std::size_t b = 0; b < blocks; ++b) out[b] = classify_sse2_block(p + b * kClassBlock);
}

__attribute__((target("avx2"))) void classify_avx2(const char* p, std::size_t blocks, ByteMasks* out) {
  for (std::size_t b = 0; b < blocks; ++b) out[b] = classify_avx2_block(p + b * kClassBlock);
}

__attribute__((target("avx512bw"))) void classify_avx512(const char* p, std::size_t blocks, ByteMasks* out) {
  for (std::size_t b = 0; b < blocks; ++b) out[b] = classify_avx512_block(p + b * kClassBlock);
}
#endif

}  // namespace

const ScanKernels& scan_kernels(VectorSet set) {
  static constexpr ScanKernels kPortable{find_portable, classify_portable};
#if defined(X86_VECTORS)
  static constexpr ScanKernels kSse2{find_sse2, classify_sse2};
  static constexpr ScanKernels kAvx2{find_avx2, classify_avx2};
  static constexpr ScanKernels kAvx512{find_avx512, classify_avx512};
  switch (set) {
    case VectorSet::Sse2:
    case VectorSet::Ssse3:
      return kSse2;
    case VectorSet::Avx2:
      return kAvx2;
    case VectorSet::Avx512:
      return kAvx512;
    case VectorSet::Portable:
      break;
  }
#endif
  (void)set;
  return kPortable;
}

const std::vector<VectorSet>& usable_kernel_sets() {
  static const std::vector<VectorSet> usable = [] {
    std::vector<VectorSet> sets;
    for (const VectorSet set : usable_vector_sets())
      if (set != VectorSet::Ssse3) sets.push_back(set);
    return sets;
  }();
  return usable;
}
