#include "admin/serve/log_index.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>

#include "admin/activity_log/log_reader.h"
#include "checker/activity_log.h"
#include "common/file.h"
#include "common/text.h"

namespace {

LocalTime days_before(const LocalTime& date, int n) {
  using namespace std::chrono;
  const sys_days then = sys_days(year(date.year) / month(static_cast<unsigned>(date.month)) /
                                 day(static_cast<unsigned>(date.day))) -
                        days(n);
  const year_month_day ymd(then);
  return LocalTime{static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
                   static_cast<int>(static_cast<unsigned>(ymd.day())), 0, 0, 0};
}

std::string_view domain_part(std::string_view address) {
  const std::size_t at = address.rfind('@');
  return at == std::string_view::npos ? std::string_view() : address.substr(at + 1);
}

// Which kinds a filter shows, one bit each.
unsigned kind_bits(const std::vector<ResultKind>& kinds) {
  if (kinds.empty()) return ~0u;
  unsigned bits = 0;
  for (const ResultKind kind : kinds) bits |= 1u << static_cast<int>(kind);
  return bits;
}

}  // namespace

LogIndex::LogIndex(std::string program_directory, int days, std::uint64_t seed)
    : directory_(std::move(program_directory)), days_(days), names_(seed), domains_(seed ^ 0x5bd1e995) {}

void LogIndex::refresh(const LocalTime& today) {
  std::vector<std::string> paths;
  for (int i = 0; i < days_; ++i) paths.push_back(make_log_path(directory_.c_str(), days_before(today, i)));
  // A new day: the index starts afresh, so that it keeps no address of the
  // day it drops.
  if (logs_.empty() || logs_.front().path != paths.front()) {
    logs_.clear();
    names_ = NameTable(names_.seed());
    domains_ = NameTable(domains_.seed());
    domain_of_.clear();
    messages_ = 0;
    full_ = false;
    for (int i = 0; i < days_; ++i) {
      Day day;
      day.path = paths[static_cast<std::size_t>(i)];
      day.log.name = day.path.substr(directory_.size());
      day.log.date = days_before(today, i);
      logs_.push_back(std::move(day));
    }
  }
  std::vector<DirectoryEntry> entries;
  host_list_directory(directory_.empty() ? "." : directory_.c_str(), entries);
  std::set<std::string> present;
  for (const DirectoryEntry& entry : entries) present.insert(upper_case(entry.name));
  for (Day& day : logs_) read_new_lines(day, present.count(upper_case(day.log.name)) > 0);
}

void LogIndex::forget(Day& day) {
  messages_ -= day.entries.size();
  day.entries.clear();
  day.log.messages = 0;
  day.read_to = 0;
  day.checks = RecentChecks();
}

void LogIndex::read_new_lines(Day& day, bool present) {
  const FileHandle file = present ? FileHandle::open_read(day.path.c_str()) : FileHandle();
  day.log.present = present;
  day.log.unreadable = present && !file;
  if (!file) {
    if (!present) forget(day);
    return;
  }
  std::uint64_t size = 0;
  if (!host_file_size(file.get(), size) || size < day.read_to) forget(day);  // cut short or replaced: read it again
  if (size > day.read_to && !full_ && host_seek(file.get(), day.read_to)) {
    LogWalk walk(file.get(), day.read_to, day.checks);
    for (LogWalk::Item item; (item = walk.next()) != LogWalk::Item::End;) {
      // A line without its line end is still being written: read next time.
      if (!walk.line_ended()) break;
      if (item == LogWalk::Item::Result) add(day, walk.result(), walk.line_offset());
      if (bytes() > kMaxBytes) {
        full_ = true;
        break;
      }
    }
    day.read_to = full_ ? day.read_to : walk.closed_to();
    day.checks = walk.checks();
  }
}

std::uint32_t LogIndex::address(std::string_view text) {
  const std::size_t known = names_.size();
  const std::uint32_t id = names_.add(text);
  if (names_.size() > known) domain_of_.push_back(domains_.add(domain_part(text)));
  return id;
}

void LogIndex::add(Day& day, const ResultLine& line, std::uint64_t offset) {
  Entry entry{offset << 8 | static_cast<std::uint64_t>(line.kind), NameTable::kNone, NameTable::kNone};
  if (result_has_message(line.kind)) {
    entry.recipient = address(line.recipient);
    entry.sender = address(line.sender);
  }
  day.entries.push_back(entry);
  ++day.log.messages;
  ++messages_;
}

std::size_t LogIndex::bytes() const {
  return messages_ * sizeof(Entry) + names_.bytes() + domains_.bytes() + domain_of_.capacity() * sizeof(std::uint32_t);
}

std::vector<IndexedLog> LogIndex::logs() const {
  std::vector<IndexedLog> logs;
  for (const Day& day : logs_) logs.push_back(day.log);
  return logs;
}

std::optional<std::vector<char>> LogIndex::passing(const std::string& text, const std::string& domain) const {
  if (text.empty() && domain.empty()) return std::nullopt;
  const std::string part = upper_case(text);
  std::string wanted = upper_case(domain);
  if (!wanted.empty() && wanted[0] == '@') wanted.erase(0, 1);
  const std::uint32_t domain_id = domain.empty() ? NameTable::kNone : domains_.find(wanted);
  std::vector<char> pass(names_.size());
  for (std::uint32_t id = 0; id < names_.size(); ++id)
    pass[id] = (part.empty() || names_.name(id).find(part) != std::string_view::npos) &&
               (domain.empty() || (domain_id != NameTable::kNone && domain_of_[id] == domain_id));
  return pass;
}

