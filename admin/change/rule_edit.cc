#include "admin/change/rule_edit.h"

#include <algorithm>
#include <tuple>

#include "common/text.h"

namespace {

// A line as an editor shows it: its text is [start, end), its line end
// [end, next); the last line may have none (end == next).
struct Line {
  std::size_t start, end, next;
};

// The checker reads a rule file up to its first Ctrl-Z.
std::size_t text_end(std::string_view bytes) { return std::min(bytes.find('\x1a'), bytes.size()); }

std::vector<Line> lines_of(std::string_view bytes) {
  const std::size_t end = text_end(bytes);
  std::vector<Line> lines;
  for (std::size_t start = 0; start < end;) {
    const std::size_t feed = bytes.find('\n', start);
    if (feed == std::string_view::npos || feed >= end) {
      lines.push_back({start, end, end});
      break;
    }
    const std::size_t stop = feed > start && bytes[feed - 1] == '\r' ? feed - 1 : feed;
    lines.push_back({start, stop, feed + 1});
    start = feed + 1;
  }
  return lines;
}

std::string_view text_of(std::string_view bytes, const Line& line) {
  return bytes.substr(line.start, line.end - line.start);
}

// The file's own line end: LF alone when most of its lines end so, else CR LF.
std::string line_end_of(const std::vector<Line>& lines) {
  long crlf = 0, lf = 0;
  for (const Line& line : lines)
    if (line.next > line.end) ++(line.next - line.end == 2 ? crlf : lf);
  return lf > crlf ? "\n" : "\r\n";
}

std::string rule_key(std::string_view line) {
  std::string key;
  for (const char c : line) {
    if (static_cast<unsigned char>(c) < 32) break;
    key += upper_case_char(c);
  }
  while (!key.empty() && key.back() == ' ') key.pop_back();
  return key;
}

bool is_rule_text(std::string_view rule) {
  if (rule.find_first_not_of(' ') == std::string_view::npos) return false;
  return std::none_of(rule.begin(), rule.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) == 127; });
}

bool is_comment_or_blank(std::string_view text) {
  return text.empty() || text[0] == '#' || text.find_first_not_of(' ') == std::string_view::npos;
}

// Takes the line out with its line end; a last line without one takes the
// line end before it instead, so the file still ends without one, unless the
// line before is empty: without its line end it would be no line at all.
std::string without_line(std::string_view bytes, const std::vector<Line>& lines, std::size_t i) {
  std::size_t from = lines[i].start, to = lines[i].next;
  if (lines[i].end == lines[i].next && i > 0 && lines[i - 1].end > lines[i - 1].start) from = lines[i - 1].end;
  std::string out(bytes.substr(0, from));
  out.append(bytes.substr(to));
  return out;
}

std::size_t distance(std::string_view a, std::string_view b) {
  a = a.substr(0, 200);
  b = b.substr(0, 200);
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

EditOutcome add(std::string_view bytes, const RuleEdit& edit) {
  const std::vector<Line> lines = lines_of(bytes);
  EditOutcome out;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (same_rule(text_of(bytes, lines[i]), edit.rule)) out.lines.push_back(static_cast<int>(i) + 1);
  if (!out.lines.empty()) {
    out.status = EditStatus::AlreadyThere;
    return out;
  }
  const std::string eol = line_end_of(lines);
  std::size_t at = text_end(bytes);
  std::string inserted = edit.rule + eol;
  out.lines = {static_cast<int>(lines.size()) + 1};
  if (edit.kind == EditKind::AddFirst) {
    const auto first = std::find_if(lines.begin(), lines.end(),
                                    [&](const Line& line) { return !is_comment_or_blank(text_of(bytes, line)); });
    if (first != lines.end()) {
      at = first->start;
      out.lines = {static_cast<int>(first - lines.begin()) + 1};
    }
  }
  // After a last line without a line end: the line end goes before the rule
  // (a CR LF after a CR, which an LF would join into one line end).
  if (at == text_end(bytes) && at > 0 && bytes[at - 1] != '\n')
    inserted = (bytes[at - 1] == '\r' ? "\r\n" : eol) + edit.rule;
  out.bytes = std::string(bytes.substr(0, at)) + inserted + std::string(bytes.substr(at));
  return out;
}

EditOutcome remove(std::string_view bytes, const RuleEdit& edit) {
  const std::vector<Line> lines = lines_of(bytes);
  EditOutcome out;
  for (std::size_t i = 0; i < lines.size(); ++i)
    if (same_rule(text_of(bytes, lines[i]), edit.rule)) out.lines.push_back(static_cast<int>(i) + 1);
  if (out.lines.empty()) {
    out.status = EditStatus::NotThere;
    std::vector<std::tuple<std::size_t, int, std::string>> ranked;
    const std::string wanted = rule_key(edit.rule);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string_view text = text_of(bytes, lines[i]);
      if (!is_comment_or_blank(text))
        ranked.emplace_back(distance(wanted, rule_key(text)), static_cast<int>(i) + 1, std::string(text));
    }
    std::sort(ranked.begin(), ranked.end());
    for (std::size_t i = 0; i < ranked.size() && i < 3; ++i)
      out.closest.emplace_back(std::get<1>(ranked[i]), std::get<2>(ranked[i]));
    return out;
  }
  out.bytes = bytes;
  // From the last one, so that the lines before keep their places.
  for (auto line = out.lines.rbegin(); line != out.lines.rend(); ++line)
    out.bytes = without_line(out.bytes, lines_of(out.bytes), static_cast<std::size_t>(*line - 1));
  return out;
}

