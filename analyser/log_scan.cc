#include "analyser/log_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/file.h"
#include "common/host.h"
#include "common/text.h"

namespace {

constexpr std::int64_t kProgressStep = 5000;

// Test names met before, each with its slot (-1 when the table was full; it
// stays full), so that a test token usually costs one hash and one comparison
// instead of a search through the table. Names are kept as the log spells
// them: two spellings that differ in letter case are two entries for one slot.
class NameCache {
 public:
  NameCache() = default;
  // Notes the entry count at which each name is added to the table.
  NameCache(std::vector<std::int64_t>* added_at, const ScanTotals* totals) : added_at_(added_at), totals_(totals) {}

  // The slot of the test a test token names.
  int slot_for(const Token& token, FailedTests& table, Console& console) {
    if (token.equals <= ShortText::kMax && token.readable >= ShortText::kMax) return short_slot(token, table, console);
    return long_slot(std::string_view(token.data, token.equals), table, console);
  }

 private:
  static constexpr std::size_t kSize = 512;

  struct ShortEntry {
    ShortText name;
    int slot;
  };
  struct LongEntry {
    std::uint32_t hash;
    int slot;
    std::string name;
  };

  int short_slot(const Token& token, FailedTests& table, Console& console) {
    const ShortText name(token.data, token.equals);
    const std::uint64_t mix = name.words[0] * 0x9e3779b97f4a7c15u ^ name.words[1] * 0xc2b2ae3d27d4eb4fu;
    const std::size_t home = mix >> 55;
    if (short_[home].name == name) return short_[home].slot;  // a free entry's name is no token's
    return short_probe(token, name, home, table, console);
  }

  int short_probe(const Token& token, const ShortText& name, std::size_t home, FailedTests& table,
                  Console& console) {
    for (std::size_t i = home, probes = 0; probes < kSize; i = (i + 1) % kSize, ++probes) {
      ShortEntry& entry = short_[i];
      if (entry.slot == kFree) {
        const int slot = find_or_add(std::string_view(token.data, token.equals), table, console);
        if (short_count_ < kSize / 2) {  // half full at most, so a miss soon meets a free entry
          entry = ShortEntry{name, slot};
          ++short_count_;
        }
        return slot;
      }
      if (entry.name == name) return entry.slot;
    }
    return find_or_add(std::string_view(token.data, token.equals), table, console);
  }

  int long_slot(std::string_view name, FailedTests& table, Console& console) {
    std::uint32_t hash = 2166136261u;
    for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    for (std::size_t i = hash % kSize, probes = 0; probes < kSize; i = (i + 1) % kSize, ++probes) {
      LongEntry& entry = long_[i];
      if (entry.slot == kFree) {
        const int slot = find_or_add(name, table, console);
        if (long_count_ < kSize / 2) {
          entry = LongEntry{hash, slot, std::string(name)};
          ++long_count_;
        }
        return slot;
      }
      if (entry.hash == hash && entry.name == name) return entry.slot;
    }
    return find_or_add(name, table, console);
  }

  // The table holds names upper-cased.
  int find_or_add(std::string_view name, FailedTests& table, Console& console) {
    char upper[kPiece];
    for (std::size_t i = 0; i < name.size(); ++i)
      upper[i] = upper_case_char(name[i]);
    const std::size_t used = table.slots.size();
    const int slot = find_or_add_test(table, std::string_view(upper, name.size()), console);
    if (added_at_ && table.slots.size() != used) added_at_->push_back(totals_->recipients);
    return slot;
  }

  static constexpr int kFree = -2;
  std::array<ShortEntry, kSize> short_ = [] {
    std::array<ShortEntry, kSize> entries;
    // A zero byte before a byte that is not: no text without zero bytes reads so.
    ShortText impossible;
    impossible.words[1] = 1;
    entries.fill(ShortEntry{impossible, kFree});
    return entries;
  }();
  std::array<LongEntry, kSize> long_ = [] {
    std::array<LongEntry, kSize> entries;
    for (LongEntry& e : entries) e.slot = kFree;
    return entries;
  }();
  std::size_t short_count_ = 0, long_count_ = 0;
  std::vector<std::int64_t>* added_at_ = nullptr;
  const ScanTotals* totals_ = nullptr;
};

// Prints the progress numbers. Repeats of the same number (passes without an
// entry) wait for the next new one to be flushed, so that a log full of them
// does not flush at every pass.
class Progress {
 public:
  explicit Progress(Console& console) : console_(console) {}

