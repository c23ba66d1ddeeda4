// A scratch directory for the checker's unit tests, with an activity log
// inside it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "checker/log_trace.h"

class CheckerScratch : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The Windows form of a path below the scratch directory.
  std::string path(const std::string& rest) const;
  void write_file(const std::string& rest, const std::string& bytes) const;
  // A trace into the scratch directory's log, and the bytes of that log so far
  // ("" when it was never written).
  LogTrace trace(LogLevel level) const;
  std::string log_text() const;

  std::filesystem::path dir_;
};
