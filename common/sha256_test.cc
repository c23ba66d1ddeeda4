#include "common/sha256.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace {

// The known answers of FIPS 180-4's examples; the million "a" are given in
// uneven pieces, so that pieces straddle the 64-byte blocks.
TEST(Sha256, GivesTheKnownAnswers) {
  EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(sha256_hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  Sha256 hash;
  for (std::size_t given = 0, piece = 1; given < 1000000; piece = piece * 7 % 1000 + 1) {
    const std::size_t n = std::min(piece, 1000000 - given);
    hash.update(std::string(n, 'a'));
    given += n;
  }
  const std::array<std::uint8_t, 32> digest = hash.finish();
  EXPECT_EQ(digest[0], 0xcd);
  EXPECT_EQ(digest[31], 0xd0);
  // 55, 56 and 64 bytes: the padding fits the block, just does not, and needs one of its own.
  EXPECT_EQ(sha256_hex(std::string(55, 'x')), "d5e285683cd4efc02d021a5c62014694958901005d6f71e89e0989fac77e4072");
  EXPECT_EQ(sha256_hex(std::string(56, 'x')), "04c26261370ee7541549d16dee320c723e3fd14671e66a099afe0a377c16888e");
  EXPECT_EQ(sha256_hex(std::string(64, 'x')), "7ce100971f64e7001e8fe5a51973ecdfe1ced42befe7ee8d5fd6219506b5393c");
}

}  // namespace
