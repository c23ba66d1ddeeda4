// Every set of inner loops against plain searches written here from the
// definitions, on bytes made to trip vector code: finds at every offset of a
// block and near the end, decoys that share the first and last letter, byte
// 26 before, inside and after a marker.
#include "analyser/scan_kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::size_t plain_find(std::string_view bytes) {
  const std::size_t marker = bytes.find("Tests"), end = bytes.find('\x1a');
  return std::min(std::min(marker, end), bytes.size());
}

bool plain_white(unsigned char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// Random bytes, mostly letters from the marker's decoys, with markers and
// byte 26 planted now and then.
std::string random_bytes(std::mt19937& random, std::size_t n, bool with_end) {
  static const char kAlphabet[] = "Tests TTsss=\t\r\n\v\f\b\x0e\x1f\x7f\x80\xff\x00x";
  static const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);
  std::string s;
  while (s.size() < n) {
    const unsigned pick = random() % 40;
    if (pick == 0) s += "Tests";
    else if (pick == 1 && with_end) s += '\x1a';
    else if (pick == 2) s += "Tes";
    else s += alphabet[random() % alphabet.size()];
  }
  s.resize(n);
  return s;
}

TEST(ScanKernels, FindMarkerAtEveryPlace) {
  const std::string filler(200, 'x');
  for (const VectorSet set : usable_kernel_sets()) {
    const auto find = scan_kernels(set).find_marker;
    for (std::size_t size = 0; size <= 140; ++size)
      for (std::size_t at = 0; at <= size + 1; ++at) {
        std::string marker = filler.substr(0, size);
        if (at + 5 <= size) marker.replace(at, 5, "Tests");
        std::string end = filler.substr(0, size);
        if (at < size) end[at] = '\x1a';
        std::string decoy = filler.substr(0, size);  // "T" and "s" in place, "est" wrong
        if (at + 5 <= size) decoy.replace(at, 5, "TesTs");
        for (const std::string& bytes : {marker, end, decoy})
          ASSERT_EQ(find(bytes.data(), bytes.size()), plain_find(bytes))
              << vector_set_name(set) << ", size " << size << ", at " << at;
      }
  }
}

TEST(ScanKernels, FindMarkerInRandomBytes) {
  std::mt19937 random(26);
  for (int round = 0; round < 300; ++round) {
    const std::string bytes = random_bytes(random, 1 + random() % 400, round % 2 == 0);
    for (const VectorSet set : usable_kernel_sets())
      for (std::size_t from = 0; from < bytes.size(); from += 1 + random() % 7) {
        const std::string_view rest(bytes.data() + from, bytes.size() - from);
        ASSERT_EQ(scan_kernels(set).find_marker(rest.data(), rest.size()), plain_find(rest))
            << vector_set_name(set) << ", round " << round << ", from " << from;
      }
  }
}

TEST(ScanKernels, ClassifyEveryByteValueAndPlace) {
  std::mt19937 random(64);
  std::string bytes(2 * kClassBlock, 'a');
  for (int round = 0; round < 600; ++round) {
    if (round < 256) {  // each byte value at each place of the two blocks, among letters
      bytes.assign(2 * kClassBlock, 'a');
      bytes[static_cast<std::size_t>(round) % bytes.size()] = static_cast<char>(round);
      bytes[static_cast<std::size_t>(round * 7 + 3) % bytes.size()] = static_cast<char>(255 - round);
    } else {
      bytes = random_bytes(random, 2 * kClassBlock, true);
    }
    for (const VectorSet set : usable_kernel_sets()) {
      ByteMasks masks[2];
      scan_kernels(set).classify(bytes.data(), 2, masks);
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        const ByteMasks& m = masks[i / kClassBlock];
        const std::uint64_t bit = std::uint64_t{1} << (i % kClassBlock);
        ASSERT_EQ((m.white & bit) != 0, plain_white(c)) << vector_set_name(set) << ", byte " << int(c) << " at " << i;
        ASSERT_EQ((m.equals & bit) != 0, c == '=') << vector_set_name(set) << ", byte " << int(c) << " at " << i;
        ASSERT_EQ((m.odd & bit) != 0, c == 0 || c == 26) << vector_set_name(set) << ", byte " << int(c) << " at " << i;
      }
    }
  }
}

TEST(ScanKernels, PlainSetAlwaysThereAndFastestLast) {
  const std::vector<VectorSet>& sets = usable_kernel_sets();
  ASSERT_FALSE(sets.empty());
  EXPECT_EQ(sets.front(), VectorSet::Portable);
  for (std::size_t i = 1; i < sets.size(); ++i) EXPECT_LT(sets[i - 1], sets[i]);
#if !defined(X86_VECTORS)
  EXPECT_EQ(sets.size(), 1u);
#endif
}

}  // namespace
