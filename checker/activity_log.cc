#include "checker/activity_log.h"

#include <cstdio>

#include "common/text_file.h"

namespace {

std::string g_log_path;
int g_log_level = kMid;

std::string two_digits(int value, char pad) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%2d", value);
  std::string text(buf);
  for (char& c : text)
    if (c == ' ') c = pad;
  return text;
}

}  // namespace

std::string make_log_path(const char* program_directory, const LocalTime& now) {
  return std::string(program_directory) + "QEL" + two_digits(now.month, '0') + two_digits(now.day, '0') + ".LOG";
}

std::string start_time_text(const LocalTime& now) {
  return two_digits(now.hour, '0') + ":" + two_digits(now.minute, '0') + ":" + two_digits(now.second, '0');
}

void append_log_line(const char* path, const std::string& text) {
  const std::string bytes = to_crlf(text + "\n");
  host_append(path, bytes.data(), bytes.size());
}

void set_log_path(const std::string& path) { g_log_path = path; }
void set_log_level(int level) { g_log_level = level; }
const std::string& log_path() { return g_log_path; }
int log_level() { return g_log_level; }

void log_at(int threshold, const std::string& text) {
  if (g_log_level >= threshold) append_log_line(g_log_path.c_str(), text);
}
