#include "checker/test_support.h"

#include <fstream>
#include <sstream>

#include <unistd.h>


namespace fs = std::filesystem;

void CheckerScratch::SetUp() {
  // Short, so that paths inside fit the 99-character lines of rule files.
  static int count = 0;
  dir_ = fs::temp_directory_path() / ("cq" + std::to_string(getpid()) + "_" + std::to_string(++count));
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void CheckerScratch::TearDown() { fs::remove_all(dir_); }

std::string CheckerScratch::path(const std::string& rest) const {
  std::string p = (dir_ / rest).string();
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

void CheckerScratch::write_file(const std::string& rest, const std::string& bytes) const {
  const fs::path file = dir_ / rest;
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

LogTrace CheckerScratch::trace(LogLevel level) const { return LogTrace(path("LOG.TXT"), level); }

std::string CheckerScratch::log_text() const {
  std::ifstream in(dir_ / "LOG.TXT", std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

