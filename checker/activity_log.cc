#include "checker/activity_log.h"

#include <cstdio>

#include "common/text.h"
#include "common/text_file.h"

namespace {

std::string two_digits(int value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", value);
  return buf;
}

}  // namespace

std::optional<LogLevel> log_level_word(const char* word) {
  if (begins_with(word, "LOW")) return LogLevel::Low;
  if (begins_with(word, "MID")) return LogLevel::Mid;
  if (begins_with(word, "HIGH")) return LogLevel::High;
  if (begins_with(word, "DEBUG")) return LogLevel::Debug;
  return std::nullopt;
}

std::string make_log_path(const char* program_directory, const LocalTime& now) {
  return std::string(program_directory) + "QEL" + two_digits(now.month) + two_digits(now.day) + ".LOG";
}

std::string start_time_text(const LocalTime& now) {
  return two_digits(now.hour) + ":" + two_digits(now.minute) + ":" + two_digits(now.second);
}

void append_log_line(const char* path, const std::string& text) {
  const std::string bytes = to_crlf(text + "\n");
  host_append(path, bytes.data(), bytes.size());
}
