#include "analyser/config.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/testing/scratch.h"

namespace {

TEST(CompleteConfigPath, UpperCasesAndAddsTheFileName) {
  const struct {
    const char* argument;
    const char* want;
  } cases[] = {
      {"c:\\declude", "C:\\DECLUDE\\GLOBAL.CFG"},
      {"", "\\GLOBAL.CFG"},
      {"global.cfg", "GLOBAL.CFG"},
      {"d:\\Filter\\Global.Cfg.old", "D:\\FILTER\\GLOBAL.CFG.OLD"},
      {"x\\myglobal.cfgs\\", "X\\MYGLOBAL.CFGS\\"},
      {"a/b", "A/B\\GLOBAL.CFG"},  // only "\" separates
      {"\xe9t\xe9", "\xe9T\xe9\\GLOBAL.CFG"},
  };
  for (const auto& c : cases) EXPECT_EQ(complete_config_path(c.argument), c.want) << c.argument;
}

std::vector<std::string> names_from(const std::string& bytes) {
  FailedTests table;
  CapturedConsole console;
  std::FILE* file = file_with(bytes);
  read_config_names(file, table, console);
  std::fclose(file);
  std::vector<std::string> names;
  for (const TestSlot& slot : table.slots) names.push_back(slot.name);
  return names;
}

using Names = std::vector<std::string>;

TEST(ReadConfigNames, FirstWordOfEachLine) {
  const struct {
    const char* label;
    std::string bytes;
    Names want;
  } cases[] = {
      {"tab and space end a word", "spamcop\tip4r bl.spamcop.net\r\nsorbs x\r\n", {"SPAMCOP", "SORBS"}},
      {"comments and indented lines", "# comment\r\n  INDENTED x\r\n\tTABBED x\r\n#x y\r\nREAL=1 x\r\n", {"REAL=1"}},
      {"hash ends a word", "fiveten#note\r\n", {"FIVETEN"}},
      {"directives with values", "LOGFILE c:\\x.log\r\nLOGLEVEL HIGH\r\nHOP 1\r\nDNS 1.2.3.4\r\n", {}},
      {"bare directive alone on its line", "HIDETESTS\r\nAUTOWHITELIST\nWHITELISTFILE\rnext\nNEXT\n", {"NEXT"}},
      {"single word lines lose the line end", "TESTA\r\nTESTB\nTESTC", {"TESTA", "TESTB", "TESTC"}},
      {"one-character words are dropped", "X\r\nY\nZ", {}},
      {"two characters are enough", "ab\r\n", {"AB"}},
      {"empty lines", "\r\n\n\r\n", {}},
      {"duplicates count once", "TESTA x\r\ntesta y\r\nTestA\r\n", {"TESTA"}},
      {"every directive", "WHITELIST a\nLOGFILE a\nLOGLEVEL a\nCODE a\nHOP a\nXINHEADER a\nXOUTHEADER a\n"
                          "XSENDER a\nXSPOOLNAME a\nHIDETESTS a\nIPBYPASS a\nDNS a\nAUTOWHITELIST a\n"
                          "WHITELISTFILE a\nWHITELISTS a\n", {"WHITELISTS"}},
      {"ctrl-z ends the file", "AA\r\n\x1a" "BB\r\n", {"AA"}},
      {"a zero byte ends the text", std::string("AB\0CD x\r\nEF\r\n", 12), {"AB", "EF"}},
      {"a zero byte first drops the line", std::string("\0ABC\r\nEF\r\n", 10), {"EF"}},
      {"word of other bytes", "\xe9t\xe9 x\r\n", {"\xe9T\xe9"}},
  };
  for (const auto& c : cases) EXPECT_EQ(names_from(c.bytes), c.want) << c.label;
}

TEST(ReadConfigNames, OnlyTheFirst198CharactersOfALineCount) {
  const std::string long_word(250, 'w');
  EXPECT_EQ(names_from(long_word + "\r\nNEXT\r\n"), (Names{std::string(198, 'W'), "NEXT"}));
  // A line of exactly 198 characters keeps its line end for the skipping.
  EXPECT_EQ(names_from(std::string(198, 'a') + "\nNEXT\n"), (Names{std::string(198, 'A'), "NEXT"}));
  // The tail of a long line, TAB and "#" included, is never read as a line.
  EXPECT_EQ(names_from(std::string(198, ' ') + "HIDDEN x\r\n" + std::string(300, 'b') + "#c\tVISIBLE\r\n"),
            (Names{std::string(198, 'B')}));
  // A last line without line end that is longer than 198 characters.
  EXPECT_EQ(names_from("AB x\r\n" + long_word), (Names{"AB", std::string(198, 'W')}));
}

}  // namespace
