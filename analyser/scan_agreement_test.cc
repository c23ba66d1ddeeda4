// The fast scanner against the simple token-by-token one, on logs made to trip
// the fast path: markers at read edges, window edges and piece edges, zero
// bytes, Ctrl-Z, CR LF split across reads; every way of taking the log in.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "analyser/log_scan.h"
#include "analyser/testing/reference_scan.h"
#include "analyser/testing/scan_outcome.h"

namespace {

const char* const kWords[] = {
    "Tests", "Tests", "Tests", "failed", "failed", "[weight=5]", "[weight=", "[Weight=1]", "a=1", "B=2",
    "abc=x", "=", "=v", "Tests=1", "K1", "K2", "k1", "end", "10:02", "Tested", "tests", "FAILED", "Testss",
    "xTests", "T", "Test", "ests", "s",
};
const char* const kGaps[] = {" ", " ", " ", "\t", "\r\n", "\n", "\r", "\v", "\f", "  ", " \r\n\r\n "};

std::string random_log(std::mt19937& random, int tokens) {
  std::string log;
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  for (int i = 0; i < tokens; ++i) {
    switch (pick(20)) {
      case 0: {  // a long run with a marker at or near a piece edge
        const std::size_t lead = 100 * (1 + pick(3)) + pick(3) - 1;
        log += std::string(lead, 'x') + (pick(2) ? "Tests" : "Tests=1");
        break;
      }
      case 1:  // a long test token or key
        log += std::string(95 + pick(12), "ak="[pick(3)]);
        break;
      case 2:  // zero bytes inside and after words
        log += pick(2) ? std::string("Tests\0x", 7) : std::string("a\0=1", 4);
        break;
      case 3:
        log += std::string("k\0", 2) + std::to_string(pick(3));
        break;
      case 4:  // a whole entry
        log += "K" + std::to_string(pick(4)) + " Tests failed [weight=3] a=1 b=2 end";
        break;
      case 5: {  // an entry's head as usually written, its weight token long or with a zero byte
        const std::string tails[] = {"7]:", std::string(85 + pick(25), 'w'), std::string("1\0]", 3)};
        log += "K" + std::to_string(pick(4)) + " Tests failed [weight=" + tails[pick(std::size(tails))];
        break;
      }
      default:
        log += kWords[pick(std::size(kWords))];
    }
    if (pick(40) != 0) log += kGaps[pick(std::size(kGaps))];  // sometimes words run together
  }
  if (pick(10) == 0) log.insert(pick(log.size() + 1), "\x1a");
  return log;
}

TEST(ScanAgreement, GeneratedLogs) {
  std::mt19937 random(20040414);
  const std::vector<ScanWay> ways = scan_ways({0, 1, 2, 3, 5, 7, 64, 99, 100, 101, 103, 255});
  for (int round = 0; round < 400; ++round) {
    const std::string log = random_log(random, 1 + static_cast<int>(random() % 120));
    const std::int32_t limit = random() % 4 == 0 ? static_cast<std::int32_t>(random() % 6) : 0;
    const ScanOutcome want = scan_bytes(reference_scan_log, log, limit, {"A", "TESTS"});
    for (const ScanWay& way : ways)
      ASSERT_EQ(scan_bytes(fast_scan(way.settings), log, limit, {"A", "TESTS"}), want)
          << "round " << round << ", " << way.label << ", limit " << limit << ", log:\n"
          << log;
  }
}

TEST(ScanAgreement, MarkerAtEveryOffsetOfARead) {
  // The same entry slid across the edge of a 64-byte read, one byte at a time,
  // once after white space and once as a piece after 100 bytes.
  for (const std::string& lead : {std::string("k1 "), std::string(100, 'q')}) {
    for (std::size_t shift = 0; shift < 140; ++shift) {
      const std::string log = std::string(shift, ' ') + lead +
                              "Tests failed [weight=1] a=1 e\r\nk1 Tests failed [weight=1] b=1 e\r\n" +
                              std::string(shift, 'z') + "Tests failed [weight=1] c=1 e";
      const ScanOutcome want = scan_bytes(reference_scan_log, log);
      for (const ScanWay& way : scan_ways({64, 1, 5}))
        ASSERT_EQ(scan_bytes(fast_scan(way.settings), log), want) << "shift " << shift << ", " << way.label;
    }
  }
}

TEST(ScanAgreement, LongRunsWithoutWhiteSpace) {
  std::mt19937 random(99);
  for (int round = 0; round < 50; ++round) {
    std::string log;
    // Without white space only 100-byte pieces are tokens, and a zero byte
    // ends a piece's text: "Tests\0" at a piece start is a marker.
    const std::string words[] = {"Tests", std::string("Tests\0", 6), std::string("failed\0", 7),
                                 std::string("[weight=1]\0", 11), std::string("a=1\0", 4), "T", "s"};
    while (log.size() < 5000)
      log += random() % 2 == 0 ? words[random() % std::size(words)] : std::string(1 + random() % 7, 'y');
    log += " Tests failed [weight=1] a=1 e";
    const ScanOutcome want = scan_bytes(reference_scan_log, log);
    for (const ScanWay& way : scan_ways({1, 37, 4096}))
      ASSERT_EQ(scan_bytes(fast_scan(way.settings), log), want) << way.label << ", log:\n" << log;
  }
}

TEST(ScanAgreement, ManyNamesFillTheTableAndTheNameCache) {
  // More spellings than the fast scanner keeps (short and long names, in
  // either letter case) and more tests than the table holds, so that names
  // are looked up every way there is and the full table drops some.
  std::mt19937 random(100);
  // Families of names that share their first 8, 15 or 16 bytes, around the
  // 16 bytes up to which the fast scanner keeps a name as two words.
  const char* const prefixes[] = {"", "t", "TESTNAME", "abcdefghijklmno", "ABCDEFGHIJKLMNOP", "SpamHausSpamHausXYZ"};
  std::vector<std::string> names;
  for (int i = 0; i < 700; ++i) {
    std::string name = prefixes[random() % std::size(prefixes)] + std::to_string(i % 40);
    names.push_back(name);
    for (char& c : name) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    names.push_back(name);
  }
  std::string log;
  for (int entry = 0; entry < 3000; ++entry) {
    log += "Q7c9f736" + std::to_string(random() % 4) + " Tests failed [weight=1]";  // keys alike in 8 bytes
    for (std::size_t n = 1 + random() % 5; n > 0; --n) log += " " + names[random() % names.size()] + "=x";
    log += " end\r\n";
  }
  const ScanOutcome want = scan_bytes(reference_scan_log, log);
  ASSERT_EQ(want.slots.size(), static_cast<std::size_t>(kTestSlots));
  for (const ScanWay& way : scan_ways({0}))
    ASSERT_EQ(scan_bytes(fast_scan(way.settings), log), want) << way.label;
  // In two halves, the table filling in either.
  for (const std::uint64_t at : {log.size() / 50, log.size() / 3, log.size() / 2, log.size() - 40})
    ASSERT_EQ(scan_bytes(split_scan(ScanSettings(), at), log), want) << "second half at " << at;

  // A full table, then more distinct names in the second half than it keeps
  // apart, and then a name of the first half again, which still counts.
  std::string crowded;
  for (int i = 0; i < 100; ++i) crowded += "k Tests failed [weight=1] first" + std::to_string(i) + "=x e\n";
  const std::size_t half = crowded.size();
  for (int i = 0; i < 1200; ++i) crowded += "k Tests failed [weight=1] second" + std::to_string(i) + "=x e\n";
  crowded += "k2 Tests failed [weight=1] first5=x e\n";
  ASSERT_EQ(scan_bytes(split_scan(ScanSettings(), half), crowded), scan_bytes(reference_scan_log, crowded));
}

TEST(ScanAgreement, TwoHalvesAtEveryLine) {
  // The second half starting at every line of the log, whatever the first
  // half leaves open there: a key, an entry's test list, a marker without
  // its entry, a long run.
  std::mt19937 random(31);
  const ScanSettings reading_small = reading(7);
  for (int round = 0; round < 150; ++round) {
    const std::string log = random_log(random, 1 + static_cast<int>(random() % 80));
    const ScanOutcome want = scan_bytes(reference_scan_log, log, 0, {"A", "TESTS"});
    for (std::uint64_t at = 1; at < log.size(); ++at) {
      if (log[at - 1] != '\n') continue;
      for (const ScanSettings& settings : {ScanSettings(), reading_small})
        ASSERT_EQ(scan_bytes(split_scan(settings, at), log, 0, {"A", "TESTS"}), want)
            << "round " << round << ", second half at " << at << ", log:\n"
            << log;
    }
  }
}

TEST(ScanAgreement, TwoHalvesPrintWhatOneWould) {
  // Past several multiples of 5000 entries, with runs of passes without an
  // entry (more than 15 at one count in places), keys that go on across the
  // halves and names first met late, so that the second half's names and
  // progress numbers fall among the first half's.
  std::mt19937 random(5);
  std::string log;
  for (int entry = 0; entry < 16000; ++entry) {
    const std::string key = "Q" + std::to_string(entry / (1 + random() % 3));
    // Runs of them at multiples of 5000 too, where their progress numbers
    // are printed.
    if (random() % 50 == 0 || (entry > 0 && entry % 5000 == 0))
      for (std::size_t n = random() % 40; n > 0; --n) log += key + " Tests passed\r\n";
    log += key + " Tests failed [weight=2] ";
    for (std::size_t n = 1 + random() % 3; n > 0; --n)
      log += (random() % 400 == 0 ? "late" + std::to_string(entry) : "T" + std::to_string(random() % 8)) + "=x ";
    log += "12:00\r\n";
  }
  const ScanOutcome want = scan_bytes(reference_scan_log, log, 0, {"T3"});
  for (std::uint64_t at = 1; at < log.size(); at += 1 + random() % (log.size() / 30))
    ASSERT_EQ(scan_bytes(split_scan(ScanSettings(), at), log, 0, {"T3"}), want) << "second half at " << at;
}

TEST(ScanAgreement, LogsOfManyWindows) {
  // Logs of several of the smallest mapping windows, so that markers, keys,
  // long runs and Ctrl-Z fall on window edges too.
  std::mt19937 random(7);
  for (int round = 0; round < 12; ++round) {
    std::string log;
    while (log.size() < 40000) log += random_log(random, 50);
    if (round % 3 == 0) log.erase(std::remove(log.begin(), log.end(), '\x1a'), log.end());
    const ScanOutcome want = scan_bytes(reference_scan_log, log, 0, {"A", "TESTS"});
    for (const ScanWay& way : scan_ways({0, 1, 4093}))
      ASSERT_EQ(scan_bytes(fast_scan(way.settings), log, 0, {"A", "TESTS"}), want) << "round " << round << ", " << way.label;
  }
}

}  // namespace
