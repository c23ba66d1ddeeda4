#include "common/vector_sets.h"

const std::vector<VectorSet>& usable_vector_sets() {
  static const std::vector<VectorSet> usable = [] {
    std::vector<VectorSet> sets{VectorSet::Portable};
#if defined(X86_VECTORS)
    __builtin_cpu_init();
    sets.push_back(VectorSet::Sse2);  // every x86-64 processor has it
    if (__builtin_cpu_supports("ssse3")) sets.push_back(VectorSet::Ssse3);
    if (__builtin_cpu_supports("avx2")) sets.push_back(VectorSet::Avx2);
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512bw")) sets.push_back(VectorSet::Avx512);
#endif
    return sets;
  }();
  return usable;
}

const char* vector_set_name(VectorSet set) {
  switch (set) {
    case VectorSet::Sse2:
      return "SSE2";
    case VectorSet::Ssse3:
      return "SSSE3";
    case VectorSet::Avx2:
      return "AVX2";
    case VectorSet::Avx512:
      return "AVX-512";
    case VectorSet::Portable:
      break;
  }
  return "portable";
}
