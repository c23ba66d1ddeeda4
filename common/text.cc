#include "common/text.h"

#include <bit>
#include <cstring>

#include "common/vector_sets.h"

#if defined(X86_VECTORS)
#include <emmintrin.h>
#endif

bool is_control_char(unsigned char c) { return c >= 1 && c <= 31; }

char* upper_case_text(char* text) {
  for (char* p = text; *p; ++p) *p = upper_case_char(*p);
  return text;
}

std::string upper_case(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = upper_case_char(c);
  return upper;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper_case_char(a[i]) != upper_case_char(b[i])) return false;
  return true;
}

char* cut_at_control_char(char* text) {
  for (char* p = text; *p; ++p)
    if (is_control_char(static_cast<unsigned char>(*p))) {
      *p = '\0';
      break;
    }
  return text;
}

char* normalise_line(char* text) { return cut_at_control_char(upper_case_text(text)); }

// At most 201 spaces are removed from each end; a longer run keeps the rest.
std::string_view trimmed(std::string_view text) {
  constexpr std::size_t kMaxRemovals = 201;
  std::size_t lead = 0;
  while (lead < kMaxRemovals && lead < text.size() && text[lead] == ' ') ++lead;
  text.remove_prefix(lead);
  std::size_t trail = 0;
  while (trail < kMaxRemovals && trail < text.size() && text[text.size() - 1 - trail] == ' ') ++trail;
  text.remove_suffix(trail);
  return text;
}

char* trim_spaces(char* text) {
  const std::string_view kept = trimmed(text);
  std::memmove(text, kept.data(), kept.size());
  text[kept.size()] = '\0';
  return text;
}

char* directory_part(char* path) {
  char* last = std::strrchr(path, '\\');
  if (last)
    last[1] = '\0';
  else
    path[0] = '\0';
  return path;
}

char* extract_address(char* text) {
  const char* at = std::strrchr(text, '@');
  if (!at) {
    std::memcpy(text, "~BAD", 5);
    return text;
  }
  const std::string_view address = address_around(text, static_cast<std::size_t>(at - text));
  char* start = text + (address.data() - text);
  start[address.size()] = '\0';
  return start;
}

namespace {

#if defined(X86_VECTORS)
// Bytes from lo to hi (unsigned).
__m128i in_range(__m128i v, char lo, char hi) {
  const __m128i shifted = _mm_sub_epi8(v, _mm_set1_epi8(lo));
  return _mm_cmpeq_epi8(_mm_min_epu8(shifted, _mm_set1_epi8(static_cast<char>(hi - lo))), shifted);
}

// Bit i set when byte i of the sixteen at p is no address character.
unsigned not_address_bits(const char* p) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const auto is = [&](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  __m128i yes = _mm_or_si128(in_range(v, 'A', 'Z'), in_range(v, '0', '9'));
  yes = _mm_or_si128(yes, _mm_or_si128(in_range(v, '-', '.'), is('_')));
  yes = _mm_or_si128(yes, _mm_or_si128(_mm_or_si128(is('='), is('!')), _mm_or_si128(is('#'), is('%'))));
  yes = _mm_or_si128(yes, is('*'));
  return static_cast<unsigned>(_mm_movemask_epi8(yes)) ^ 0xFFFFu;
}
#endif

// Where the run of address characters that ends at end begins, never before
// position 1; sixteen bytes at a time where the processor has vectors, the
// last ones in the sixteen that begin the text (size at least 16).
std::size_t run_start(const char* p, std::size_t size, std::size_t end) {
#if defined(X86_VECTORS)
  for (; end >= 17; end -= 16)
    if (const unsigned other = not_address_bits(p + end - 16))
      return end - 16 + (32 - static_cast<std::size_t>(std::countl_zero(other)));
  if (end > 1 && size >= 16) {
    const unsigned other = (not_address_bits(p) | 1u) & ((1u << end) - 1);  // from position 1 up to end
    return 32 - static_cast<std::size_t>(std::countl_zero(other));
  }
#endif
  (void)size;
  while (end > 1 && is_address_char(static_cast<unsigned char>(p[end - 1]))) --end;
  return end;
}

// Where the run of address characters that begins at start ends; the last
// bytes in the sixteen that end the text (size at least 16).
std::size_t run_end(const char* p, std::size_t size, std::size_t start) {
#if defined(X86_VECTORS)
  for (; start + 16 <= size; start += 16)
    if (const unsigned other = not_address_bits(p + start))
      return start + static_cast<std::size_t>(std::countr_zero(other));
  if (start < size && size >= 16) {
    const std::size_t base = size - 16;
    const unsigned other = not_address_bits(p + base) >> (start - base);
    return other ? start + static_cast<std::size_t>(std::countr_zero(other)) : size;
  }
#endif
  while (start < size && is_address_char(static_cast<unsigned char>(p[start]))) ++start;
  return start;
}

}  // namespace

std::string_view address_around(std::string_view text, std::size_t at) {
  const std::size_t start = at >= 2 ? run_start(text.data(), text.size(), at) : at;
  return text.substr(start, run_end(text.data(), text.size(), at + 1) - start);
}

bool begins_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool contains(const char* text, const char* word) { return std::strstr(text, word) != nullptr; }

long position_of(const char* text, const char* word) {
  const char* hit = std::strstr(text, word);
  return hit ? hit - text : -1;
}

bool stands_at(const char* text, const char* word, long pos) { return position_of(text, word) == pos; }

std::string printable(std::string_view text, bool keep_tabs) {
  std::string shown(text);
  for (char& c : shown)
    if ((static_cast<unsigned char>(c) < 32 && !(keep_tabs && c == '\t')) || c == 127) c = '?';
  return shown;
}

void copy_text(char* dst, std::size_t capacity, const char* src) {
  if (capacity == 0) return;
  std::size_t n = std::strlen(src);
  if (n > capacity - 1) n = capacity - 1;
  std::memmove(dst, src, n);
  dst[n] = '\0';
}
