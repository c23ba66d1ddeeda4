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

// Where the run of bytes that may stand in a Subject (no a-z, no control
// byte) ending at end begins: 0, or one past the last byte before end that
// is a-z or below 32.
std::size_t subject_run_start(const char* text, std::size_t end);
// The run of address characters and "@" that ends at end: where it begins,
// and how many "@" it holds (counted up to 2) and where the first stands.
struct AddressRun {
  std::size_t start = 0;
  int ats = 0;
  std::size_t first_at = 0;
};
AddressRun address_run(const char* text, std::size_t end);

// The forms the searches choose from: the widest this module has of those
// the set holds (VectorSet::Portable: byte by byte).
namespace byte_scan_forms {
std::size_t line_end_bits(VectorSet set, const char* text, std::size_t size, std::uint64_t* bits);
std::size_t subject_run_start(VectorSet set, const char* text, std::size_t end);
AddressRun address_run(VectorSet set, const char* text, std::size_t end);
}  // namespace byte_scan_forms
