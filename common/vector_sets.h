// The processor's sets of vector instructions, for the inner loops that come
// in plain C++ and in vector forms (the analyser's log scanner, the byte scan
// of the activity log reader). Each module builds its x86-64 forms where
// X86_VECTORS is defined and runs the widest form it has of the sets
// usable_vector_sets() gives. The portable build (VECTOR_SCAN=OFF, which
// defines PORTABLE_VECTORS) has no vector forms at all: every module then
// runs its plain loops alone.
#pragma once

#include <vector>

#if !defined(PORTABLE_VECTORS) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define X86_VECTORS 1
#endif

// Each set holds the ones before it.
enum class VectorSet { Portable, Sse2, Ssse3, Avx2, Avx512 };

// The sets this build has forms for and this processor runs, Portable first
// and the widest last; found once.
const std::vector<VectorSet>& usable_vector_sets();

const char* vector_set_name(VectorSet set);
