// The logs a command line names: wildcards as the Windows command interpreter
// leaves them to the program.
#include "admin/activity_log/log_files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/testing/scratch.h"

namespace {

TEST(Wildcard, Table) {
  const struct {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"QEL12*.LOG", "QEL1207.LOG", true},
      {"qel12*.log", "QEL1207.LOG", true},
      {"QEL12*.LOG", "QEL1107.LOG", false},
      {"QEL????.LOG", "QEL1207.LOG", true},
      {"QEL???.LOG", "QEL1207.LOG", false},
      {"*", "", true},
      {"*.LOG", "A.LOG.BAK", false},
      {"*A*B*", "xxAyyAzzB", true},
      {"*A*B", "xxAyyBzz", false},
      {"A?", "A", false},
      {"", "", true},
      {"**", "Q", true},
  };
  for (const auto& c : cases) EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " " << c.name;
}

class LogFileWords : public ScratchDir {};

TEST_F(LogFileWords, WildcardWordsAreExpandedInNameOrder) {
  std::filesystem::create_directories(dir_ / "QEL1299.LOG");  // a directory is no log
  for (const char* name : {"QEL1208.LOG", "QEL1207.LOG", "qel1209.log", "QEL1107.LOG"}) write_file(name, "x");
  const std::string base = dir_.string() + "/";
  const LogFiles files = log_files({base + "QEL12*.LOG", base + "plain.log", base + "NONE*.LOG"});
  std::string prefix = base;
  for (char& c : prefix)
    if (c == '/') c = '\\';
  const std::vector<std::string> want = {prefix + "QEL1207.LOG", prefix + "QEL1208.LOG", prefix + "qel1209.log",
                                         prefix + "plain.log"};
  EXPECT_EQ(files.paths, want);
  EXPECT_EQ(files.unmatched, std::vector<std::string>{prefix + "NONE*.LOG"});
}

}  // namespace