std::optional<LoggedLine> LogIndex::read_line(const Day& day, std::uint64_t offset, FileHandle& file) const {
  if (!file) file = FileHandle::open_read(day.path.c_str());
  char buf[kMaxLogLine + 2];
  if (!file || !host_seek(file.get(), offset)) return std::nullopt;
  const std::size_t got = std::fread(buf, 1, sizeof buf, file.get());
  std::string_view text(buf, got);
  const std::size_t end = text.find('\n');
  if (end == std::string_view::npos) return std::nullopt;
  text = text.substr(0, end);
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  ResultLine r;
  if (!parse_result_line(text, r)) return std::nullopt;
  LoggedLine line;
  line.log = day.log.name;
  line.offset = offset;
  line.kind = r.kind;
  line.time = r.time;
  line.identifier = r.identifier;
  line.recipient = r.recipient;
  line.sender = r.sender;
  line.subject = r.subject;
  line.sender_cut = r.sender_cut;
  line.subject_cut = r.subject_cut;
  return line;
}

// The entries of one day that pass the address filters and the Subject, in
// the order of the log.
std::vector<std::uint32_t> LogIndex::day_matches(const Day& day, const Filters& f) const {
  std::vector<std::uint32_t> found;
  for (std::uint32_t i = 0; i < day.entries.size(); ++i) {
    const Entry& e = day.entries[i];
    if (f.messages_only && e.recipient == NameTable::kNone) continue;
    if (f.recipient && !(*f.recipient)[e.recipient]) continue;
    if (f.sender && !(*f.sender)[e.sender]) continue;
    if (f.seen && !(*f.seen)[e.recipient]) continue;
    found.push_back(i);
  }
  if (f.subject.empty() || found.empty()) return found;
  // The Subject is read from the log, in one pass from the first candidate.
  std::vector<std::uint32_t> kept;
  const FileHandle file = FileHandle::open_read(day.path.c_str());
  const std::uint64_t start = day.entries[found.front()].at >> 8;
  if (file && host_seek(file.get(), start)) {
    LogReader reader(file.get(), kLogReadSize, start);
    std::size_t next = 0;
    LogText text;
    while (next < found.size() && reader.next(text)) {
      const std::uint64_t wanted = day.entries[found[next]].at >> 8;
      if (text.offset < wanted) continue;
      ResultLine r;
      if (text.offset == wanted && !text.too_long && parse_result_line(text.text, r) &&
          r.subject.find(f.subject) != std::string_view::npos)
        kept.push_back(found[next]);
      // A line that is no longer where the index has it is not shown.
      while (next < found.size() && (day.entries[found[next]].at >> 8) <= text.offset) ++next;
    }
  }
  return kept;
}

ActivityAnswer LogIndex::query(const ActivityFilter& filter, const Scope& scope, std::size_t first,
                               std::size_t count) const {
  Filters f;
  f.recipient = passing(filter.recipient, filter.recipient_domain);
  f.sender = passing(filter.sender, filter.sender_domain);
  f.subject = upper_case(filter.subject);
  if (!scope.sees_everything()) {
    f.seen.emplace(names_.size());
    for (std::uint32_t id = 0; id < names_.size(); ++id) (*f.seen)[id] = scope.sees_recipient(names_.name(id));
  }
  f.messages_only = f.recipient || f.sender || f.seen || !f.subject.empty();
  const unsigned shown = kind_bits(filter.kinds);

  ActivityAnswer answer;
  std::vector<std::pair<const Day*, std::uint64_t>> wanted;
  for (const Day& day : logs_) {
    if (!filter.log.empty() && !same_ignoring_case(filter.log, day.log.name)) continue;
    const std::vector<std::uint32_t> matches = day_matches(day, f);
    for (auto it = matches.rbegin(); it != matches.rend(); ++it) {
      const std::uint64_t at = day.entries[*it].at;
      const int kind = static_cast<int>(at & 0xff);
      ++answer.kinds[static_cast<std::size_t>(kind)];
      if (!(shown & (1u << kind))) continue;
      if (static_cast<std::size_t>(answer.matched) >= first && wanted.size() < count) wanted.emplace_back(&day, at >> 8);
      ++answer.matched;
    }
  }
  const Day* open_day = nullptr;
  FileHandle file;
  for (const auto& [day, offset] : wanted) {
    if (day != open_day) file = FileHandle();
    open_day = day;
    std::optional<LoggedLine> line = read_line(*day, offset, file);
    if (!line) {
      // Gone from the log since it was indexed (the file was replaced).
      line.emplace();
      line->log = day->log.name;
      line->offset = offset;
      line->gone = true;
    }
    answer.lines.push_back(std::move(*line));
  }
  return answer;
}

std::optional<LoggedLine> LogIndex::message(const std::string& log, std::uint64_t offset) const {
  for (const Day& day : logs_) {
    if (!same_ignoring_case(log, day.log.name)) continue;
    const auto it = std::lower_bound(day.entries.begin(), day.entries.end(), offset,
                                     [](const Entry& e, std::uint64_t o) { return (e.at >> 8) < o; });
    if (it == day.entries.end() || (it->at >> 8) != offset) return std::nullopt;
    FileHandle file;
    std::optional<LoggedLine> line = read_line(day, offset, file);
    if (line) line->kind = static_cast<ResultKind>(it->at & 0xff);
    return line;
  }
  return std::nullopt;
}
