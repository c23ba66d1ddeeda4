// The scanner's inner loops over the log's bytes: finding the next "Tests"
// (or the byte 26 that ends the log), and the classes of 64 bytes at a time.
// Written in plain C++, and for x86-64 also with SSE2, AVX2 and AVX-512 unless
// the build turns vectors off (common/vector_sets.h); the program takes the
// widest its processor runs. Every set gives the same answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/vector_sets.h"

inline constexpr std::size_t kClassBlock = 64;
inline constexpr unsigned char kEndOfLog = 26;
inline constexpr std::size_t kMarkerSize = 5;  // "Tests"

// Bit i of each mask stands for byte i of the block.
struct ByteMasks {
  std::uint64_t white;   // space, TAB, LF, VT, FF, CR: they separate tokens
  std::uint64_t equals;  // "="
  std::uint64_t odd;     // zero bytes and byte 26, left to the byte-by-byte rules
};

struct ScanKernels {
  // Index of the first "Tests" that lies wholly within the bytes, or of the
  // first byte 26 when that comes earlier; size when there is neither.
  std::size_t (*find_marker)(const char* bytes, std::size_t size);
  // The classes of the blocks of 64 bytes from p (all must be readable),
  // into out[0], out[1], ...
  void (*classify)(const char* p, std::size_t blocks, ByteMasks* out);
};

// The loops for a set: the widest this module has of those the set holds.
const ScanKernels& scan_kernels(VectorSet set);

// The usable sets (usable_vector_sets) that this module has loops of, the
// plain one first and the fastest last.
const std::vector<VectorSet>& usable_kernel_sets();
