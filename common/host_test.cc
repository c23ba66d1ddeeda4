#include "common/host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

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

TEST_F(HostFiles, WriteEmptiesAnExistingFile) {
  write("veskol.txt", "old report, longer than the new one");
  std::FILE* f = host_open_write(windows_path("VESKOL.TXT").c_str());
  ASSERT_NE(f, nullptr);
  std::fputs("new", f);
  std::fclose(f);
  EXPECT_EQ(read_back(host_open_read(windows_path("veskol.txt").c_str())), "new");
}

}  // namespace
