#include "common/testing/scratch.h"

#include <fstream>
#include <sstream>

#include <unistd.h>

namespace fs = std::filesystem;

void ScratchDir::SetUp() {
  static int count = 0;
  dir_ = fs::temp_directory_path() / ("qv" + std::to_string(getpid()) + "_" + std::to_string(++count));
  fs::remove_all(dir_);
  fs::create_directories(dir_);
}

void ScratchDir::TearDown() { fs::remove_all(dir_); }

std::string ScratchDir::path(const std::string& rest) const {
  std::string p = (dir_ / rest).string();
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

std::string ScratchDir::with_dir(std::string text) const {
  const std::string dir = path("");
  for (std::size_t at; (at = text.find("{D}")) != std::string::npos;) text.replace(at, 3, dir);
  return text;
}

void ScratchDir::write_file(const std::string& rest, const std::string& bytes) const {
  const fs::path file = dir_ / rest;
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::string ScratchDir::read_file(const std::string& rest) const {
  std::ifstream in(dir_ / rest, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::FILE* file_with(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}
