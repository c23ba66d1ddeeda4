// Where a program's console text goes. The programs write it to standard
// output with CR LF line ends; tests and fuzz targets collect it in a string.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

class Console {
 public:
  virtual ~Console() = default;
  // Text with "\n" line ends; the program turns each into CR LF.
  virtual void print(std::string_view text) = 0;
  // Makes everything printed so far visible.
  virtual void flush() {}
};

class CapturedConsole : public Console {
 public:
  void print(std::string_view text) override { text_.append(text); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

// A standard stream (stdout, stderr) with CR LF line ends.
class StreamConsole : public Console {
 public:
  explicit StreamConsole(std::FILE* stream) : stream_(stream) {}
  void print(std::string_view text) override;
  void flush() override;

 private:
  std::FILE* stream_;
};
