#include "admin/activity_log/log_walk.h"

#include <string_view>

#include "checker/log_words.h"
#include "checker/message_check.h"

namespace {

bool is_trace(std::string_view line) {
  if (line.empty()) return true;  // DEBUG writes the envelope lines with their line ends
  for (const std::string_view prefix : kTraceBeginnings)
    if (line.starts_with(prefix)) return true;
  return false;
}

}  // namespace

void RecentChecks::remember(std::string_view path) {
  // ...\DOMAIN\$default$.QUORVANT (or DOMAIN\$default$.QUORVANT): the domain
  // file. A recipient with an empty domain (joe@[127.0.0.1]) has the program
  // file for its domain file, ...\\$default$.QUORVANT with the backslash
  // doubled: that is remembered as the empty domain.
  constexpr std::string_view kFile = kDefaultRuleFile;
  if (!path.ends_with(kFile) || path.size() == kFile.size() || path[path.size() - kFile.size() - 1] != '\\') return;
  path.remove_suffix(kFile.size() + 1);
  const std::size_t slash = path.rfind('\\');
  const std::string_view domain = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (domain.empty() && slash == std::string_view::npos) return;
  std::string& recent = domains_[next_];
  recent.assign(1, '@');  // before the domain, so that an empty one is told from no entry
  recent.append(domain);
  next_ = (next_ + 1) % kSize;
}

bool RecentChecks::has(std::string_view domain) const {
  for (const std::string& recent : domains_)
    if (!recent.empty() && std::string_view(recent).substr(1) == domain) return true;
  return false;
}

void LogWalk::restart(std::FILE* file) {
  reader_.restart(file);
  counts_ = {};
  checks_ = {};
  line_offset_ = closed_to_ = 0;
  line_ended_ = true;
}

LogWalk::Item LogWalk::next() {
  LogText line;
  while (reader_.next(line)) {
    ++counts_.lines;
    line_offset_ = line.offset;
    line_ended_ = line.ended;
    if (line.ended) closed_to_ = reader_.position();
    if (line.too_long) {
      ++counts_.too_long;
      continue;
    }
    if (parse_result_line(line.text, result_)) {
      if (result_.kind != ResultKind::Stopped || checks_.has(result_.domain)) {
        ++counts_.results;
        if (result_.kind == ResultKind::NoAction) ++counts_.no_action;
        return Item::Result;
      }
      ++counts_.other;
      continue;
    }
    if (parse_invalid_entry(line.text, invalid_)) {
      ++counts_.invalid_entries;
      return Item::InvalidEntry;
    }
    if (std::string_view path; parse_rule_file_check(line.text, path)) checks_.remember(path);
    if (is_trace(line.text))
      ++counts_.trace;
    else
      ++counts_.other;
  }
  return Item::End;
}
