// Shared helpers of the fuzz targets: a failed oracle aborts with a message,
// which libFuzzer reports as a finding and saves the input for.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond)                                                        \
  do {                                                                          \
    if (!(cond)) {                                                              \
      std::fprintf(stderr, "oracle failed at %s:%d: %s\n", __FILE__, __LINE__, \
                   #cond);                                                      \
      std::abort();                                                             \
    }                                                                           \
  } while (0)

// Cuts fuzz input into pieces at a separator byte, so one input can carry
// several texts or files.
inline std::string next_part(const unsigned char*& data, std::size_t& size, unsigned char separator) {
  std::size_t i = 0;
  while (i < size && data[i] != separator) ++i;
  std::string part(reinterpret_cast<const char*>(data), i);
  const std::size_t used = i < size ? i + 1 : i;
  data += used;
  size -= used;
  return part;
}

// A directory of its own under the system's temp directory for one fuzzing
// process, removed at exit.
const std::string& fuzz_scratch_dir();
