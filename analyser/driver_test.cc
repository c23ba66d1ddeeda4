#include "analyser/driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Runs in a scratch directory holding a log of three messages, a GLOBAL.CFG
// in cfgdir and another in a directory named 0.
class Driver : public testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("veskol_driver_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_ / "cfgdir");
    fs::create_directories(dir_ / "0");
    fs::current_path(dir_);
    write("dec.log",
          "k1 Tests failed [weight=1] a=1 e\r\nk2 Tests failed [weight=1] b=1 e\r\n"
          "k3 Tests failed [weight=1] c=1 e\r\n");
    write("cfgdir/global.cfg", "CFGTEST x\r\nLOGFILE y\r\n");
    write("0/GLOBAL.CFG", "zerocfg\r\n");
  }
  void TearDown() override {
    fs::current_path(old_dir_);
    fs::remove_all(dir_);
  }
  static void write(const char* path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

  static std::string run(std::vector<std::string> args) {
    std::vector<char*> argv{const_cast<char*>("VESKOL")};
    for (std::string& a : args) argv.push_back(a.data());
    CapturedConsole console, err;
    EXPECT_EQ(run_analyser(static_cast<int>(argv.size()), argv.data(), console, err, nullptr), 0);
    EXPECT_EQ(err.text(), "");
    return console.text();
  }

  fs::path old_dir_, dir_;
};

TEST_F(Driver, ArgumentShapes) {
  const struct {
    std::vector<std::string> args;
    std::string names;  // printed while reading GLOBAL.CFG
    int entries;        // scanned, as the scan limit allows
  } cases[] = {
      {{"dec.log", "2"}, "", 2},
      {{"dec.log", "cfgdir"}, "\n0 CFGTEST", 3},
      {{"dec.log", "0"}, "\n0 ZEROCFG", 3},
      {{"dec.log", "2", "cfgdir"}, "\n0 CFGTEST", 2},
      {{"dec.log", "cfgdir\\", "0x1"}, "\n0 CFGTEST", 1},
      {{"dec.log", "cfgdir", "junk"}, "\n0 CFGTEST", 3},
      {{"dec.log", "0", "2"}, "\n0 ZEROCFG", 2},
      {{"dec.log", "2004\\cfg"}, "", 3},
      {{"dec.log", "-1", "cfgdir"}, "\n0 CFGTEST", 3},
      {{"dec.log", "1", "cfgdir", "extra", "more"}, "\n0 CFGTEST", 1},
      {{"dec.log", "CfgDir\\GLOBAL.CFG"}, "\n0 CFGTEST", 3},
      {{"dec.log", "nowhere"}, "", 3},
  };
  for (const auto& c : cases) {
    const std::string out = run(c.args);
    const std::string n = std::to_string(c.entries);
    std::string label;
    for (const std::string& a : c.args) label += a + " ";
    // The configured names come first, then those the scan adds.
    const std::string first_scanned = c.names.empty() ? "\n0 A" : "\n1 A";
    EXPECT_EQ(out.substr(0, c.names.size() + 4), c.names + first_scanned) << label;
    EXPECT_EQ(out.substr(out.size() - 22), "\t      " + n + "     \t      " + n + "\n") << label;
  }
}

}  // namespace
