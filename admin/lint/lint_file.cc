#include "admin/lint/lint_file.h"

#include <initializer_list>

#include "admin/lint/lint_checks.h"
#include "checker/rule_reader.h"
#include "checker/check_observer.h"
#include "checker/rule_file.h"
#include "common/file.h"
#include "common/text_file.h"

namespace {

class LentReader : public RuleLineReader {
 public:
  explicit LentReader(RuleLineReader& reader) : reader_(reader) {}
  bool next(RuleLine& line) override { return reader_.next(line); }

 private:
  RuleLineReader& reader_;
};

// The one reading pass: the pieces the engine reads, as it classifies them,
// then the rest of the file; each goes to the checks when it is complete,
// with the end of each physical line and of the file.
class ReadingPass : public CheckObserver {
 public:
  explicit ReadingPass(std::initializer_list<LintCheck*> checks) : checks_(checks) {}

  void rule_line_read(const char*, const RuleLine& line) override { take(line, true); }
  void rule_line_taken(const char*, const RuleLine&, RuleLineKind kind) override {
    piece_.taken = true;
    piece_.kind = kind;
  }
  void invalid_entry(const char*, const RuleLine&, InvalidReason why) override {
    piece_.invalid = true;
    piece_.why = why;
  }

  // A piece past the one after which the checker stops reading.
  void unread(const RuleLine& line) { take(line, false); }

  // cut: the text ended at a byte 26 that more bytes follow.
  void finish(bool cut) {
    send();
    if (next_line_ > 0)
      for (LintCheck* check : checks_) check->line_end();
    const FileEnd end{cut ? (next_line_ > 0 ? next_line_ : 1) : 0};
    for (LintCheck* check : checks_) check->file_end(end);
  }

 private:
  void take(const RuleLine& line, bool read) {
    send();
    piece_ = Piece{line, read};
    held_ = true;
  }

  void send() {
    if (!held_) return;
    held_ = false;
    const RuleLine& line = piece_.line;
    if (!line.continued && next_line_ > 0)
      for (LintCheck* check : checks_) check->line_end();
    for (LintCheck* check : checks_) check->piece(piece_);
    next_line_ = line.editor_line + (line.raw[line.size - 1] == '\n');
  }

  std::vector<LintCheck*> checks_;
  Piece piece_;
  bool held_ = false;
  int next_line_ = 0;  // where the next piece begins; 0 before the first
};

}  // namespace

void add_finding(std::vector<Finding>& findings, const RuleLine& at, Severity severity, const char* check,
                 std::string message) {
  findings.push_back(Finding{at.editor_line, at.counter, severity, check, std::move(message)});
}

std::size_t control_cut(const RuleLine& line, std::size_t& end) {
  const auto* raw = reinterpret_cast<const unsigned char*>(line.raw);
  end = line.size - (raw[line.size - 1] == '\n');
  std::size_t cut = 0;
  while (cut < end && raw[cut] > 31) ++cut;
  return cut;
}

std::unique_ptr<RuleLineReader> OneFileSource::open(const char* path) {
  if (lent_ || path_ != path) return nullptr;
  lent_ = true;
  return std::make_unique<LentReader>(reader_);
}

namespace {

void lint_text(const std::string& path, TextReader& text, const FileLintOptions& options, FileLint& result) {
  result = FileLint{};
  TextRuleLineReader reader(text);
  // The order of the checks is the order of their findings within a line.
  MeaningCheck meaning(path, options, result);
  LineCheck lines(result);
  EncodingCheck encoding(result.findings);
  ReadingPass pass({&meaning, &lines, &encoding});
  {
    OneFileSource source(path, reader);
    evaluate_rule_file(path.c_str(), RuleInputs{"", "", ""}, source, pass);
  }
  RuleLine line;
  while (reader.next(line)) pass.unread(line);
  pass.finish(text.cut_at_end_mark());
}

}  // namespace

bool lint_rule_file(const std::string& path, const FileLintOptions& options, FileLint& result) {
  const FileHandle file = FileHandle::open_read(path.c_str());
  if (!file) return false;
  TextReader text(file.get(), kRuleFileBuffer);
  lint_text(path, text, options, result);
  return true;
}

void lint_rule_bytes(const std::string& path, std::string_view bytes, const FileLintOptions& options,
                     FileLint& result) {
  TextReader text(bytes.data(), bytes.size());
  lint_text(path, text, options, result);
}
