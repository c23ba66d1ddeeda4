#include "checker/rule_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "common/file.h"
#include "common/host.h"
#include "common/text.h"
#include "common/vector_sets.h"

#if defined(X86_VECTORS)
#include <emmintrin.h>
#endif

namespace {

class DiskRuleLineReader : public RuleLineReader {
 public:
  explicit DiskRuleLineReader(FileHandle file)
      : file_(std::move(file)), text_(file_.get(), kRuleFileBuffer), lines_(text_) {}
  bool next(RuleLine& line) override { return lines_.next(line); }

 private:
  FileHandle file_;
  TextReader text_;
  TextRuleLineReader lines_;
};

}  // namespace

std::unique_ptr<RuleLineReader> DiskRuleSource::open(const char* path) {
  FileHandle file = FileHandle::open_read(path);
  if (!file) return nullptr;
  return std::make_unique<DiskRuleLineReader>(std::move(file));
}

bool TextRuleLineReader::next(RuleLine& line) {
  // Most pieces are taken from the reader's buffer as they lie there.
  TextReader::Span span;
  if (reader_.buffered_piece(kTextSize, span)) {
    line.size = span.size;
    line.text_size = take_piece(span.bytes, span.size, line.raw, line.text);
    if (span.cr_lf) line.raw[span.size - 1] = '\n';
    reader_.skip(span);
  } else {
    line.size = reader_.read_piece(line.raw, sizeof line.raw);
    if (line.size == 0) return false;
    line.text_size = take_piece(line.raw, line.size, line.raw, line.text);
  }
  line.counter = ++counter_;
  line.editor_line = editor_line_;
  line.continued = !at_line_start_;
  line.skipped = line.raw[0] == '\0';
  // A zero byte ends the text but not the piece: the piece's own last
  // character tells whether a line ended.
  at_line_start_ = line.raw[line.size - 1] == '\n';
  if (at_line_start_) ++editor_line_;
  return true;
}

// Sixteen bytes at a time where the processor has vectors: each is copied,
// and a to z lose 0x20 in the text, which ends at the first byte below 32.
std::size_t take_piece(const char* piece, std::size_t size, char* raw, char* text) {
  std::size_t i = 0, end = kTextSize;
#if defined(X86_VECTORS)
  const __m128i before_a = _mm_set1_epi8('a' - 1), after_z = _mm_set1_epi8('z' + 1);
  const __m128i space = _mm_set1_epi8(' '), minus_one = _mm_set1_epi8(-1);
  for (; i < size && i + 16 <= kTextSize; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(piece + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(raw + i), bytes);
    // Signed compares: the bytes from 128 on are below zero.
    const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(bytes, before_a), _mm_cmplt_epi8(bytes, after_z));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(text + i), _mm_sub_epi8(bytes, _mm_and_si128(lower, space)));
    const __m128i below_32 = _mm_and_si128(_mm_cmplt_epi8(bytes, space), _mm_cmpgt_epi8(bytes, minus_one));
    if (const int ends = _mm_movemask_epi8(below_32); ends && end == kTextSize)
      end = i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(ends)));
  }
#endif
  for (; i < size; ++i) {
    raw[i] = piece[i];
    if (static_cast<unsigned char>(piece[i]) < 32 && end == kTextSize) end = i;
    text[i] = upper_case_char(piece[i]);
  }
  raw[size] = '\0';
  end = std::min(end, size);
  text[end] = '\0';
  return end;
}
