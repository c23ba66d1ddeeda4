// The log reader against text mode as the checker reads files (TextReader,
// one character at a time), at read sizes that put CR LF pairs, Ctrl-Z and
// long lines across the ends of its buffer and of the stretches it scans.
#include "admin/activity_log/log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/testing/scratch.h"

#include "common/text_file.h"

namespace {

struct Line {
  std::string text;
  bool too_long;
  std::uint64_t offset = 0;
  bool ended = true;
  bool operator==(const Line&) const = default;
};

// Where each line begins in the bytes, and whether a line end closes it: a
// line begins at 0 and after every LF, up to the first byte 26.
void place_lines(const std::string& bytes, std::vector<Line>& lines) {
  const std::string text = bytes.substr(0, bytes.find('\x1a'));
  std::size_t start = 0;
  for (Line& line : lines) {
    const std::size_t end = text.find('\n', start);
    line.offset = start;
    line.ended = end != std::string::npos;
    start = end + 1;
  }
}

std::vector<Line> reference_lines(const std::string& bytes) {
  TextReader reader(bytes.data(), bytes.size());
  std::vector<Line> lines;
  std::string current;
  bool open = false;
  for (int c; (c = reader.get()) != EOF;) {
    open = true;
    if (c != '\n') {
      current += static_cast<char>(c);
      continue;
    }
    lines.push_back({current, current.size() > kMaxLogLine});
    current.clear();
    open = false;
  }
  if (open) lines.push_back({current, current.size() > kMaxLogLine});
  for (Line& line : lines)
    if (line.too_long) line.text.clear();
  place_lines(bytes, lines);
  return lines;
}

// With a reader given, that reader goes on from wherever it stood in
// another file, restarted on this one.
std::vector<Line> read_lines(const std::string& bytes, std::size_t read_size, LogReader* reused = nullptr) {
  std::FILE* file = file_with(bytes);
  LogReader fresh(file, read_size);
  LogReader& reader = reused ? *reused : fresh;
  if (reused) reused->restart(file);
  std::vector<Line> lines;
  for (LogText line; reader.next(line);)
    lines.push_back({std::string(line.text), line.too_long, line.offset, line.ended});
  // After the last line the reader stands at the end of the text.
  EXPECT_EQ(reader.position(), std::min(bytes.size(), bytes.find('\x1a')));
  std::fclose(file);
  return lines;
}

std::string random_log(std::mt19937& random) {
  const std::string pieces[] = {"12:00:01 D1 To: A@B From: C Subject: X No Action.",
                                "Checking Rule File = X",
                                "\r\n",
                                "\n",
                                "\r",
                                "\r\r\n",
                                std::string(1, '\0'),
                                "\x1a",
                                "abc",
                                std::string(63, 'z'),  // a line end on either side of a 64-byte word's end
                                std::string(64, 'z'),
                                std::string(4097, '\n'),  // a stretch of line ends alone
                                ""};
  std::string log;
  // Some logs long enough that their lines run across the 4 KiB stretches
  // whose line ends the reader finds at once.
  const int n = static_cast<int>(random() % (random() % 4 ? 60 : 400));
  for (int i = 0; i < n; ++i) {
    switch (random() % 12) {
      case 0:
        log += std::string(kMaxLogLine - 2 + random() % 5, 'x');  // at the longest line kept
        break;
      case 1:
        log += std::string(100000, 'y');  // a line of 100 KB
        break;
      case 2:
        if (random() % 4 == 0) log += "\x1a";
        break;
      default:
        log += pieces[random() % std::size(pieces)];
    }
  }
  return log;
}

TEST(LogReader, AgreesWithTextMode) {
  std::mt19937 random(1225);
  for (int round = 0; round < 300; ++round) {
    const std::string log = random_log(random), before = random_log(random);
    const std::vector<Line> want = reference_lines(log);
    for (const std::size_t read_size : {1, 2, 3, 7, 64, 4095, 4096, 4097, 65536, 1 << 20}) {
      ASSERT_EQ(read_lines(log, read_size), want) << "round " << round << ", read size " << read_size;
      // A reader left part way through another log, a line or buffer open.
      std::FILE* other = file_with(before);
      LogReader reused(other, read_size);
      LogText line;
      for (int n = random() % 4; n > 0 && reused.next(line);) --n;
      ASSERT_EQ(read_lines(log, read_size, &reused), want) << "round " << round << ", restarted, read size " << read_size;
      std::fclose(other);
    }
  }
}

}  // namespace
