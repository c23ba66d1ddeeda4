// The analyser's fast log scan against the simple token-by-token scanner of
// the tests, over arbitrary bytes: both must give the same totals, the same
// table (names, slot order, both fail counts) and the same console output,
// for any read size and scan limit.
// Input: a byte choosing the scan limit, then names to preload, one a line,
// then 0xFF and the log's bytes. A preloaded list of 100 or more names fills
// the table, so the full-table path is reached too.
#include <cstdio>
#include <string>

#include "common/console.h"
#include "analyser/log_scan.h"
#include "analyser/test_table.h"
#include "analyser/testing/reference_scan.h"
#include "fuzz/fuzz_check.h"

namespace {

struct Outcome {
  ScanTotals totals;
  TestTable table;
  std::string console;
};

template <typename Scan>
Outcome scan_with(Scan scan, const std::string& bytes, std::int32_t limit, const std::string& names) {
  Outcome o;
  CapturedConsole preload;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(names.data());
  std::size_t left = names.size();
  while (left > 0) find_or_add_test(o.table, next_part(p, left, '\n').c_str(), preload);
  static char empty[] = "\x1a";  // fmemopen refuses an empty buffer
  std::FILE* f = bytes.empty() ? fmemopen(empty, 1, "rb")
                               : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
  CapturedConsole console;
  scan(f, limit, o.table, o.totals, console);
  std::fclose(f);
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
  for (std::size_t read_size : {kScanReadSize, std::size_t{1} + choice % 7, std::size_t{97} + choice % 8}) {
    auto fast = [read_size](std::FILE* f, std::int32_t l, TestTable& t, ScanTotals& s, Console& c) {
      scan_log(f, l, t, s, c, read_size);
    };
    check_same(scan_with(fast, log, limit, names), want);
  }
  return 0;
}
