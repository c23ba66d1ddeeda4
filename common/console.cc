#include "common/console.h"

#include <cstdio>

#include "common/text_file.h"

void StreamConsole::print(std::string_view text) {
  const std::string bytes = to_crlf(text.data(), text.size());
  std::fwrite(bytes.data(), 1, bytes.size(), stream_);
}

void StreamConsole::flush() { std::fflush(stream_); }
