// A scratch directory for the checker's unit tests, with the run-wide log
// pointed at a file inside it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

class CheckerScratch : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The Windows form of a path below the scratch directory.
  std::string path(const std::string& rest) const;
  void write_file(const std::string& rest, const std::string& bytes) const;
  // The bytes of the run's log so far ("" when it was never written).
  std::string log_text() const;

  std::filesystem::path dir_;
};

// A read stream over the bytes (the caller closes it).
std::FILE* memory_file(const std::string& bytes);
