#include "analyser/log_scan.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

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
    for (std::size_t i = mix >> 55, probes = 0; probes < kSize; i = (i + 1) % kSize, ++probes) {
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
  static int find_or_add(std::string_view name, FailedTests& table, Console& console) {
    char upper[kPiece];
    for (std::size_t i = 0; i < name.size(); ++i)
      upper[i] = upper_case_char(name[i]);
    return find_or_add_test(table, std::string_view(upper, name.size()), console);
  }

  static constexpr int kFree = -2;
  std::array<ShortEntry, kSize> short_ = [] {
    std::array<ShortEntry, kSize> entries;
    entries.fill(ShortEntry{ShortText(), kFree});
    return entries;
  }();
  std::array<LongEntry, kSize> long_ = [] {
    std::array<LongEntry, kSize> entries;
    for (LongEntry& e : entries) e.slot = kFree;
    return entries;
  }();
  std::size_t short_count_ = 0, long_count_ = 0;
};

void print_progress(std::int64_t recipients, std::int64_t& last_flushed, Console& console) {
  std::string number = " ";
  number += std::to_string(recipients);
  console.print(number);
  // Repeats of the same number (passes without an entry) wait for the next
  // new one, so a log full of them does not flush at every pass.
  if (recipients != last_flushed) {
    console.flush();
    last_flushed = recipients;
  }
}

}  // namespace

void scan_log(std::FILE* log, std::int32_t scan_limit, FailedTests& table, ScanTotals& totals,
              Console& console, const ScanSettings& settings) {
  TokenScanner scanner(log, settings);
  NameCache names;
  KeyText remembered;
  bool have_remembered = false;  // at the start no key equals the remembered one
  std::int64_t passes_left = scan_limit;
  std::int64_t last_flushed = -1;
  Token token;
  // Each pass jumps to the next "Tests", the token before it being the key.
  while (scanner.next_marker()) {
    if (!scanner.next_token(token)) return;
    if (token.is("failed")) {
      if (!scanner.next_token(token)) return;
      if (token.begins_with("[weight=")) {
        ++totals.recipients;
        const bool opens_message = !have_remembered || !(scanner.key() == remembered);
        totals.messages += opens_message;
        while (scanner.next_token(token)) {
          if (!token.holds_equals()) {  // the end token
            remembered = scanner.key();
            have_remembered = true;
            break;
          }
          const int slot = names.slot_for(token, table, console);
          if (slot < 0) continue;
          ++table.slots[slot].recipient_fails;
          table.slots[slot].message_fails += opens_message;  // no branch: it is as likely as not
        }
      }
    }
    if (totals.recipients % kProgressStep == 0) print_progress(totals.recipients, last_flushed, console);
    if (scan_limit > 0 && --passes_left == 0) return;
  }
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
  scan_log(log.get(), scan_limit, table, totals, console);
  return true;
}
