#include "admin/replay/kept_rules.h"

#include <cstring>

#include "common/text.h"

namespace {

class KeptLineReader : public RuleLineReader {
 public:
  explicit KeptLineReader(const KeptFile& file) : file_(file) {}
  bool next(RuleLine& line) override {
    if (next_ == file_.lines.size()) return false;
    restore_rule_line(file_.lines[next_++], line);
    return true;
  }

 private:
  const KeptFile& file_;
  std::size_t next_ = 0;
};

}  // namespace

void restore_rule_line(const KeptLine& kept, RuleLine& line) {
  line.counter = kept.counter;
  line.editor_line = kept.editor_line;
  line.continued = kept.continued;
  line.skipped = kept.skipped;
  line.size = kept.raw.size();
  std::memcpy(line.raw, kept.raw.data(), kept.raw.size());
  line.text_size = take_piece(line.raw, line.size, line.raw, line.text);
}

const KeptFile* KeptRuleSource::file(const char* path) {
  const std::string mapped = map_(path);
  const auto found = files_.find(mapped);
  if (found != files_.end()) return found->second.get();

  std::unique_ptr<KeptFile> kept;
  if (std::unique_ptr<RuleLineReader> reader = base_.open(mapped.c_str())) {
    kept = std::make_unique<KeptFile>();
    RuleLine line;
    // Up to where the checker stops: the first piece past the line limit
    // that is not skipped, or the end of the file. A skipped piece (one that
    // begins with a zero byte) is counted and never examined, so the
    // checker's evaluation is the same without it, and a file of zero bytes
    // keeps nothing.
    while (reader->next(line)) {
      if (line.skipped) continue;
      kept->lines.push_back(
          {line.counter, line.editor_line, line.continued, line.skipped, std::string(line.raw, line.size)});
      kept->bytes += sizeof(KeptLine) + (line.size > 15 ? line.size + 1 : 0);
      if (ends_reading(line)) break;
    }
    kept->bytes += sizeof(KeptFile);
  }
  bytes_ += mapped.size() + 160 + (kept ? kept->bytes : 0);  // with its entry in the table
  return files_.emplace(mapped, std::move(kept)).first->second.get();
}

std::unique_ptr<RuleLineReader> KeptRuleSource::open(const char* path) {
  const KeptFile* kept = file(path);
  if (!kept) return nullptr;
  return std::make_unique<KeptLineReader>(*kept);
}

void KeptRuleSource::clear() {
  files_.clear();
  bytes_ = 0;
}
