// Reading a rule file the way the checker reads it: in pieces of at most 99
// characters, each counted as a line, and where each piece stands in the
// file as an editor shows it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string_view>

#include "checker/limits.h"
#include "common/text_file.h"

struct RuleLine {
  int counter = 0;          // the checker's line counter for this piece, from 1
  int editor_line = 0;      // the physical line (counting line ends) where it began, from 1
  bool continued = false;   // it began inside a physical line longer than one piece
  bool skipped = false;     // its first byte is zero: counted, never examined
  std::size_t size = 0;     // characters read, its line end included
  char raw[kTextSize] = ""; // as read (a zero byte ends this text early)
  char text[kTextSize] = "";  // normalised: upper case, cut at the first control character
  std::size_t text_size = 0;  // the characters of text
};

// A piece as the rules read it: its size bytes into raw, ended with a zero
// byte, and its text into text: upper case, ending at the first byte below 32
// (a zero byte or a control character). kTextSize bytes may be loaded from
// piece, which may be raw itself; size is below kTextSize. Gives the text's
// length.
std::size_t take_piece(const char* piece, std::size_t size, char* raw, char* text);

// Rule files are read through a buffer this large: one read takes the 501
// lines the checker reads of an ordinary file (50,100 bytes at most for lines
// of 98 characters with their line ends).
inline constexpr std::size_t kRuleFileBuffer = 64 * 1024;

// The piece after which the checker reads no more of a rule file: the first
// past the line limit that is not skipped.
inline bool ends_reading(const RuleLine& line) { return !line.skipped && line.counter > kRuleLineLimit; }

// The pieces of one open rule file in order.
class RuleLineReader {
 public:
  virtual ~RuleLineReader() = default;
  // False at the end of the file.
  virtual bool next(RuleLine& line) = 0;
};

// Where the rule files come from: the disk for the checker, kept copies for
// tools that evaluate many messages.
class RuleSource {
 public:
  virtual ~RuleSource() = default;
  // The file at a path text, or nullptr when it cannot be opened.
  virtual std::unique_ptr<RuleLineReader> open(const char* path) = 0;
};

// Reads rule files from the disk, each opened when asked for and closed when
// its reader goes.
class DiskRuleSource : public RuleSource {
 public:
  std::unique_ptr<RuleLineReader> open(const char* path) override;
};

// Rule lines from a text reader (a file or bytes in memory).
class TextRuleLineReader : public RuleLineReader {
 public:
  explicit TextRuleLineReader(TextReader& reader) : reader_(reader) {}
  bool next(RuleLine& line) override;

 private:
  TextReader& reader_;
  int counter_ = 0;
  int editor_line_ = 1;
  bool at_line_start_ = true;
};

// Rule lines from bytes in memory, which outlive the reader.
class BytesRuleLineReader : public RuleLineReader {
 public:
  explicit BytesRuleLineReader(std::string_view bytes) : text_(bytes.data(), bytes.size()), lines_(text_) {}
  bool next(RuleLine& line) override { return lines_.next(line); }

 private:
  TextReader text_;
  TextRuleLineReader lines_;
};
