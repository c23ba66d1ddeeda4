// Edits of a rule file's bytes (admin/change/rule_edit.h) on arbitrary
// files and rules. Oracles: an added rule is an editor line of the new file,
// and taking it out (by its words and by its line) gives the file's bytes
// back; a line moved down and up again gives them back; a removed line
// takes bytes away and no more than its own line and a line end; a refusal
// says why truly (the rule is a line already, holds a control byte, ...).
// Input: a flags byte (the edit's kind, the line), the rule up to 0xFF, then
// the file's bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "admin/change/rule_edit.h"
#include "fuzz/fuzz_check.h"

namespace {

bool holds_control(const std::string& rule) {
  for (const char c : rule)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) == 127) return true;
  return rule.find_first_not_of(' ') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const unsigned flags = data[0];
  ++data;
  --size;
  const std::string rule = next_part(data, size, 0xFF);
  const std::string file(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = editor_lines(file);
  const int line = 1 + static_cast<int>(flags >> 2) % (static_cast<int>(lines.size()) + 1);

  const EditOutcome added = apply_edit(file, RuleEdit{flags & 1 ? EditKind::AddFirst : EditKind::Add, rule, 0});
  switch (added.status) {
    case EditStatus::Done: {
      FUZZ_CHECK(!holds_control(rule));
      const std::vector<std::string> now = editor_lines(added.bytes);
      FUZZ_CHECK(added.lines.size() == 1 && now.size() == lines.size() + 1);
      FUZZ_CHECK(now[static_cast<std::size_t>(added.lines[0] - 1)] == rule);
      FUZZ_CHECK(apply_edit(added.bytes, RuleEdit{EditKind::Remove, rule, 0}).bytes == file);
      FUZZ_CHECK(apply_edit(added.bytes, RuleEdit{EditKind::RemoveLine, "", added.lines[0]}).bytes == file);
      break;
    }
    case EditStatus::AlreadyThere:
      for (const int at : added.lines) FUZZ_CHECK(same_rule(lines.at(static_cast<std::size_t>(at - 1)), rule));
      break;
    case EditStatus::NotARuleLine:
      FUZZ_CHECK(holds_control(rule));
      break;
    default:
      FUZZ_CHECK(false);
  }

  const EditOutcome down = apply_edit(file, RuleEdit{EditKind::MoveDown, "", line});
  if (down.status == EditStatus::Done)
    FUZZ_CHECK(apply_edit(down.bytes, RuleEdit{EditKind::MoveUp, "", line + 1}).bytes == file);
  const EditOutcome removed = apply_edit(file, RuleEdit{EditKind::RemoveLine, "", line});
  if (removed.status == EditStatus::Done) {
    const std::size_t own = lines.at(static_cast<std::size_t>(line - 1)).size();
    FUZZ_CHECK(removed.bytes.size() < file.size() || own == 0);
    FUZZ_CHECK(file.size() - removed.bytes.size() <= own + 2);
    FUZZ_CHECK(editor_lines(removed.bytes).size() + 1 >= lines.size());
  } else {
    FUZZ_CHECK(line > static_cast<int>(lines.size()));
  }
  return 0;
}
