#include <cstring>

#include "admin/lint/lint_checks.h"
#include "admin/rule_text/rule_text.h"

using namespace lint_check;

void EncodingCheck::piece(const Piece& piece) {
  if (!piece.read) return;
  const RuleLine& line = piece.line;
  const auto* raw = reinterpret_cast<const unsigned char*>(line.raw);
  if (line.counter == 1) {
    utf16_ = line.size >= 2 && ((raw[0] == 0xFF && raw[1] == 0xFE) || (raw[0] == 0xFE && raw[1] == 0xFF));
    bom_ = line.size >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF;
  }
  if (std::memchr(raw, 0, line.size) && line.editor_line != last_zero_line_) {
    if (!zero_lines_) zero_at_ = line;
    ++zero_lines_;
    last_zero_line_ = line.editor_line;
  }
  if (line.skipped || is_comment(line.text)) return;
  std::size_t end;
  const std::size_t cut = control_cut(line, end);
  if (cut == end || raw[cut] == 0 || raw[cut] == '\t' || line.editor_line == last_control_line_) return;
  if (!control_lines_) {
    control_at_ = line;
    control_byte_ = raw[cut];
  }
  ++control_lines_;
  last_control_line_ = line.editor_line;
}

void EncodingCheck::file_end(const FileEnd& end) {
  if (end.cut_at)
    findings_.push_back(Finding{end.cut_at, 0, Severity::Warning, kEncoding,
                                "Ctrl-Z (byte 26) ends the file for the checker: nothing after it is read"});
  if (utf16_)
    findings_.push_back(Finding{1, 1, Severity::Error, kEncoding,
                                "the file is saved as UTF-16: every other byte is zero and the checker reads no "
                                "valid line; save it as ANSI or ASCII text"});
  if (bom_)
    findings_.push_back(Finding{1, 1, Severity::Error, kEncoding,
                                "the file begins with a UTF-8 byte-order mark, which the checker reads as part of the "
                                "first line; save it without one (as ANSI or ASCII text)"});
  if (zero_lines_ && !utf16_)
    add_finding(findings_, zero_at_, Severity::Error, kEncoding,
                "zero byte: the checker ends a line at a zero byte and skips a line that begins with one" +
                    std::string(zero_lines_ > 1 ? " (" + counted(zero_lines_, "line") + " hold zero bytes)" : ""));
  if (control_lines_)
    add_finding(findings_, control_at_, Severity::Warning, kEncoding,
                "control byte 0x" + hex_digits(control_byte_) + ": the checker ignores the rest of the line from it" +
                    std::string(control_lines_ > 1 ? " (" + counted(control_lines_, "line") + " hold control bytes)"
                                                   : ""));
}
