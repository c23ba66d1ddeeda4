#include "common/text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/testing/scratch.h"

namespace {

std::vector<std::string> pieces(const std::string& bytes, std::size_t size) {
  std::FILE* f = file_with(bytes);
  TextReader reader(f);
  std::vector<std::string> out;
  std::vector<char> buf(size);
  while (reader.read_piece(buf.data(), size)) out.emplace_back(buf.data());
  std::fclose(f);
  return out;
}

using Pieces = std::vector<std::string>;

TEST(TextReader, LineEndsAndCtrlZ) {
  EXPECT_EQ(pieces("A\r\nB\n", 100), (Pieces{"A\n", "B\n"}));
  EXPECT_EQ(pieces("A\rB\r\r\n", 100), (Pieces{"A\rB\r\n"}));
  EXPECT_EQ(pieces("A\nB\x1a" "C\nD\n", 100), (Pieces{"A\n", "B"}));
  EXPECT_EQ(pieces("\x1a" "A\n", 100), Pieces{});
  EXPECT_EQ(pieces("last", 100), Pieces{"last"});
  EXPECT_EQ(pieces("A\r", 100), Pieces{"A\r"});
  EXPECT_EQ(pieces("", 100), Pieces{});
}

TEST(TextReader, PiecesOfAtMostSizeMinusOne) {
  EXPECT_EQ(pieces("ABCDE\n", 4), (Pieces{"ABC", "DE\n"}));
  EXPECT_EQ(pieces("ABC\n", 4), (Pieces{"ABC", "\n"}));
  EXPECT_EQ(pieces("AB\r\n", 4), (Pieces{"AB\n"}));
}

TEST(TextReader, ZeroByteEndsThePieceTextButNotThePiece) {
  EXPECT_EQ(pieces(std::string("A\0B\nC\n", 6), 100), (Pieces{"A", "C\n"}));
  EXPECT_EQ(pieces(std::string("\0\n", 2), 100), Pieces{""});
}

TEST(TextReader, CrLfSplitAcrossBufferRefills) {
  // The reader refills every 8192 bytes; put the CR last in the first block.
  std::string bytes(8191, 'x');
  bytes += "\r\nY\r";
  bytes += std::string(8191, 'z') + "\r\n";
  std::FILE* f = file_with(bytes);
  TextReader reader(f);
  std::string all;
  for (int c; (c = reader.get()) != EOF;) all += static_cast<char>(c);
  std::fclose(f);
  EXPECT_EQ(all, std::string(8191, 'x') + "\nY\r" + std::string(8191, 'z') + "\n");
}

// read_piece takes most pieces whole from the buffer; the plain reading,
// character by character through get(), is what it must give, piece for
// piece (zero bytes included), on bytes thick with line ends, zero bytes and
// byte 26, from a file (refilled across its reads, through buffers of any
// size) and from memory.
TEST(TextReader, PiecesAsReadCharacterByCharacter) {
  std::mt19937 random(21);
  const char alphabet[] = {'A', 'B', '\r', '\r', '\n', '\n', '\0', 26};
  for (int round = 0; round < 300; ++round) {
    std::string bytes(random() % 3 ? random() % 400 : random() % 30000, 'A');
    const bool rare_mark = random() % 2;  // most inputs read to a late byte 26 or to their end
    for (char& c : bytes) {
      c = alphabet[random() % sizeof alphabet];
      if (c == 26 && rare_mark && random() % 500) c = 'A';
    }
    const std::size_t size = std::vector<std::size_t>{1, 2, 3, 5, 100, 100, 8191, 8192, 8193}[random() % 9];
    for (const bool from_file : {true, false}) {
      SCOPED_TRACE(testing::Message() << "round " << round << ", pieces of " << size << (from_file ? ", file" : ""));
      std::FILE* f1 = from_file ? file_with(bytes) : nullptr;
      std::FILE* f2 = from_file ? file_with(bytes) : nullptr;
      const std::size_t buffer = std::vector<std::size_t>{1, 17, 100, 101, 8192, 65536}[random() % 6];
      TextReader fast = from_file ? TextReader(f1, buffer) : TextReader(bytes.data(), bytes.size());
      TextReader plain = from_file ? TextReader(f2) : TextReader(bytes.data(), bytes.size());
      std::vector<char> got(size + 1, 'x'), want(size + 1, 'x');
      for (int piece = 0;; ++piece) {
        const std::size_t n = fast.read_piece(got.data(), size);
        std::size_t m = 0;
        for (int c; m + 1 < size && (c = plain.get()) != EOF;) {
          want[m++] = static_cast<char>(c);
          if (c == '\n') break;
        }
        ASSERT_EQ(n, m) << "piece " << piece;
        ASSERT_EQ(std::memcmp(got.data(), want.data(), n), 0) << "piece " << piece;
        ASSERT_EQ(got[n], '\0');
        if (n == 0) break;
      }
      EXPECT_EQ(fast.cut_at_end_mark(), plain.cut_at_end_mark());
      if (f1) std::fclose(f1);
      if (f2) std::fclose(f2);
    }
  }
}

}  // namespace
