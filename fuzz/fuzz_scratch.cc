#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "fuzz/fuzz_check.h"

namespace {

std::string make_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern;
}

}  // namespace

const std::string& fuzz_scratch_dir() {
  static const std::string dir = [] {
    std::string d = make_dir();
    static std::string to_remove;
    to_remove = d;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(to_remove, ignored);
    });
    return d;
  }();
  return dir;
}
