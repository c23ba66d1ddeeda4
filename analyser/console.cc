#include "analyser/console.h"

#include <cstdio>

#include "common/text_file.h"

void StdoutConsole::print(std::string_view text) {
  const std::string bytes = to_crlf(text.data(), text.size());
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void StdoutConsole::flush() { std::fflush(stdout); }
