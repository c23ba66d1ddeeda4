// The checks of one rule file, each an observer of the one reading pass over
// it (lint_file.cc): every piece goes to each check in turn, then the end of
// each physical line, then the end of the file. A check only ever appends
// findings, each whole.
#pragma once

#include <bitset>
#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "admin/lint/lint_file.h"
#include "checker/rule_line.h"
#include "checker/rule_match.h"
#include "checker/rule_reader.h"

// A piece of the file, and what the checker made of it.
struct Piece {
  RuleLine line;
  bool read = false;   // the checker reads it: it comes before the checker stops reading the file
  bool taken = false;  // classified: neither skipped nor a comment
  RuleLineKind kind = RuleLineKind::Invalid;
  bool invalid = false;  // logged as an invalid entry
  InvalidReason why = InvalidReason::None;
};

struct FileEnd {
  // The editor line of a byte 26 that ends the file for the checker while
  // more bytes follow it; 0 when there is none.
  int cut_at = 0;
};

class LintCheck {
 public:
  virtual ~LintCheck() = default;
  virtual void piece(const Piece& piece) = 0;
  // After the last piece of a physical line.
  virtual void line_end() {}
  virtual void file_end(const FileEnd&) {}
};

void add_finding(std::vector<Finding>& findings, const RuleLine& at, Severity severity, const char* check,
                 std::string message);

// Where the first byte below 32 stands in the piece's text, its line end left
// out: the checker ignores the line from there. end is where the text ends.
std::size_t control_cut(const RuleLine& line, std::size_t& end);

// Bytes and encoding: UTF-16, a byte-order mark, zero and control bytes in
// the lines the checker reads, a byte 26 before the end of the file; one
// finding of each, after the last line.
class EncodingCheck : public LintCheck {
 public:
  explicit EncodingCheck(std::vector<Finding>& findings) : findings_(findings) {}
  void piece(const Piece& piece) override;
  void file_end(const FileEnd& end) override;

 private:
  std::vector<Finding>& findings_;
  bool utf16_ = false, bom_ = false;
  int zero_lines_ = 0, last_zero_line_ = 0;
  RuleLine zero_at_;
  int control_lines_ = 0, last_control_line_ = 0;
  RuleLine control_at_;
  unsigned char control_byte_ = 0;
};

// Physical lines: those the checker reads as more than one line, the lines
// it never reads past its line limit, and how many lines the file has.
class LineCheck : public LintCheck {
 public:
  explicit LineCheck(FileLint& result) : result_(result) {}
  void piece(const Piece& piece) override;
  void line_end() override;
  void file_end(const FileEnd& end) override;

 private:
  struct PhysicalLine {
    int line = 0;
    int counter = 0;
    long long characters = 0;
    long long pieces = 0;
    long long read = 0;
    int last_counter = 0;
    std::vector<std::string> rest_taken_as;
  };

  FileLint& result_;
  PhysicalLine physical_;
  RuleLine last_read_;    // the piece after which the checker stops
  int first_unread_ = 0;  // the first line the checker never reads that is no comment
};

// The rules of one field seen so far, to find for a later rule the earliest
// one whose text occurs in its text: that one hits whenever it would.
class RuleIndex {
 public:
  struct Seen {
    int line;
    Verdict list;
    std::string_view text;
  };
  const Seen* shadowing(std::string_view text) const;
  void add(int line, Verdict list, const char* text);

 private:
  static std::size_t bigram(const char* p) {
    return static_cast<unsigned char>(p[0]) << 8 | static_cast<unsigned char>(p[1]);
  }

  std::deque<std::string> texts_;  // never moved, so the views stay valid
  std::unordered_map<std::string_view, Seen> first_;
  std::vector<std::size_t> lengths_, short_lengths_;  // sorted
  std::bitset<65536> starts_;
};

// What the lines the checker reads mean: invalid entries, keywords inside
// rules, conflicting directives, REDIRECTs, rules that never hit or never
// decide, text after a tab; the REDIRECTs and the acting lines for the checks
// across files. The findings of a physical line are appended at its end, so
// that the rest of a long line is one finding, however many pieces it gives.
class MeaningCheck : public LintCheck {
 public:
  MeaningCheck(const std::string& path, const FileLintOptions& options, FileLint& result)
      : path_(path), options_(options), result_(result) {}
  void piece(const Piece& piece) override;
  void line_end() override;
  void file_end(const FileEnd& end) override;

 private:
  void add(const RuleLine& at, Severity severity, const char* check, std::string message) {
    add_finding(line_findings_, at, severity, check, std::move(message));
  }
  void check_tab(const RuleLine& line);
  void check_invalid(const Piece& piece);
  void check_keyword_in_rule(const Piece& piece);
  void check_directive(const Piece& piece);
  void check_redirect(const Piece& piece);
  void check_rule(const Piece& piece);
  void check_lookalike(const RuleLine& line, const RuleTest& test);

  const std::string& path_;
  const FileLintOptions& options_;
  FileLint& result_;
  std::vector<RuleLine> read_;  // the pieces the engine examines, for the REDIRECTs it follows
  std::vector<Finding> line_findings_;  // of the physical line in hand
  // The invalid rest of a long line: where its finding goes among the line's,
  // the first piece of it, and how many more pieces are invalid.
  int rest_at_ = -1;
  Piece rest_;
  int rest_more_ = 0;
  RuleLineKind directive_ = RuleLineKind::Invalid;
  int directive_line_ = 0;
  RuleIndex rules_[2];  // FROM, SUBJECT
};

// Hands the engine the file under lint once, through its reader already open;
// every other path (a REDIRECT's target) is missing, so an evaluation never
// leaves the file.
class OneFileSource : public RuleSource {
 public:
  OneFileSource(const std::string& path, RuleLineReader& reader) : path_(path), reader_(reader) {}
  std::unique_ptr<RuleLineReader> open(const char* path) override;

 private:
  const std::string& path_;
  RuleLineReader& reader_;
  bool lent_ = false;
};
