// Where the analyser's console text goes. The program writes it to standard
// output; tests and fuzz targets collect it in a string.
#pragma once

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

// Standard output with CR LF line ends.
class StdoutConsole : public Console {
 public:
  void print(std::string_view text) override;
  void flush() override;
};
