#include "admin/report/report_data.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <tuple>

#include "admin/columns.h"
#include "common/text.h"

namespace {

// The invalid entries kept for their table: at most this many rows and
// bytes, each text cut to a length the checker's own lines never reach (the
// page, which escapes them, stays a few times this size).
constexpr std::size_t kMaxInvalidRows = 20000;
constexpr std::size_t kMaxInvalidBytes = 2u << 20;
constexpr std::size_t kInvalidRowBytes = 160;  // a row's own and its map entry's, roughly
constexpr std::size_t kMaxInvalidText = 300;
constexpr std::size_t kTop = 10;

constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

Ranking ranking(TopCounter& counter) { return {counter.top(kTop), counter.short_by()}; }

std::tuple<int, int, int> date_of(const DayRow& row) { return {row.year, row.month, row.day}; }

std::string dated_label(const DayRow& row) {
  return join({kMonths[row.month - 1], " ", std::to_string(row.day), " ", std::to_string(row.year)});
}

// A text from the log, cut (with "...") where it is longer than any the
// checker writes there.
std::string cut(std::string_view text) {
  if (text.size() <= kMaxInvalidText) return std::string(text);
  std::string kept(text.substr(0, kMaxInvalidText));
  kept += "...";
  return kept;
}

}  // namespace

long DayRow::total() const { return std::accumulate(kinds.begin(), kinds.end(), 0L); }

DayRow log_day(const std::string& log_path) {
  const std::size_t slash = log_path.find_last_of("\\/");
  const std::string name = slash == std::string::npos ? log_path : log_path.substr(slash + 1);
  const std::string folded = upper_case(name);
  auto digit = [&](std::size_t i) { return folded[i] >= '0' && folded[i] <= '9' ? folded[i] - '0' : -100; };
  DayRow row;
  row.label = name;
  if (folded.size() == 11 && folded.starts_with("QEL") && folded.ends_with(".LOG")) {
    const int month = digit(3) * 10 + digit(4), day = digit(5) * 10 + digit(6);
    if (month >= 1 && month <= 12 && day >= 1 && day <= 31) {
      row.label = join({kMonths[month - 1], " ", std::to_string(day)});
      row.month = month;
      row.day = day;
    }
  }
  return row;
}

std::string day_label(const std::string& log_path) { return log_day(log_path).label; }

void date_days(std::vector<DayRow>& days, const LocalTime& newest) {
  for (DayRow& row : days)
    if (row.month) row.year = std::pair(row.month, row.day) <= std::pair(newest.month, newest.day) ? newest.year
                                                                                                   : newest.year - 1;
  // Dated days first, in calendar order; the others keep the order given.
  std::stable_sort(days.begin(), days.end(), [](const DayRow& a, const DayRow& b) {
    if (!a.month || !b.month) return a.month && !b.month;
    return date_of(a) < date_of(b);
  });
}

ReportBuilder::ReportBuilder(const LocalTime& made, const ReportReading& reading) : reading_(reading) {
  data_.made = made;
  newest_ = {0, 0, 0, 0, 0, 0};
  for (int h = 0; h < kHours; ++h) data_.hours.push_back({join({h < 10 ? "0" : "", std::to_string(h), ":00"}), {}});
  data_.hours.push_back({"(no time)", {}});
}

std::size_t ReportBuilder::start_log(const std::string& path, std::FILE* file) {
  data_.logs.push_back(host_native_path(path.c_str()));
  // A log from a pipe was written now.
  LocalTime written = data_.made;
  host_modified_time(file, written);
  const auto key = [](const LocalTime& t) { return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second); };
  if (key(written) > key(newest_)) newest_ = written;
  const DayRow of_log = log_day(path);
  for (std::size_t i = 0; i < data_.days.size(); ++i)
    if (data_.days[i].label == of_log.label) return i;
  data_.days.push_back(of_log);
  return data_.days.size() - 1;
}

void ReportBuilder::count(LogTally& tally, std::size_t day) {
  for (int hour = 0; hour <= kHours; ++hour)
    for (int kind = 0; kind < kResultKinds; ++kind) {
      data_.days[day].kinds[kind] += tally.kinds[hour][kind];
      data_.hours[hour].kinds[kind] += tally.kinds[hour][kind];
    }
  // The names stay in the tally until it is cleared; each ranking takes
  // them in batches.
  constexpr std::size_t kBatch = 64;
  std::string_view users[kBatch], sender_domains[kBatch];
  std::size_t batch = 0;
  const auto add_batch = [&] {
    recipients_.add({users, batch});
    sender_domains_.add({sender_domains, batch});
    batch = 0;
  };
  for (LogTally::Blacklisted line; tally.next(line);) {
    ++data_.blacklisted;
    users[batch] = line.recipient;
    sender_domains[batch] = line.sender_domain;
    if (++batch == kBatch) add_batch();
  }
  add_batch();
  for (InvalidEntryLine entry; tally.next(entry);) {
    const auto key = std::make_pair(cut(entry.file), entry.line_number);
    auto found = invalid_.find(key);
    if (found == invalid_.end()) {
      const std::string data = cut(entry.data);
      const std::size_t bytes = 2 * key.first.size() + data.size() + kInvalidRowBytes;
      if (invalid_.size() == kMaxInvalidRows || invalid_bytes_ + bytes > kMaxInvalidBytes) {
        ++data_.invalid_entries_not_listed;
        continue;
      }
      invalid_bytes_ += bytes;
      found = invalid_.emplace(key, InvalidEntryRow{key.first, key.second, data, 0}).first;
    }
    ++found->second.count;
  }
  tally.clear();
  if (tally.ended()) data_.lines += tally.counts();
}