  void pass_ended(std::int64_t recipients) {
    if (recipients < next_) return;  // the counts only grow
    if (recipients % kProgressStep != 0) {
      next_ = recipients / kProgressStep * kProgressStep + kProgressStep;
      return;
    }
    next_ = recipients;
    std::string number = " ";
    number += std::to_string(recipients);
    console_.print(number);
    if (recipients != last_flushed_) {
      console_.flush();
      last_flushed_ = recipients;
    }
  }

 private:
  Console& console_;
  std::int64_t last_flushed_ = -1;
  std::int64_t next_ = 0;  // no number is printed below it
};

// The key of the last entry closed by an end token.
struct Remembered {
  KeyText key;
  bool known = false;  // at the start no key equals it
};

enum class PassesEnd { LogEnded, Stopped };

// Runs passes, each from the scanner's position to the end of the next
// "Tests" marker's entry, until the log ends, pass_end(recipients) says to
// stop after a pass, or a pass would start at or past stop_at.
template <typename PassEnd>
PassesEnd run_passes(TokenScanner& scanner, NameCache& names, Remembered& remembered, FailedTests& table,
                     ScanTotals& totals, Console& console, std::uint64_t stop_at, PassEnd pass_end) {
  Token token;
  for (;;) {
    if (scanner.offset() >= stop_at) return PassesEnd::Stopped;
    // Each pass jumps to the next "Tests", the token before it being the key.
    if (!scanner.next_marker()) return PassesEnd::LogEnded;
    bool entry = scanner.skip_entry_head();
    if (!entry) {
      if (!scanner.next_token(token)) return PassesEnd::LogEnded;
      if (token.is("failed")) {
        if (!scanner.next_token(token)) return PassesEnd::LogEnded;
        entry = token.begins_with("[weight=");
      }
    }
    if (entry) {
      ++totals.recipients;
      const bool opens_message = !remembered.known || !(scanner.key() == remembered.key);
      totals.messages += opens_message;
      while (scanner.next_token(token)) {
        if (!token.holds_equals()) {  // the end token
          remembered.key.copy(scanner.key());
          remembered.known = true;
          break;
        }
        const int slot = names.slot_for(token, table, console);
        if (slot < 0) continue;
        ++table.slots[slot].recipient_fails;
        table.slots[slot].message_fails += opens_message;  // no branch: it is as likely as not
      }
    }
    if (pass_end(totals.recipients)) return PassesEnd::LogEnded;
  }
}

// How many passes ended at each count of entries (every entry ends one pass,
// and passes without an entry end at the count of the entry before them), a
// half byte per count and the rare counts of 15 or more beside. The counts
// come in order.
class PassEnds {
 public:
  void add(std::int64_t recipients) {
    if (recipients != current_) {
      close_current();
      current_ = recipients;
      ends_ = 0;
    }
    ++ends_;
  }
  void finish() {
    close_current();
    if (size_ % 2 == 1) halves_.push_back(low_);
  }
  // Whether so many counts are kept that the second thread had better stop.
  bool full() const { return size_ > kMaxCounts || many_.size() > kMaxMany; }

  // After finish.
  std::int64_t at(std::int64_t recipients) const {
    if (recipients >= size_) return 0;
    const auto i = static_cast<std::size_t>(recipients);
    const int small = halves_[i / 2] >> (4 * (i % 2)) & 15;
    if (small < 15) return small;
    const auto it = std::lower_bound(many_.begin(), many_.end(), std::pair<std::int64_t, std::int64_t>{recipients, 0});
    return it->second;
  }

 private:
  static constexpr std::int64_t kMaxCounts = std::int64_t{1} << 22;  // 2 MiB of half bytes
  static constexpr std::size_t kMaxMany = 1 << 16;

