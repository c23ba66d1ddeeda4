// Right-to-left searches over the bytes of a log line, sixteen bytes at a
// time where the processor allows (SSE2, and SSSE3 where the processor has it,
// found when the program runs), with the byte-by-byte form beside them for
// other processors and as the tests' reference.
#pragma once

#include <cstddef>

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

// The forms address_run chooses from, for the tests (where SSE2 is there).
namespace byte_scan_variants {
AddressRun address_run_sse2(const char* text, std::size_t end);
AddressRun address_run_ssse3(const char* text, std::size_t end);  // only where have_ssse3()
bool have_ssse3();
}  // namespace byte_scan_variants

namespace byte_scan_reference {
std::size_t subject_run_start(const char* text, std::size_t end);
AddressRun address_run(const char* text, std::size_t end);
}  // namespace byte_scan_reference
