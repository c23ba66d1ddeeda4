// An open file, closed when its handle goes.
#pragma once

#include <cstdio>
#include <utility>

#include "common/host.h"

class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(std::FILE* file) : file_(file) {}
  FileHandle(FileHandle&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
  FileHandle& operator=(FileHandle&& other) noexcept {
    std::swap(file_, other.file_);
    return *this;
  }
  ~FileHandle() {
    if (file_) std::fclose(file_);
  }

  // A path text opened for reading (host_open_read); empty when it cannot be.
  static FileHandle open_read(const char* path) { return FileHandle(host_open_read(path)); }

  std::FILE* get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
};