void ReportBuilder::read(LogTally& tally, std::size_t day) {
  while (!tally.ended()) {
    tally.run(reading_.count_room);
    count(tally, day);
  }
}

void ReportBuilder::add_log(const std::string& path, std::FILE* file) {
  read_kept();
  read_now(path, file);
}

void ReportBuilder::read_now(const std::string& path, std::FILE* file) {
  const std::size_t day = start_log(path, file);
  own_.start(file);
  read(own_, day);
}

void ReportBuilder::add_log(const std::string& path, FileHandle file) {
  std::uint64_t size = 0;  // unknown: as if empty
  host_file_size(file.get(), size);
  const std::size_t day = start_log(path, file.get());
  kept_.push_back({std::move(file), day, size});
  if (kept_.size() >= reading_.kept_logs) read_kept();
}

struct ReportBuilder::KeptReading {
  HostTurns turns;  // a log's counting waits for its number
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> counted{0};  // the logs counted: the turn in play
};

// While one thread counts a log, the other gathers the next: the counting,
// the larger part when many lines are blacklisted, is shared too. A thread
// whose log's turn has not come yet gathers one more log meanwhile, into its
// spare tally, in the room its first log left: one processor may well run
// slower than the other, and the faster then takes more of the logs instead
// of waiting, in no more memory.
void ReportBuilder::take_kept(KeptReading& reading, LogTally& tally, LogTally& spare) {
  struct Held {
    std::size_t log;
    LogTally* tally;
  } held[2] = {};
  std::size_t holds = 0;
  const auto gather = [&](LogTally& into, std::size_t room) {
    const std::size_t i = reading.next++;
    if (i >= kept_.size()) return false;
    into.start(kept_[i].file.get());
    into.run(room);
    held[holds++] = {i, &into};
    return true;
  };
  while (holds > 0 || gather(tally, reading_.ahead_room)) {
    if (const std::size_t kept = held[0].tally->kept();
        holds == 1 && reading.counted != held[0].log && kept < reading_.ahead_room / 2)
      gather(held[0].tally == &tally ? spare : tally, reading_.ahead_room - kept);
    const Held first = held[0];
    reading.turns.wait_for(first.log);
    count(*first.tally, kept_[first.log].day);
    read(*first.tally, kept_[first.log].day);
    ++reading.counted;
    reading.turns.pass();
    held[0] = held[1];
    --holds;
  }
}

void ReportBuilder::read_kept() {
  KeptReading reading;
  std::uint64_t bytes = 0;
  for (const Kept& log : kept_) bytes += log.size;
  HostThread* thread = nullptr;
  struct Beside {
    ReportBuilder& builder;
    KeptReading& reading;
  } beside{*this, reading};
  if (kept_.size() > 1 && bytes >= reading_.beside_from)
    thread = host_start_thread(
        [](void* context) {
          auto* beside = static_cast<Beside*>(context);
          beside->builder.take_kept(beside->reading, beside->builder.beside_, beside->builder.beside_spare_);
        },
        &beside);
  take_kept(reading, own_, own_spare_);
  if (thread) host_join_thread(thread);
  kept_.clear();
}

void ReportBuilder::add_unreadable(const std::string& path) { data_.unreadable.push_back(host_native_path(path.c_str())); }

ReportData ReportBuilder::finish() {
  read_kept();
  data_.total.label = "Total";
  for (const DayRow& row : data_.days)
    for (int k = 0; k < kResultKinds; ++k) data_.total.kinds[k] += row.kinds[k];
  if (data_.hours.back().total() == 0) data_.hours.pop_back();
  date_days(data_.days, newest_);
  for (const DayRow& row : data_.days)
    if (row.month) {
      if (data_.first_day.empty()) data_.first_day = dated_label(row);
      data_.last_day = dated_label(row);
    }
  for (auto& [key, row] : invalid_) data_.invalid_entries.push_back(std::move(row));
  invalid_.clear();
  data_.recipient_domains = ranking(recipients_.domains());
  data_.users = ranking(recipients_.recipients());
  data_.sender_domains = ranking(sender_domains_);
  // Their memory goes back before the report is drawn.
  recipients_ = RecipientCounts();
  sender_domains_ = TopCounter();
  return std::move(data_);
}
