// The log window against the file it shows: whatever the scanner keeps and
// however the log is taken in (mapped in the smallest windows or in large
// ones, read in small or large steps), the span holds the file's bytes from
// the place the kept bytes began, and ends with the file.
#include "analyser/log_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>

#include "analyser/testing/byte_file.h"

namespace {

struct Way {
  const char* label;
  LogWindowSettings settings;
};

const Way kWays[] = {
    {"mapped in the smallest windows", {true, 1, 0}},
    {"mapped in the smallest windows, step 1", {true, 1, 1}},
    {"mapped in the smallest windows, step 7", {true, 1, 7}},
    {"mapped in large windows, step 4093", {true, 1 << 20, 4093}},
    {"mapped in large windows", {true, 1 << 20, 0}},
    {"read", {false, 1, 0}},
    {"read, step 1", {false, 1, 1}},
    {"read, step 7", {false, 1, 7}},
};

std::string random_file(std::mt19937& random, std::size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// Drives the window to the end, keeping a random tail of each span.
void read_through(const Way& way, std::FILE* file, const std::string& content, std::size_t start,
                  std::mt19937& random) {
  LogWindow window(file, way.settings);
  std::size_t offset = start;  // where the span starts in the file
  for (int advances = 0;; ++advances) {
    const std::size_t kept = window.size() == 0 ? 0 : random() % std::min<std::size_t>(window.size(), 300);
    offset += window.size() - kept;
    const bool more = window.advance(window.size() - kept);
    ASSERT_GE(window.size(), kept) << way.label;
    ASSERT_EQ(std::string_view(window.data(), window.size()), std::string_view(content).substr(offset, window.size()))
        << way.label << ", advance " << advances << ", offset " << offset;
    ASSERT_GE(window.readable(), window.size() + (window.mapped() ? 0 : 16)) << way.label;
    if (!more) {
      ASSERT_EQ(window.size(), kept) << way.label << ": nothing new, yet the span grew";
      ASSERT_EQ(offset + window.size(), content.size()) << way.label << ": ended before the end of the file";
      return;
    }
    ASSERT_GT(window.size(), kept) << way.label;
  }
}

TEST(LogWindow, SpansHoldTheFileWhateverIsKept) {
  std::mt19937 random(1024);
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{70000}}) {
    const std::string content = random_file(random, size);
    std::FILE* file = file_with(content);
    ASSERT_NE(file, nullptr);
    for (const Way& way : kWays) {
      std::rewind(file);
      read_through(way, file, content, 0, random);
    }
    std::fclose(file);
  }
}

TEST(LogWindow, StartsWhereTheStreamStands) {
  std::mt19937 random(3);
  const std::string content = random_file(random, 20000);
  std::FILE* file = file_with(content);
  ASSERT_NE(file, nullptr);
  for (const Way& way : kWays) {
    std::rewind(file);
    char first[4099];
    ASSERT_EQ(std::fread(first, 1, sizeof first, file), sizeof first);
    read_through(way, file, content, sizeof first, random);
  }
  std::fclose(file);
}

TEST(LogWindow, MapsFilesAndReadsOtherStreams) {
  const std::string content = "k Tests failed [weight=1] a=1 e";
  std::FILE* file = file_with(content);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(LogWindow(file, {true, 1, 0}).mapped());
  std::rewind(file);
  EXPECT_FALSE(LogWindow(file, {false, 1, 0}).mapped());
  std::fclose(file);

  std::string bytes = content;
  std::FILE* memory = fmemopen(bytes.data(), bytes.size(), "rb");
  ASSERT_NE(memory, nullptr);
  std::mt19937 random(5);
  read_through({"a stream in memory", {true, 1, 0}}, memory, content, 0, random);
  std::rewind(memory);
  EXPECT_FALSE(LogWindow(memory, {true, 1, 0}).mapped());
  std::fclose(memory);
}

}  // namespace
