#include "common/vector_sets.h"

#include <gtest/gtest.h>

namespace {

TEST(VectorSets, PlainFirstWidestLastNoneInThePortableBuild) {
  const std::vector<VectorSet>& sets = usable_vector_sets();
  ASSERT_FALSE(sets.empty());
  EXPECT_EQ(sets.front(), VectorSet::Portable);
  for (std::size_t i = 1; i < sets.size(); ++i) EXPECT_LT(sets[i - 1], sets[i]);
#if defined(X86_VECTORS)
  EXPECT_GE(sets.size(), 2u);  // every x86-64 processor has SSE2
#else
  EXPECT_EQ(sets.size(), 1u);
#endif
}

}  // namespace
