#include "common/text_file.h"

#include <gtest/gtest.h>

#include <cstdio>
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

}  // namespace