EditOutcome move_up(std::string_view bytes, int line) {
  const std::vector<Line> lines = lines_of(bytes);
  EditOutcome out;
  if (line < 2 || line > static_cast<int>(lines.size())) {
    out.status = EditStatus::NoSuchLine;
    return out;
  }
  const Line& upper = lines[static_cast<std::size_t>(line - 2)];
  const Line& lower = lines[static_cast<std::size_t>(line - 1)];
  const std::string_view upper_text = text_of(bytes, upper), lower_text = text_of(bytes, lower);
  const std::string_view upper_end = bytes.substr(upper.end, upper.next - upper.end);
  const bool lower_last = lower.end == lower.next;  // the file ends without a line end
  // Each line keeps its line end; a last line without one swaps places with
  // the line end. Refused where a line would vanish or change: an empty line
  // last without a line end is no line, and a CR before an LF joins them.
  if (lower_last && (upper_text.empty() || (lower_text.ends_with('\r') && upper_end == "\n"))) {
    out.status = EditStatus::NoSuchLine;
    return out;
  }
  out.bytes = std::string(bytes.substr(0, upper.start));
  out.bytes += lower_text;
  out.bytes += lower_last ? upper_end : bytes.substr(lower.end, lower.next - lower.end);
  out.bytes += upper_text;
  if (!lower_last) out.bytes += upper_end;
  out.bytes += bytes.substr(lower.next);
  out.lines = {line};
  return out;
}

}  // namespace

bool same_rule(std::string_view a, std::string_view b) { return rule_key(a) == rule_key(b); }

std::vector<std::string> editor_lines(std::string_view bytes) {
  std::vector<std::string> out;
  for (const Line& line : lines_of(bytes)) out.emplace_back(text_of(bytes, line));
  return out;
}

EditOutcome apply_edit(std::string_view bytes, const RuleEdit& edit) {
  EditOutcome out;
  switch (edit.kind) {
    case EditKind::Add:
    case EditKind::AddFirst:
    case EditKind::Remove:
      if (!is_rule_text(edit.rule)) {
        out.status = EditStatus::NotARuleLine;
        return out;
      }
      return edit.kind == EditKind::Remove ? remove(bytes, edit) : add(bytes, edit);
    case EditKind::RemoveLine: {
      const std::vector<Line> lines = lines_of(bytes);
      if (edit.line < 1 || edit.line > static_cast<int>(lines.size())) {
        out.status = EditStatus::NoSuchLine;
        return out;
      }
      out.bytes = without_line(bytes, lines, static_cast<std::size_t>(edit.line - 1));
      out.lines = {edit.line};
      return out;
    }
    case EditKind::MoveUp:
      return move_up(bytes, edit.line);
    case EditKind::MoveDown:
      return move_up(bytes, edit.line + 1);
  }
  return out;
}
