// What a scan of given bytes gives, in one comparable value.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "analyser/failed_tests.h"
#include "analyser/log_scan.h"
#include "common/console.h"
#include "common/testing/scratch.h"

struct ScanOutcome {
  std::int64_t recipients = 0, messages = 0;
  std::vector<TestSlot> slots;
  std::string console;

  bool operator==(const ScanOutcome& o) const {
    if (recipients != o.recipients || messages != o.messages || console != o.console) return false;
    if (slots.size() != o.slots.size()) return false;
    for (std::size_t i = 0; i < slots.size(); ++i)
      if (slots[i].name != o.slots[i].name || slots[i].message_fails != o.slots[i].message_fails ||
          slots[i].recipient_fails != o.slots[i].recipient_fails)
        return false;
    return true;
  }
};

inline std::ostream& operator<<(std::ostream& out, const ScanOutcome& o) {
  out << "recipients " << o.recipients << ", messages " << o.messages << ", slots {";
  for (const TestSlot& s : o.slots) out << " " << s.name << ":" << s.message_fails << "/" << s.recipient_fails;
  return out << " }, console \"" << o.console << "\"";
}

using ScanFunction = std::function<void(std::FILE*, std::int32_t, FailedTests&, ScanTotals&, Console&)>;

// Scans the bytes with a table that already holds the given names.
inline ScanOutcome scan_bytes(const ScanFunction& scan, const std::string& bytes, std::int32_t limit = 0,
                              const std::vector<std::string>& names = {}) {
  FailedTests table;
  CapturedConsole preload;
  for (const std::string& name : names) find_or_add_test(table, name.c_str(), preload);
  ScanTotals totals;
  CapturedConsole console;
  std::FILE* file = file_with(bytes);
  scan(file, limit, table, totals, console);
  std::fclose(file);
  return {totals.recipients, totals.messages, table.slots, console.text()};
}

inline ScanFunction fast_scan(const ScanSettings& settings = {}) {
  return [settings](std::FILE* f, std::int32_t limit, FailedTests& t, ScanTotals& s, Console& c) {
    scan_log(f, limit, t, s, c, settings);
  };
}

// The log read through the buffer, step bytes at a time.
inline ScanSettings reading(std::size_t step) {
  ScanSettings settings;
  settings.window.map = false;
  settings.window.step = step;
  return settings;
}

// The fast scan given a second stream of the log, so that it takes any log
// but the shortest in two halves, the second starting at the first line at or
// after split_at.
inline ScanFunction split_scan(ScanSettings settings, std::uint64_t split_at) {
  settings.split_size = 0;
  settings.split_at = split_at;
  return [settings](std::FILE* f, std::int32_t limit, FailedTests& t, ScanTotals& s, Console& c) {
    std::string bytes;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
    std::rewind(f);
    std::FILE* again = file_with(bytes);
    scan_log(f, limit, t, s, c, settings, again);
    std::fclose(again);
  };
}

struct ScanWay {
  std::string label;
  ScanSettings settings;
};

// Every way the fast scan can take a log in: mapped, in the smallest windows
// there are, and read through the buffer; each taking in step new bytes at a
// time (0: as many as it can) and with each set of inner loops this build and
// processor have.
inline std::vector<ScanWay> scan_ways(std::initializer_list<std::size_t> steps) {
  std::vector<ScanWay> ways;
  for (const VectorSet kernels : usable_kernel_sets())
    for (const bool map : {true, false})
      for (const std::size_t step : steps) {
        ScanSettings settings;
        settings.kernels = kernels;
        settings.window = {map, 1, step};
        ways.push_back({std::string(map ? "mapped" : "read") + ", step " + std::to_string(step) + ", " +
                            vector_set_name(kernels),
                        settings});
      }
  return ways;
}