  void close_current() {
    for (; size_ <= current_; ++size_) {
      const std::int64_t n = size_ == current_ ? ends_ : 0;
      const auto half = static_cast<std::uint8_t>(std::min<std::int64_t>(n, 15));
      if (n >= 15) many_.emplace_back(size_, n);
      if (size_ % 2 == 0)
        low_ = half;
      else
        halves_.push_back(static_cast<std::uint8_t>(low_ | half << 4));
    }
  }

  std::deque<std::uint8_t> halves_;  // grows without copying what it holds
  std::uint8_t low_ = 0;             // the half byte of an even count, until the odd one comes
  std::vector<std::pair<std::int64_t, std::int64_t>> many_;
  std::int64_t size_ = 0;  // counts 0 to size_ - 1 are kept
  std::int64_t current_ = 0, ends_ = 0;
};

class SilentConsole : public Console {
 public:
  void print(std::string_view) override {}
};

// The second half of a log, scanned by a thread of its own into a table of
// its own that starts as the shared one did. Its scan counts from the first
// pass after an entry closed by an end token whose key lies in the half:
// from there on nothing that came before the half matters but the position
// and that key. The first half's scan is then stopped where this one began
// counting and, when its state there is the same, takes these counts over.
class SecondHalf {
 public:
  SecondHalf(std::FILE* log, std::uint64_t start, const ScanSettings& settings, const FailedTests& table)
      : scanner_(log, settings, start), table_(table), names_(&added_at_, &totals_) {
    // The shared table may fill up with the first half's names, and any of
    // those may come again here; so this table takes more, and a half that
    // meets more distinct names than that is not used.
    table_.capacity = kTestSlots + kMoreNames;
    scanner_.forget_key();
  }

  // Runs the passes that end before counting can start. False when the log
  // ends first.
  bool settle() {
    SilentConsole silent;
    FailedTests scratch;
    ScanTotals totals;
    NameCache names;
    const auto settled = [this](std::int64_t) { return remembered_.known && !is_unknown(remembered_.key); };
    run_passes(scanner_, names, remembered_, scratch, totals, silent, ~std::uint64_t{0}, settled);
    if (!settled(0)) return false;
    start_ = scanner_.offset();
    key_at_start_ = scanner_.key();
    remembered_at_start_ = remembered_.key;
    return true;
  }
  std::uint64_t start() const { return start_; }

  static void count(void* half) { static_cast<SecondHalf*>(half)->count(); }

  // Whether a scan that stands at this half's start in this state counts from
  // there on as this half did.
  bool continues(const TokenScanner& scanner, const Remembered& remembered) const {
    const bool complete = !abandoned_ && table_.slots.size() < static_cast<std::size_t>(table_.capacity);
    return complete && scanner.offset() == start_ && scanner.key() == key_at_start_ && remembered.known &&
           remembered.key == remembered_at_start_;
  }

  // Adds this half's counts to the table and totals, and prints what a scan
  // of both halves in one would have printed after the first.
  void merge_into(FailedTests& table, ScanTotals& totals, Progress& progress, Console& console) const {
    const std::int64_t before = totals.recipients;
    const std::size_t shared = table_.slots.size() - added_at_.size();
    for (std::size_t slot = 0; slot < shared; ++slot) add_counts(table_.slots[slot], static_cast<int>(slot), table);
    // The names this half added, each where it was first met, between the
    // progress numbers of the passes that ended before and after.
    std::size_t next = 0;
    const auto add_names_to = [&](std::int64_t recipients) {
      for (; next < added_at_.size() && added_at_[next] <= recipients; ++next) {
        const TestSlot& mine = table_.slots[shared + next];
        add_counts(mine, find_or_add_test(table, mine.name, console), table);
      }
    };
    for (std::int64_t r = (kProgressStep - before % kProgressStep) % kProgressStep; r <= totals_.recipients;
         r += kProgressStep) {
      add_names_to(r);
      for (std::int64_t n = pass_ends_.at(r); n > 0; --n) progress.pass_ended(before + r);
    }
    add_names_to(totals_.recipients);
    totals.recipients += totals_.recipients;
    totals.messages += totals_.messages;
  }

