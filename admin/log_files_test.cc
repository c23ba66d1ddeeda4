// The logs a command line names: wildcards as the Windows command interpreter
// leaves them to the program.
#include "admin/log_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

TEST(LogFiles, WildcardWordsAreExpandedInNameOrder) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "qvadmin_log_files_test";
  fs::remove_all(dir);
  fs::create_directories(dir / "QEL1299.LOG");  // a directory is no log
  for (const char* name : {"QEL1208.LOG", "QEL1207.LOG", "qel1209.log", "QEL1107.LOG"})
    std::ofstream(dir / name) << "x";
  const std::string base = dir.string() + "/";
  const LogFiles files = log_files({base + "QEL12*.LOG", base + "plain.log", base + "NONE*.LOG"});
  std::string prefix = base;
  for (char& c : prefix)
    if (c == '/') c = '\\';
  const std::vector<std::string> want = {prefix + "QEL1207.LOG", prefix + "QEL1208.LOG", prefix + "qel1209.log",
                                         prefix + "plain.log"};
  EXPECT_EQ(files.paths, want);
  EXPECT_EQ(files.unmatched, std::vector<std::string>{prefix + "NONE*.LOG"});
  fs::remove_all(dir);
}

}  // namespace
