// QVADMIN run in this process on a command line, for tests and fuzz targets.
#pragma once

#include <string>
#include <vector>

#include "admin/driver.h"
#include "common/console.h"

struct AdminRun {
  int code;
  std::string out, err;  // standard output and standard error
};

// words: the program's path, the command and its words; in stands for
// standard input.
inline AdminRun run_admin_words(std::vector<std::string> words, std::FILE* in = nullptr) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  CapturedConsole out, err;
  const int code = run_admin(static_cast<int>(argv.size()), argv.data(), out, err, in);
  return {code, out.text(), err.text()};
}
