#include "analyser/log_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analyser/testing/reference_scan.h"
#include "analyser/testing/scan_outcome.h"

namespace {

// "NAME:m/r NAME:m/r" for the slots of an outcome.
std::string slots_text(const ScanOutcome& o) {
  std::string text;
  for (const TestSlot& s : o.slots)
    text += (text.empty() ? "" : " ") + s.name + ":" + std::to_string(s.message_fails) + "/" +
            std::to_string(s.recipient_fails);
  return text;
}

struct Case {
  const char* label;
  std::string log;
  std::int64_t recipients, messages;
  std::string slots;
  std::string console;
  std::int32_t limit = 0;
};

// Every case holds for the fast scanner, whichever way it takes the log in,
// and for the simple one.
void check(const Case& c) {
  const ScanOutcome want_reference = scan_bytes(reference_scan_log, c.log, c.limit);
  EXPECT_EQ(want_reference.recipients, c.recipients) << c.label;
  EXPECT_EQ(want_reference.messages, c.messages) << c.label;
  EXPECT_EQ(slots_text(want_reference), c.slots) << c.label;
  EXPECT_EQ(want_reference.console, c.console) << c.label;
  for (const ScanWay& way : scan_ways({0, 1, 7, 101}))
    EXPECT_EQ(scan_bytes(fast_scan(way.settings), c.log, c.limit), want_reference) << c.label << ", " << way.label;
}

const std::string kEntry = " Tests failed [weight=1] a=1 e ";

TEST(ScanLog, Entries) {
  const Case cases[] = {
      {"no marker", "k failed [weight=1] a=1 e\r\n", 0, 0, "", ""},
      {"one entry with two tests and its end token", "k17 Tests failed [weight=7] abc=X def=Y 10:02", 1, 1,
       "ABC:1/1 DEF:1/1", "\n0 ABC\n1 DEF"},
      {"any white space separates", "k\tTests\vfailed\f[weight=1]\r a=1\r\ne", 1, 1, "A:1/1", "\n0 A"},
      {"weight token is a prefix test", "k Tests failed [weight=]x a=1 e", 1, 1, "A:1/1", "\n0 A"},
      {"name rules", "k Tests failed [weight=1] abc=x ABC= =v a=b=c end", 1, 1, "ABC:2/2 :1/1 A:1/1",
       "\n0 ABC\n1 \n2 A"},
      {"named twice counts twice", "k Tests failed [weight=1] a=1 a=2 end", 1, 1, "A:2/2", "\n0 A"},
      {"entry without tests", "k Tests failed [weight=1] end", 1, 1, "", ""},
      {"empty key opens the first message", "Tests failed [weight=1] a=1 e", 1, 1, "A:1/1", "\n0 A"},
      {"empty key twice is one message", "Tests failed [weight=1] a=1 e Tests failed [weight=1] a=1 e", 2, 1,
       "A:1/2", "\n0 A"},
      {"same key, other key, same again",
       "K1" + kEntry + "K1" + kEntry + "K2" + kEntry + "K1" + kEntry, 4, 3, "A:3/4", "\n0 A"},
      {"case counts in keys", "k" + kEntry + "K" + kEntry, 2, 2, "A:2/2", "\n0 A"},
      {"test names are upper-cased", "k Tests failed [weight=1] testb=1 TestB=2 e", 1, 1, "TESTB:2/2",
       "\n0 TESTB"},
  };
  for (const Case& c : cases) check(c);
}

TEST(ScanLog, MarkerRules) {
  const Case cases[] = {
      {"Tests then not failed", "k Tests passed x", 0, 0, "", " 0"},
      {"the token after Tests is skipped even when Tests",
       "k Tests Tests failed [weight=1] a=1 e", 0, 0, "", " 0"},
      {"third token skipped", "k Tests failed nope Tests failed [weight=1] a=1 e", 1, 1, "A:1/1",
       " 0\n0 A"},
      {"near misses are no markers",
       "k Tested failed [weight=1] a=1 e k tests failed [weight=1] a=1 e k TESTS failed [weight=1] a=1 e "
       "k Tests FAILED [weight=1] x k Tests failed [Weight=1] x k xTests failed [weight=1] a=1 e "
       "k Testss failed [weight=1] a=1 e",
       0, 0, "", " 0 0"},
      {"end token closes even when Tests",
       "k1 Tests failed [weight=1] a=1 Tests failed [weight=1] b=1 end", 1, 1, "A:1/1", "\n0 A"},
      {"a pass that starts on Tests keeps the key",
       "k1 Tests failed [weight=1] a=1 end Tests failed [weight=1] b=1 end", 2, 1, "A:1/1 B:0/1",
       "\n0 A\n1 B"},
      {"skipped tokens are no keys",
       "k1 Tests failed [weight=1] a=1 e Tests nope Tests failed [weight=1] b=1 e", 2, 1, "A:1/1 B:0/1",
       "\n0 A\n1 B"},
  };
  for (const Case& c : cases) check(c);
}

TEST(ScanLog, TokenPiecesAndOddBytes) {
  const std::string x99(99, 'x'), x100(100, 'x'), k150(150, 'k'), k50(50, 'k');
  const Case cases[] = {
      {"Tests as the piece after 100 bytes", x100 + kEntry.substr(1), 1, 1, "A:1/1", "\n0 A"},
      {"Tests across a piece edge is none", x99 + kEntry.substr(1), 0, 0, "", ""},
      {"long key: its last piece is the key", k150 + kEntry + k50 + kEntry, 2, 1, "A:1/2", "\n0 A"},
      {"long key against a whole key", k150 + kEntry + x100 + kEntry, 2, 2, "A:2/2", "\n0 A"},
      {"a pass that ends inside a long run leaves the rest of the run as the key",
       "a Tests " + x100 + "kk Tests failed [weight=1] a=1 e kk" + kEntry, 2, 1, "A:1/2", " 0\n0 A"},
      {"long test token: first piece has no =",
       "k Tests failed [weight=1] " + std::string(120, 'a') + "=x e", 1, 1, "", ""},
      {"99-character name", "k Tests failed [weight=1] " + std::string(99, 'a') + "= e", 1, 1,
       std::string(99, 'A') + ":1/1", "\n0 " + std::string(99, 'A')},
      {"ctrl-z ends the log", "k Tests failed [weight=1] a=1 \x1a b=1 e k" + kEntry, 1, 1, "A:1/1", "\n0 A"},
      {"CR LF and lone CR are white space", "k\r\nTests\rfailed\r\n[weight=1]\r\r\na=1\re", 1, 1, "A:1/1",
       "\n0 A"},
      {"zero byte after Tests", std::string("k Tests\0zz failed [weight=1] a=1 e", 34), 1, 1, "A:1/1", "\n0 A"},
      {"zero byte inside Tests", std::string("k Te\0sts failed [weight=1] a=1 e", 32), 0, 0, "", ""},
      {"zero byte before the =", std::string("k Tests failed [weight=1] b=1 a\0=1 c=1 e", 41), 1, 1, "B:1/1",
       "\n0 B"},
      {"zero byte in keys", std::string("k\0x", 3) + kEntry + std::string("k\0y", 3) + kEntry, 2, 1, "A:1/2",
       "\n0 A"},
      {"zero byte in a name: the = after it is unseen",
       std::string("k Tests failed [weight=1] ab\0c=1 ab=2 e", 39), 1, 1, "", ""},
      {"high bytes stay", "k Tests failed [weight=1] \xe9t\xe9=1 e", 1, 1, "\xe9T\xe9:1/1", "\n0 \xe9T\xe9"},
  };
  for (const Case& c : cases) check(c);
}

TEST(ScanLog, ScanLimitCountsMarkers) {
  const std::string log = "a b c Tests x k1" + kEntry + "k2" + kEntry + "k3" + kEntry;
  const Case cases[] = {
      {"limit 1: the first marker only", log, 0, 0, "", " 0", 1},
      {"limit 2", log, 1, 1, "A:1/1", " 0\n0 A", 2},
      {"limit 0 is none", log, 3, 3, "A:3/3", " 0\n0 A", 0},
      {"a negative limit is none", log, 3, 3, "A:3/3", " 0\n0 A", -2147483647 - 1},
  };
  for (const Case& c : cases) check(c);
}

// Two configured tests, two first met in the log; entries that share a key,
// one pass that is no entry, and a test name in lower case.
TEST(ScanLog, MixedEntriesWithAPassedMessage) {
  const std::string log =
      "K1 Tests failed [weight=5] TESTA=IGN TESTC=X next\r\n"
      "K1 Tests failed [weight=5] TESTC=IGN TESTD=X next\r\n"
      "K2 Tests failed [weight=5] TESTD=IGN next\r\n"
      "K2 Tests passed\r\n"
      "K3 Tests failed [weight=5] testb=1 TESTA=2 next\r\n";
  for (const ScanFunction& scan : {fast_scan(), fast_scan(reading(3)), ScanFunction(reference_scan_log)}) {
    const ScanOutcome o = scan_bytes(scan, log, 0, {"TESTA", "TESTB"});
    EXPECT_EQ(o.recipients, 4);
    EXPECT_EQ(o.messages, 3);
    EXPECT_EQ(slots_text(o), "TESTA:2/2 TESTB:1/1 TESTC:1/2 TESTD:1/2");
    EXPECT_EQ(o.console, "\n2 TESTC\n3 TESTD");
  }
}

TEST(ScanLog, ProgressEvery5000Entries) {
  std::string log = "Tests x Tests x ";
  for (int i = 0; i < 10000; ++i) log += "m" + std::to_string(i) + kEntry;
  log += "z Tests passed Tests x";
  for (const ScanFunction& scan : {fast_scan(), fast_scan(reading(64)), ScanFunction(reference_scan_log)}) {
    const ScanOutcome o = scan_bytes(scan, log);
    EXPECT_EQ(o.recipients, 10000);
    EXPECT_EQ(o.messages, 10000);
    EXPECT_EQ(o.console, " 0 0\n0 A 5000 10000 10000 10000");
  }
}

// The driver's console flushes at each new progress number, not at repeats.
TEST(ScanLog, FlushesAtEachNewProgressNumber) {
  struct CountingConsole : CapturedConsole {
    std::vector<std::string> flushed_at;
    void flush() override { flushed_at.push_back(text()); }
  } console;
  std::string log = "Tests x Tests x ";
  for (int i = 0; i < 5000; ++i) log += "m" + std::to_string(i) + kEntry;
  log += "Tests x";
  FailedTests table;
  ScanTotals totals;
  std::FILE* file = file_with(log);
  scan_log(file, 0, table, totals, console);
  std::fclose(file);
  EXPECT_EQ(console.flushed_at, (std::vector<std::string>{" 0", " 0 0\n0 A 5000"}));
  EXPECT_EQ(console.text(), " 0 0\n0 A 5000 5000");
}

}  // namespace
