#include "analyser/config.h"

#include <cstring>

#include "common/file.h"
#include "common/host.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

constexpr std::size_t kLineMax = 198;  // only this much of a line counts

// Lines whose first word is one of these configure the filter itself. The
// comparison is case-significant: a lower-case "logfile" is a test name.
constexpr const char* kDirectives[] = {
    "WHITELIST", "LOGFILE",  "LOGLEVEL", "CODE", "HOP", "XINHEADER",     "XOUTHEADER",
    "XSENDER",   "XSPOOLNAME", "HIDETESTS", "IPBYPASS", "DNS", "AUTOWHITELIST", "WHITELISTFILE",
};

bool is_directive(const char* word) {
  for (const char* keyword : kDirectives)
    if (std::strcmp(word, keyword) == 0) return true;
  return false;
}

// Reads the first kLineMax characters of the next line into line and skips
// the rest of it. False at the end of the file.
bool read_line(TextReader& reader, char (&line)[kLineMax + 1]) {
  std::size_t n = 0;
  bool line_end = false;
  while (n < kLineMax) {
    const int c = reader.get();
    if (c == EOF) break;
    line[n++] = static_cast<char>(c);
    if (c == '\n') {
      line_end = true;
      break;
    }
  }
  line[n] = '\0';
  if (n == 0) return false;
  if (!line_end) {
    int c;
    do c = reader.get();
    while (c != EOF && c != '\n');
  }
  return true;
}

}  // namespace

std::string complete_config_path(const char* argument) {
  std::string path(argument);
  upper_case_text(path.data());
  if (path.find("GLOBAL.CFG") != std::string::npos) return path;
  if (!path.empty() && path.back() == '\\') return path + "GLOBAL.CFG";
  return path + "\\GLOBAL.CFG";
}

void read_config_names(std::FILE* file, FailedTests& table, Console& console) {
  TextReader reader(file);
  char line[kLineMax + 1];
  while (read_line(reader, line)) {
    // The first word ends at a TAB, a space, a "#" or the line end; the line
    // end never becomes part of a name.
    line[std::strcspn(line, "\t #\n\r")] = '\0';
    if (is_directive(line) || std::strlen(line) < 2) continue;
    find_or_add_test(table, upper_case_text(line), console);
  }
}

void load_config_names(const char* path, FailedTests& table, Console& console) {
  const FileHandle file = FileHandle::open_read(path);
  if (file) read_config_names(file.get(), table, console);
}
