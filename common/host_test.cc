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

TEST_F(HostFiles, MappedWindowsHoldTheFile) {
  const std::size_t unit = host_map_granularity();
  std::string bytes(3 * unit + 100, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  write("dec.log", bytes);
  std::FILE* f = host_open_read(windows_path("dec.log").c_str());
  ASSERT_NE(f, nullptr);
  std::uint64_t start = 1;
  HostFileMap* map = host_map_open(f, start);
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(start, 0u);
  struct Want {
    std::uint64_t offset;
    std::size_t asked, got;
  };
  for (const Want w : {Want{0, 2 * unit, 2 * unit}, Want{unit, 2 * unit, 2 * unit}, Want{2 * unit, 4 * unit, unit + 100},
                       Want{3 * unit, unit, 100}, Want{4 * unit, unit, 0}, Want{0, 1, 1}}) {
    const char* data = nullptr;
    std::size_t size = w.asked;
    ASSERT_TRUE(host_map_window(map, w.offset, data, size)) << w.offset;
    ASSERT_EQ(size, w.got) << w.offset;
    if (size > 0) {
      EXPECT_EQ(std::string(data, size), bytes.substr(w.offset, size)) << w.offset;
    }
  }
  host_map_close(map);
  std::fclose(f);
}

#ifndef _WIN32
TEST_F(HostFiles, StreamsWithoutAFileAreNotMapped) {
  char bytes[] = "in memory";
  std::FILE* f = fmemopen(bytes, sizeof bytes - 1, "rb");
  ASSERT_NE(f, nullptr);
  std::uint64_t start = 0;
  EXPECT_EQ(host_map_open(f, start), nullptr);
  std::fclose(f);
}

// Another program may cut a log short while it is mapped: the bytes that are
// gone read as zero bytes instead of ending the program with SIGBUS.
TEST_F(HostFiles, AFileCutShortUnderAWindowReadsAsZeroBytes) {
  const std::size_t unit = host_map_granularity();
  write("dec.log", std::string(3 * unit, 'a'));
  std::FILE* f = host_open_read(windows_path("dec.log").c_str());
  ASSERT_NE(f, nullptr);
  std::uint64_t start = 0;
  HostFileMap* map = host_map_open(f, start);
  ASSERT_NE(map, nullptr);
  const char* data = nullptr;
  std::size_t size = 3 * unit;
  ASSERT_TRUE(host_map_window(map, 0, data, size));
  ASSERT_EQ(size, 3 * unit);
  EXPECT_EQ(data[unit / 2], 'a');
  fs::resize_file(dir_ / "dec.log", unit);
  const volatile char* view = data;
  EXPECT_EQ(view[2 * unit + 5], '\0');
  EXPECT_EQ(view[unit + 1], '\0');
  EXPECT_EQ(view[unit - 1], 'a');
  size = unit;  // the next window begins past the new end
  ASSERT_TRUE(host_map_window(map, unit, data, size));
  EXPECT_EQ(size, 0u);
  host_map_close(map);
  std::fclose(f);
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
