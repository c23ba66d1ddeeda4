// The logs a command line names: wildcards as the Windows command interpreter
// leaves them to the program.
#include "admin/activity_log/log_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

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

// A log handed over stays open after the call, for a reader that keeps it;
// standard input comes as an empty handle, and a word that opens nothing
// goes to unreadable.
TEST_F(LogFileWords, HandedOverLogsStayOpen) {
  write_file("QEL0101.LOG", "first");
  write_file("QEL0102.LOG", "second");
  std::vector<std::pair<std::string, FileHandle>> kept;
  std::vector<std::string> unreadable;
  StreamConsole err(stderr);
  std::FILE* in = file_with("piped");
  read_logs(
      {path("QEL*.LOG"), "-", path("none.log")}, "test", err, in,
      [&](const std::string& log, std::FILE* file, FileHandle owned) {
        EXPECT_EQ(owned.get(), log == kStandardInput ? nullptr : file);
        kept.emplace_back(log, std::move(owned));
      },
      [&](const std::string& log) { unreadable.push_back(log); });
  ASSERT_EQ(kept.size(), 3u);
  for (std::size_t i = 0; i < 2; ++i) {
    char text[16] = {};
    ASSERT_TRUE(kept[i].second);
    EXPECT_GT(std::fread(text, 1, sizeof text - 1, kept[i].second.get()), 0u);
    EXPECT_STREQ(text, i == 0 ? "first" : "second");
  }
  EXPECT_EQ(unreadable, std::vector<std::string>{path("none.log")});
  std::fclose(in);
}

}  // namespace
