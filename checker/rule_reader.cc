#include "checker/rule_reader.h"

#include <cstring>

#include "common/file.h"
#include "common/host.h"
#include "common/text.h"

namespace {

class DiskRuleLineReader : public RuleLineReader {
 public:
  explicit DiskRuleLineReader(FileHandle file) : file_(std::move(file)), text_(file_.get()), lines_(text_) {}
  bool next(RuleLine& line) override { return lines_.next(line); }

 private:
  FileHandle file_;
  TextReader text_;
  TextRuleLineReader lines_;
};

}  // namespace

std::unique_ptr<RuleLineReader> DiskRuleSource::open(const char* path) {
  FileHandle file = FileHandle::open_read(path);
  if (!file) return nullptr;
  return std::make_unique<DiskRuleLineReader>(std::move(file));
}

bool TextRuleLineReader::next(RuleLine& line) {
  const std::size_t size = reader_.read_piece(line.raw, sizeof line.raw);
  if (size == 0) return false;
  line.counter = ++counter_;
  line.editor_line = editor_line_;
  line.continued = !at_line_start_;
  line.size = size;
  line.skipped = line.raw[0] == '\0';
  // A zero byte ends the text but not the piece: the piece's own last
  // character tells whether a line ended.
  at_line_start_ = line.raw[size - 1] == '\n';
  if (at_line_start_) ++editor_line_;
  std::memcpy(line.text, line.raw, kTextSize);
  normalise_line(line.text);
  return true;
}
