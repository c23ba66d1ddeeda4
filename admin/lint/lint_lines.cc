#include <algorithm>
#include <cstring>

#include "admin/lint/lint_checks.h"
#include "admin/rule_text/rule_text.h"

using namespace lint_check;

namespace {

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

}  // namespace

void LineCheck::piece(const Piece& piece) {
  const RuleLine& line = piece.line;
  if (!line.continued) {
    physical_ = PhysicalLine{};
    physical_.line = line.editor_line;
    physical_.counter = line.counter;
  }
  physical_.characters += static_cast<long long>(line.size) - (line.raw[line.size - 1] == '\n');
  ++physical_.pieces;
  if (piece.read) {
    ++physical_.read;
    physical_.last_counter = line.counter;
    last_read_ = line;
    if (line.continued) {
      std::string as = taken_as(line, piece.taken, piece.kind, piece.invalid);
      std::vector<std::string>& rest = physical_.rest_taken_as;
      if (std::find(rest.begin(), rest.end(), as) == rest.end()) rest.push_back(std::move(as));
    }
  } else {
    const char* text = line.text + std::strspn(line.text, " ");
    if (!first_unread_ && !line.continued && !line.skipped && *text && !is_comment(text))
      first_unread_ = line.editor_line;
  }
  result_.lines = line.editor_line;
}

void LineCheck::line_end() {
  const PhysicalLine& l = physical_;
  if (l.pieces < 2 || l.read == 0) return;
  std::string message = "line of " + counted(l.characters, "character") + ", over the " +
                        std::to_string(kLongestWholeLine) + " the checker reads at once: it reads this line as " +
                        std::to_string(l.pieces) + " lines";
  if (l.read < l.pieces) message += " (only the first " + std::to_string(l.read) + " before its line limit)";
  if (!l.rest_taken_as.empty()) message += ", taking the rest as " + joined(l.rest_taken_as);
  const int ahead = l.last_counter - l.line;
  if (l.read == l.pieces && ahead > 0)
    message += "; after it the checker's line numbers run " + std::to_string(ahead) + " ahead of the editor's";
  result_.findings.push_back(Finding{l.line, l.counter, Severity::Warning, kLongLine, message});
}

void LineCheck::file_end(const FileEnd&) {
  if (!first_unread_) return;
  std::string message = "never read: the checker stops reading this file after line " +
                        std::to_string(last_read_.editor_line);
  if (last_read_.counter != last_read_.editor_line) message += " (its line " + std::to_string(last_read_.counter) + ")";
  const int after = result_.lines - first_unread_;
  message += after > 0 ? "; this line and the " + counted(after, "line") + " after it are ignored"
                       : "; this line is ignored";
  result_.findings.push_back(Finding{first_unread_, 0, Severity::Error, kBeyondLimit, message});
}
