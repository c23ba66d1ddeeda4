// Searches over the bytes of a log, sixteen bytes at a time where the
// processor allows (SSE2, and SSSE3 for address runs) or thirty-two (AVX2),
// with the byte-by-byte form beside them for other processors and the portable build,
// and as the tests' reference; the widest usable (common/vector_sets.h) runs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/vector_sets.h"

// The line ends of [text, text + size) up to its first byte 26 (the end of
// a file read in text mode), as bits: bit i of bits[i / 64] is set when
// text[i] is a LF before any byte 26. Gives where the first byte 26 stands,
// or size; sets the (size + 63) / 64 words, every bit from there on clear.
std::size_t line_end_bits(const char* text, std::size_t size, std::uint64_t* bits);

// The runs of a result line's message part, right to left from the end of
// its text (body), where the words begin:
//   - subject: where the run of bytes that may stand in a Subject (no a-z,
//     no control byte) that ends at body begins: 0, or one past the last byte
//     before body that is a-z or below 32;
//   - sender: the run of address characters and "@" that ends subject_back
//     bytes before subject;
//   - recipient: the same run that ends from_back bytes before the sender's.
// A run that would end before the text is not looked for (left empty).
struct AddressRun {
  std::size_t start = 0;
  int ats = 0;              // how many "@" it holds, counted up to 2
  std::size_t first_at = 0;  // where the first stands, when it holds any
};
struct MessageRuns {
  std::size_t subject = 0;
  AddressRun sender, recipient;
};
MessageRuns message_runs(const char* text, std::size_t body, std::size_t subject_back, std::size_t from_back);

// The forms the searches choose from: the widest this module has of those
// the set holds (VectorSet::Portable: byte by byte).
namespace byte_scan_forms {
std::size_t line_end_bits(VectorSet set, const char* text, std::size_t size, std::uint64_t* bits);
MessageRuns message_runs(VectorSet set, const char* text, std::size_t body, std::size_t subject_back,
                         std::size_t from_back);
}  // namespace byte_scan_forms
