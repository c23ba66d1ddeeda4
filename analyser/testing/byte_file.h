// A temporary file holding given bytes, open for reading from the start.
#pragma once

#include <cstdio>
#include <string>

inline std::FILE* file_with(const std::string& bytes) {
  std::FILE* file = std::tmpfile();
  if (!file) return nullptr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  return file;
}
