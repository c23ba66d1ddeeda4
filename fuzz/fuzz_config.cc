// GLOBAL.CFG reading over arbitrary bytes. Oracles: no name holds a line end,
// TAB, space or "#"; never more than 100 slots; and the table and console
// output are those of a plain model of the reading: per line only the first
// 198 characters count, the first word ends at a TAB, space, "#" or line
// end, directives (case significant, before upper-casing) and words shorter
// than 2 characters are dropped, the rest are added upper-cased in file
// order, each new one announced as "\n<slot> <name>" with its control bytes
// and DEL shown as "?".
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analyser/config.h"
#include "analyser/failed_tests.h"
#include "common/console.h"
#include "common/testing/text_model.h"
#include "fuzz/fuzz_check.h"

namespace {

const char* const kDirectives[] = {
    "WHITELIST", "LOGFILE",    "LOGLEVEL",  "CODE",     "HOP", "XINHEADER",     "XOUTHEADER",
    "XSENDER",   "XSPOOLNAME", "HIDETESTS", "IPBYPASS", "DNS", "AUTOWHITELIST", "WHITELISTFILE",
};

std::vector<std::string> model_names(const std::string& bytes, std::string& console) {
  const std::string text = text_mode(bytes);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t end = text.find('\n', i);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(i, std::min<std::size_t>(end - i, 198));
    i = end;
    // A zero byte ends the text; a lone CR ends the word like a line end.
    line = line.substr(0, line.find('\0'));
    std::string word = line.substr(0, line.find_first_of("\t #\n\r"));
    bool directive = false;
    for (const char* d : kDirectives) directive = directive || word == d;
    if (directive || word.size() < 2) continue;
    for (char& c : word)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    bool known = false;
    for (const std::string& n : names) known = known || n == word;
    if (known || names.size() == 100) continue;
    std::string shown = word;  // control bytes and DEL are shown as "?"
    for (char& c : shown)
      if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
    console.append("\n").append(std::to_string(names.size())).append(" ").append(shown);
    names.push_back(word);
  }
  return names;
}

// The configuration argument, upper-cased, names the file when GLOBAL.CFG
// occurs in it and its directory otherwise.
void check_config_path(const std::string& argument) {
  std::string upper = argument;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  std::string want = upper;
  if (upper.find("GLOBAL.CFG") == std::string::npos)
    want += !upper.empty() && upper.back() == '\\' ? "GLOBAL.CFG" : "\\GLOBAL.CFG";
  FUZZ_CHECK(complete_config_path(argument.c_str()) == want);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  check_config_path(bytes.substr(0, std::min(bytes.find('\n'), bytes.find('\0'))));
  static char empty[] = "\x1a";  // fmemopen refuses an empty buffer
  std::FILE* f = size == 0 ? fmemopen(empty, 1, "rb") : fmemopen(const_cast<char*>(bytes.data()), size, "rb");
  FailedTests table;
  CapturedConsole console;
  read_config_names(f, table, console);
  std::fclose(f);

  FUZZ_CHECK(table.slots.size() <= 100);
  for (const TestSlot& slot : table.slots) {
    FUZZ_CHECK(slot.name.find_first_of("\r\n\t #") == std::string::npos);
    FUZZ_CHECK(slot.name.size() >= 2 && slot.name.size() <= 198);
  }
  std::string want_console;
  const std::vector<std::string> want = model_names(bytes, want_console);
  FUZZ_CHECK(table.slots.size() == want.size());
  for (std::size_t i = 0; i < want.size(); ++i) FUZZ_CHECK(table.slots[i].name == want[i]);
  FUZZ_CHECK(console.text() == want_console);
  return 0;
}
