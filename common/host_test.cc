#include "common/host.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

class HostFiles : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("host_test_" + std::to_string(std::rand()) + "_" +
                                        testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The Windows form of a path below the scratch directory.
  std::string windows_path(const std::string& rest) const {
    std::string p = dir_.string() + "/" + rest;
    for (char& c : p)
      if (c == '/') c = '\\';
    return p;
  }
  void write(const std::string& rest, const std::string& bytes) {
    fs::create_directories((dir_ / rest).parent_path());
    std::ofstream(dir_ / rest, std::ios::binary) << bytes;
  }
  std::string read_back(std::FILE* f) {
    std::string s;
    for (int c; (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
    std::fclose(f);
    return s;
  }

  fs::path dir_;
};

#ifndef _WIN32
TEST_F(HostFiles, ExactNameWinsThenFirstInByteOrder) {
  write("Rules", "mixed");
  write("RULES", "upper");
  write("rules", "lower");
  EXPECT_EQ(read_back(host_open_read(windows_path("rules").c_str())), "lower");
  EXPECT_EQ(read_back(host_open_read(windows_path("rULES").c_str())), "upper");
}

TEST_F(HostFiles, NewFileKeepsTheNameAsBuilt) {
  ASSERT_TRUE(host_append(windows_path("QEL0109.LOG").c_str(), "a\r\n", 3));
  ASSERT_TRUE(host_append(windows_path("qel0109.log").c_str(), "b\r\n", 3));
  EXPECT_TRUE(fs::exists(dir_ / "QEL0109.LOG"));
  EXPECT_FALSE(fs::exists(dir_ / "qel0109.log"));
  EXPECT_EQ(read_back(host_open_read(windows_path("QEL0109.LOG").c_str())), "a\r\nb\r\n");
}
#endif

TEST_F(HostFiles, ReplaceLeavesOnlyTheNewFile) {
  write("veskol.txt", "old report, longer than the new one");
  ASSERT_EQ(host_replace_file(windows_path("VESKOL.TXT").c_str(), "new", 3), ReplaceOutcome::Replaced);
  EXPECT_EQ(read_back(host_open_read(windows_path("veskol.txt").c_str())), "new");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"veskol.txt"});

  fs::create_directory(dir_ / "dir.txt");
  EXPECT_EQ(host_replace_file(windows_path("dir.txt").c_str(), "x", 1), ReplaceOutcome::NotCreated);
  EXPECT_EQ(host_replace_file(windows_path("missing\\veskol.txt").c_str(), "x", 1), ReplaceOutcome::NotCreated);
}

TEST(HostNames, DevicesInTheLastComponent) {
  const struct {
    const char* path;
    bool device;
  } cases[] = {
      {"NUL", true},          {"c:\\x\\nul.quorvant", true}, {"X\\Com1.X.QUORVANT", true},
      {"X/lpt9", true},       {"X\\AUX. . ", true},            {"X\\CON .TXT", true},
      {"X\\PRN:", true},      {"C:NUL", true},                 {"X\\COM0", false},
      {"X\\LPT10", false},    {"X\\NULL", false},              {"X\\ NUL", false},
      {"NUL\\X", false},      {"X\\CON\\", false},             {"", false},
      {"X\\COM\xb9", false},
  };
  for (const auto& c : cases) EXPECT_EQ(host_names_device(c.path), c.device) << c.path;
}

#ifndef _WIN32
TEST_F(HostFiles, TrailingDotsAndSpacesAsWindowsDropsThem) {
  write("A/F", "one");
  write("A../F", "two");
  const struct {
    const char* path;
    const char* content;  // nullptr: not found
  } cases[] = {
      {"A\\F", "one"}, {"A.\\F", "one"},   {"A\\F. . ", "one"}, {"A..\\F..", "two"},
      {"A. \\F", nullptr}, {"A.\\.F", nullptr},
  };
  for (const auto& c : cases) {
    std::FILE* f = host_open_read(windows_path(c.path).c_str());
    if (!c.content) {
      EXPECT_EQ(f, nullptr) << c.path;
      if (f) std::fclose(f);
    } else {
      ASSERT_NE(f, nullptr) << c.path;
      EXPECT_EQ(read_back(f), c.content) << c.path;
    }
  }
}

// In a child process whose file size limit lets only part of the line in,
// as a full disk would.
TEST_F(HostFiles, AppendTakesBackALineCutShort) {
  write("QEL0109.LOG", "a\r\n");
  const std::string log = windows_path("QEL0109.LOG");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{6, 6};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(host_append(log.c_str(), "bbbbb\r\n", 7) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(read_back(host_open_read(log.c_str())), "a\r\n");
  ASSERT_TRUE(host_append(log.c_str(), "c\r\n", 3));
  EXPECT_EQ(read_back(host_open_read(log.c_str())), "a\r\nc\r\n");
}
#endif

}  // namespace
