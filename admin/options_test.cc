#include "admin/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool ends_log(const std::string& word) { return word.size() > 4 && word.substr(word.size() - 4) == ".LOG"; }

// What a command line gives: the options and words as "name=value" and
// "word" texts in order of their kind, or the error.
std::string parsed(const std::vector<std::string>& args, bool habits) {
  Options options;
  std::string error;
  KnownOptions known{{"--dir"}, {"--yes"}, {"--preview"}, ends_log};
  known.habits = habits;
  if (!parse_options(args, known, options, error)) return "error: " + error;
  std::string text = options.help ? "help " : "";
  for (const auto& [name, value] : options.values) text += name + "=" + value + " ";
  for (const auto& [name, values] : options.lists)
    for (const std::string& value : values) text += name + "=" + value + " ";
  for (const std::string& flag : options.flags) text += flag + " ";
  for (const std::string& word : options.words) text += "[" + word + "] ";
  return text;
}

TEST(Options, CommandLineHabits) {
  const struct {
    std::vector<std::string> args;
    bool habits;
    const char* want;
  } cases[] = {
      {{"--dir=C:\\Q", "x"}, false, "--dir=C:\\Q [x] "},
      {{"--dir", "C:\\Q", "x"}, true, "--dir=C:\\Q [x] "},
      {{"--dir=", "x"}, true, "--dir= [x] "},
      {{"--", "--dir", "-h"}, true, "[--dir] [-h] "},
      {{"-h"}, true, "help "},
      {{"x", "--help"}, true, "help [x] "},
      {{"-h"}, false, "[-h] "},  // commands without the habits keep taking it as a word
      {{"-x"}, true, "error: unknown option -x"},
      {{"-"}, true, "[-] "},
      {{"--yes=1"}, true, "error: option --yes takes no value"},
      {{"--yes", "--yes"}, true, "error: option --yes given twice"},
      {{"--dir", "a", "--dir=b"}, true, "error: option --dir given twice"},
      {{"--dir"}, true, "error: option --dir needs a value"},
      {{"--preview", "A.LOG", "B.LOG", "*", "STRICT"}, true, "--preview=A.LOG --preview=B.LOG [*] [STRICT] "},
      {{"--preview", "dec.txt", "--preview=C.LOG", "D.LOG"}, true, "--preview=dec.txt --preview=C.LOG [D.LOG] "},
  };
  for (const auto& c : cases) EXPECT_EQ(parsed(c.args, c.habits), c.want) << c.args[0];
}

}  // namespace
