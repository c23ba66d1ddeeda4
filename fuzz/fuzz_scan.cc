// The analyser's fast log scan against the simple token-by-token scanner of
// the tests, over arbitrary bytes: both must give the same totals, the same
// table (names, slot order, both fail counts) and the same console output,
// for any scan limit, whether the log is mapped or read and in what steps it
// is taken in, with each set of inner loops the processor runs, and in two
// halves at once.
// Input: a byte choosing the scan limit, then names to preload, one a line,
// then 0xFF and the log's bytes. A preloaded list of 100 or more names fills
// the table, so the full-table path is reached too.
#include <cstdio>
#include <string>
#include <vector>

#include "analyser/failed_tests.h"
#include "analyser/log_scan.h"
#include "analyser/testing/reference_scan.h"
#include "common/console.h"
#include "fuzz/fuzz_check.h"

namespace {

struct Outcome {
  ScanTotals totals;
  FailedTests table;
  std::string console;
};

// The log comes from a file that holds the bytes (so that it can be mapped),
// or from memory when there is none.
template <typename Scan>
Outcome scan_with(Scan scan, const std::string& bytes, std::int32_t limit, const std::string& names,
                  std::FILE* file = nullptr) {
  Outcome o;
  CapturedConsole preload;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(names.data());
  std::size_t left = names.size();
  while (left > 0) find_or_add_test(o.table, next_part(p, left, '\n').c_str(), preload);
  static char empty[] = "\x1a";  // fmemopen refuses an empty buffer
  std::FILE* f = file                ? file
                 : bytes.empty() ? fmemopen(empty, 1, "rb")
                                 : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  if (file) std::rewind(file);
  CapturedConsole console;
  scan(f, limit, o.table, o.totals, console);
  if (!file) std::fclose(f);
  o.console = console.text();
  return o;
}

void check_same(const Outcome& got, const Outcome& want) {
  FUZZ_CHECK(got.totals.recipients == want.totals.recipients);
  FUZZ_CHECK(got.totals.messages == want.totals.messages);
  FUZZ_CHECK(got.table.slots.size() == want.table.slots.size());
  for (std::size_t i = 0; i < got.table.slots.size(); ++i) {
    FUZZ_CHECK(got.table.slots[i].name == want.table.slots[i].name);
    FUZZ_CHECK(got.table.slots[i].message_fails == want.table.slots[i].message_fails);
    FUZZ_CHECK(got.table.slots[i].recipient_fails == want.table.slots[i].recipient_fails);
  }
  FUZZ_CHECK(got.console == want.console);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  if (size == 0) return 0;
  const int choice = data[0];
  ++data;
  --size;
  // Mostly no limit; otherwise a small one, and now and then a negative one.
  const std::int32_t limit = choice < 160 ? 0 : choice < 250 ? (choice - 160) % 7 : -(choice - 249);
  std::string names = next_part(data, size, 0xFF);
  const std::string log(reinterpret_cast<const char*>(data), size);

  const Outcome want = scan_with(reference_scan_log, log, limit, names);
  FUZZ_CHECK(want.table.slots.size() <= static_cast<std::size_t>(kTestSlots));
  std::FILE* file = std::tmpfile();
  FUZZ_CHECK(file != nullptr);
  FUZZ_CHECK(std::fwrite(log.data(), 1, log.size(), file) == log.size());
  const std::vector<VectorSet>& sets = usable_kernel_sets();
  std::vector<ScanSettings> ways;
  for (const VectorSet set : sets)
    for (const bool map : {true, false}) ways.push_back({{map, 1, 0}, set});
  const VectorSet chosen = sets[choice % sets.size()];
  ways.push_back({{true, 1, std::size_t{1} + choice % 7}, chosen});
  ways.push_back({{false, 1, std::size_t{97} + choice % 8}, chosen});
  for (const ScanSettings& settings : ways) {
    auto fast = [&settings](std::FILE* f, std::int32_t l, FailedTests& t, ScanTotals& s, Console& c) {
      scan_log(f, l, t, s, c, settings);
    };
    check_same(scan_with(fast, log, limit, names, file), want);
  }
  // In two halves at once, the second from the first line at or after a
  // place the input chooses.
  std::FILE* again = std::tmpfile();
  FUZZ_CHECK(again != nullptr);
  FUZZ_CHECK(std::fwrite(log.data(), 1, log.size(), again) == log.size());
  for (const std::uint64_t at : {std::uint64_t{1}, std::uint64_t{log.size() / 2}, 1 + choice * log.size() / 256}) {
    ScanSettings halves;
    halves.split_size = 0;
    halves.split_at = at;
    auto split = [&](std::FILE* f, std::int32_t l, FailedTests& t, ScanTotals& s, Console& c) {
      scan_log(f, l, t, s, c, halves, again);
    };
    check_same(scan_with(split, log, limit, names, file), want);
  }
  std::fclose(again);
  // And from memory, where mapping is no choice.
  auto from_memory = [](std::FILE* f, std::int32_t l, FailedTests& t, ScanTotals& s, Console& c) {
    scan_log(f, l, t, s, c);
  };
  check_same(scan_with(from_memory, log, limit, names), want);
  std::fclose(file);
  return 0;
}
