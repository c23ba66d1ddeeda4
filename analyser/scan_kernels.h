// The scanner's inner loops over the log's bytes: finding the next "Tests"
// (or the byte 26 that ends the log), and the classes of 64 bytes at a time.
// Written in plain C++, and for x86-64 also with SSE2, AVX2 and AVX-512 unless
// the build turns vectors off (PORTABLE_SCAN); the program takes the widest
// its processor runs. Every set gives the same answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

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

enum class KernelSet { Portable, Sse2, Avx2, Avx512 };

const ScanKernels& scan_kernels(KernelSet set);

// The sets that this build has and this processor runs, the plain one first
// and the fastest last.
const std::vector<KernelSet>& usable_kernel_sets();

const char* kernel_set_name(KernelSet set);
