// What the unit tests of every module share: a folder of its own for each
// test, removed after it, and files of given bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

class ScratchDir : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The Windows form of a path below the folder, as the programs take paths.
  std::string path(const std::string& rest) const;
  // The text with each {D} replaced by path(""), the folder with its final backslash.
  std::string with_dir(std::string text) const;
  // Writes the bytes to a file below the folder, making the folders it needs.
  void write_file(const std::string& rest, const std::string& bytes) const;
  // The bytes of a file below the folder; "" when there is none.
  std::string read_file(const std::string& rest) const;

  // Short, so that paths below it fit the 99-character lines of rule files.
  std::filesystem::path dir_;
};

// A read stream over the bytes, as from a file (the caller closes it).
std::FILE* file_with(const std::string& bytes);