 private:
  void count() {
    SilentConsole silent;
    const auto ended = [this](std::int64_t recipients) {
      pass_ends_.add(recipients);
      abandoned_ = pass_ends_.full();
      return abandoned_;
    };
    run_passes(scanner_, names_, remembered_, table_, totals_, silent, ~std::uint64_t{0}, ended);
    pass_ends_.finish();
  }

  static void add_counts(const TestSlot& from, int slot, FailedTests& table) {
    if (slot < 0) return;
    table.slots[slot].message_fails += from.message_fails;
    table.slots[slot].recipient_fails += from.recipient_fails;
  }

  static constexpr int kMoreNames = 1000;

  TokenScanner scanner_;
  FailedTests table_;
  ScanTotals totals_;
  std::vector<std::int64_t> added_at_;  // the entry count at which each name was added
  NameCache names_;
  Remembered remembered_;
  KeyText key_at_start_, remembered_at_start_;
  std::uint64_t start_ = 0;
  PassEnds pass_ends_;
  bool abandoned_ = false;
};

// Where the second half starts: just past the first line end at or after
// offset at - 1. 0 when no line end comes before the end of the log.
std::uint64_t line_start_from(std::FILE* log, std::uint64_t at) {
  if (at == 0 || !host_seek(log, at - 1)) return 0;
  char bytes[4096];
  for (std::uint64_t offset = at - 1;;) {
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, log);
    if (got == 0) return 0;
    if (const void* end = std::memchr(bytes, '\n', got))
      return offset + static_cast<std::size_t>(static_cast<const char*>(end) - bytes) + 1;
    offset += got;
  }
}

}  // namespace

void scan_log(std::FILE* log, std::int32_t scan_limit, FailedTests& table, ScanTotals& totals, Console& console,
              const ScanSettings& settings, std::FILE* again) {
  TokenScanner scanner(log, settings);
  NameCache names;
  Remembered remembered;
  Progress progress(console);
  std::int64_t passes_left = scan_limit;
  const auto ended = [&](std::int64_t recipients) {
    progress.pass_ended(recipients);
    return scan_limit > 0 && --passes_left == 0;
  };
  const std::uint64_t never = ~std::uint64_t{0};
  std::uint64_t size = 0;
  if (scan_limit > 0 || !again || !host_file_size(log, size) || size < settings.split_size || size < 2) {
    run_passes(scanner, names, remembered, table, totals, console, never, ended);
    return;
  }
  const std::uint64_t start = line_start_from(again, settings.split_at ? settings.split_at : size / 2);
  std::unique_ptr<SecondHalf> half;
  HostThread* thread = nullptr;
  if (start > 0 && start < size && host_seek(again, start)) {
    half = std::make_unique<SecondHalf>(again, start, settings, table);
    if (half->settle()) thread = host_start_thread(SecondHalf::count, half.get());
  }
  if (!thread) {
    run_passes(scanner, names, remembered, table, totals, console, never, ended);
    return;
  }
  const PassesEnd first = run_passes(scanner, names, remembered, table, totals, console, half->start(), ended);
  host_join_thread(thread);
  if (first == PassesEnd::LogEnded) return;  // the log ended before the second half's count began
  if (half->continues(scanner, remembered)) {
    half->merge_into(table, totals, progress, console);
    return;
  }
  run_passes(scanner, names, remembered, table, totals, console, never, ended);
}

bool scan_log_path(const char* path, std::int32_t scan_limit, FailedTests& table, ScanTotals& totals,
                   Console& console) {
  const FileHandle log = FileHandle::open_read(path);
  if (!log) {
    std::string message = "\n\n Log File Not Found!\n";
    message.append(path).append("\n");
    console.print(message);
    return false;
  }
  // A second stream of a big log, for a second thread.
  const ScanSettings settings;
  std::uint64_t size = 0;
  const bool big = scan_limit <= 0 && host_file_size(log.get(), size) && size >= settings.split_size;
  const FileHandle again = big ? FileHandle::open_read(path) : FileHandle();
  scan_log(log.get(), scan_limit, table, totals, console, settings, again.get());
  return true;
}
