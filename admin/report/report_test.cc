// The report's parts that the end-to-end cases cannot reach cheaply: the
// bounded counter past its limit, and the day of a log's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "admin/columns.h"
#include "admin/report/report_data.h"
#include "admin/report/recipient_counts.h"
#include "admin/report/report_render.h"
#include "admin/report/top_counter.h"
#include "common/file.h"
#include "common/testing/scratch.h"

namespace {

// The counter against the true counts of streams of several shapes. Exact
// while the table has room: the rows are the true counts, every one (none
// still waiting to be counted). Past that, every row is at most the true
// count and short of it by at most short_by(), every name met more than
// short_by() times is kept, and short_by() is at most the names met divided
// by the names the summary keeps; the table stays within its budget.
struct Stream {
  const char* what;
  std::size_t budget, summary;
  std::function<std::string(std::mt19937&, int)> name;
  int length;
};

TEST(TopCounter, AgainstTheTrueCounts) {
  const std::size_t kSmall = 3u << 20;  // three blocks of names, the index within
  const Stream streams[] = {
      {"a few names", TopCounter::kBudget, 64, [](std::mt19937& r, int) { return std::string(1, "BAC"[r() % 3]); }, 6},
      {"a few names often, very many once or twice", kSmall, 64,
       [](std::mt19937& r, int) {
         return (r() % 3 ? "HEAVY" : "N") + std::to_string(r() % 3 ? r() % 8 : r());
       },
       300000},
      {"heavy names only after the table is full", kSmall, 256,
       [](std::mt19937& r, int i) {
         return i > 200000 && r() % 2 ? "LATE" + std::to_string(r() % 5) : "ONCE" + std::to_string(i);
       },
       300000},
      {"long names", kSmall, 16,
       [](std::mt19937& r, int i) { return std::string(60 + r() % 40, 'X') + std::to_string(i % 30000 * (r() % 2)); },
       100000},
      {"empty and zero bytes", kSmall, 16,
       [](std::mt19937& r, int) { return std::string(r() % 3, '\0'); }, 1000},
  };
  for (const Stream& stream : streams) {
    SCOPED_TRACE(stream.what);
    std::mt19937 random(7);
    TopCounter counter(stream.budget, stream.summary), batched(stream.budget, stream.summary);
    std::map<std::string, long> truth;
    std::vector<std::string> names;
    for (int i = 0; i < stream.length; ++i) {
      names.push_back(stream.name(random, i));
      counter.add(names.back());
      ++truth[names.back()];
    }
    // Added in batches of any size, the names count as added one by one.
    const std::vector<std::string_view> views(names.begin(), names.end());
    for (std::size_t at = 0, n; at < views.size(); at += n) {
      n = std::min<std::size_t>(views.size() - at, random() % 100);
      batched.add({views.data() + at, n});
    }
    EXPECT_EQ(batched.top(truth.size()), counter.top(truth.size()));
    EXPECT_EQ(batched.short_by(), counter.short_by());
    EXPECT_LE(counter.table_bytes(), stream.budget);
    const long bound = counter.short_by();
    if (bound == 0) {
      std::vector<std::pair<std::string, long>> want(truth.begin(), truth.end());
      std::stable_sort(want.begin(), want.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
      EXPECT_EQ(counter.top(want.size()), want);
      continue;
    }
    EXPECT_LE(bound, stream.length / static_cast<long>(stream.summary));
    const auto kept = counter.top(truth.size());
    std::map<std::string, long> shown(kept.begin(), kept.end());
    for (std::size_t i = 1; i < kept.size(); ++i) EXPECT_GE(kept[i - 1].second, kept[i].second);
    for (const auto& [name, count] : truth) {
      const auto row = shown.find(name);
      if (row == shown.end()) {
        EXPECT_LE(count, bound) << name;
        continue;
      }
      EXPECT_LE(row->second, count) << name;
      EXPECT_GE(row->second + bound, count) << name;
    }
  }
}

// The domains summed from the recipients rank as the domains counted one by
// one, also when the recipients' table fills (early, late, at once) and
// when the domains' own table fills after it.
TEST(RecipientCounts, DomainsAsCountedOneByOne) {
  struct Case {
    const char* what;
    std::size_t budget;
    int recipients, users, domains;
    std::size_t local_size;
  } const cases[] = {
      {"the table never fills", TopCounter::kBudget, 20000, 500, 40, 4},
      {"the table fills half way", 3u << 20, 120000, 1 << 30, 300, 20},
      {"the domains' table fills too", 3u << 20, 120000, 1 << 30, 1 << 30, 2},
      {"no room from the start", 1u << 20, 3000, 100, 10, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::mt19937 random(11);
    RecipientCounts counts(c.budget, 64);
    TopCounter users(c.budget, 64), domains(c.budget, 64);
    std::vector<std::string> names;
    for (int i = 0; i < c.recipients; ++i) {
      const bool heavy = random() % 4 == 0;
      names.push_back(std::string(c.local_size, 'L') + std::to_string(heavy ? random() % 7 : random() % c.users) +
                      "@D" + std::to_string(heavy ? random() % 3 : random() % c.domains) + ".TEST");
    }
    for (std::size_t at = 0, n; at < names.size(); at += n) {
      n = std::min<std::size_t>(names.size() - at, random() % 130);
      std::vector<std::string_view> batch(names.begin() + at, names.begin() + at + n), their_domains;
      for (const std::string_view name : batch) their_domains.push_back(name.substr(name.find('@') + 1));
      counts.add(batch);
      users.add(batch);
      domains.add(their_domains);
    }
    EXPECT_EQ(counts.recipients().top(names.size()), users.top(names.size()));
    EXPECT_EQ(counts.domains().top(names.size()), domains.top(names.size()));
    EXPECT_EQ(counts.domains().short_by(), domains.short_by());
  }
}

// The budget's promise: 250,000 names of 40 characters, counted exactly.
TEST(TopCounter, ExactForAQuarterMillionNames) {
  TopCounter counter;
  for (int round = 0; round < 2; ++round)
    for (int i = 0; i < 250000; ++i) {
      std::string name = std::to_string(i);
      name.insert(0, 40 - name.size(), 'N');
      counter.add(name);
      if (i % 1000 == 0) counter.add(name);
    }
  EXPECT_EQ(counter.short_by(), 0);
  const auto top = counter.top(251);
  ASSERT_EQ(top.size(), 251u);
  EXPECT_EQ(top[249].second, 4);
  EXPECT_EQ(top[250].second, 2);
}

// A name's slot comes from the low bits of its hash: names that differ in
// any byte, the last ones too, spread over the slots as random ones would
// (names that all met in a few slots made counting many times slower).
TEST(TopCounter, NamesSpreadOverTheSlots) {
  const std::function<std::string(int)> families[] = {
      [](int i) { return "USER" + std::to_string(i); },
      [](int i) { return std::to_string(i) + "@X.COM"; },
      [](int i) { return std::string(1 + i % 40, 'A') + static_cast<char>(i / 40 % 256) + static_cast<char>(i / 10240); },
      [](int i) { return std::string{static_cast<char>(i % 256), static_cast<char>(i / 256)}; },
  };
  constexpr int kNames = 20000;
  constexpr std::uint64_t kSlots = 1 << 16;
  for (std::size_t f = 0; f < std::size(families); ++f) {
    std::set<std::string> names;
    std::set<std::uint64_t> homes;
    for (int i = 0; i < kNames; ++i)
      if (names.insert(families[f](i)).second) homes.insert(name_hash(families[f](i)) & (kSlots - 1));
    const double random = kSlots * (1 - std::exp(-static_cast<double>(names.size()) / kSlots));
    EXPECT_GE(homes.size(), 0.95 * random) << "family " << f << " of " << names.size() << " names";
  }
}

// Days run in calendar order across the year's end: each takes the latest
// year that puts it on or before the newest log's last change.
TEST(DayLabel, CalendarOrderAcrossTheYearsEnd) {
  const struct {
    std::vector<const char*> logs;  // in the order given
    LocalTime newest;
    std::vector<std::string> days;  // in the order shown, with their years
  } cases[] = {
      {{"QEL0101.LOG", "QEL0118.LOG", "week.txt", "QEL1220.LOG", "QEL1231.LOG"},
       {2025, 1, 19, 0, 0, 0},
       {"Dec 20 2024", "Dec 31 2024", "Jan 1 2025", "Jan 18 2025", "week.txt 0"}},
      {{"QEL0101.LOG", "QEL1231.LOG"}, {2024, 12, 31, 23, 0, 0}, {"Jan 1 2024", "Dec 31 2024"}},
      {{"QEL0229.LOG", "QEL0301.LOG", "QEL0228.LOG"}, {2024, 3, 1, 0, 0, 0},
       {"Feb 28 2024", "Feb 29 2024", "Mar 1 2024"}},
  };
  for (const auto& c : cases) {
    std::vector<DayRow> days;
    for (const char* log : c.logs) days.push_back(log_day(log));
    date_days(days, c.newest);
    std::vector<std::string> shown;
    for (const DayRow& row : days) shown.push_back(row.label + " " + std::to_string(row.year));
    EXPECT_EQ(shown, c.days);
  }
}

// A year of days: the chart names only as many as fit beside each other.
TEST(ReportPage, ThinsTheDayLabelsToFit) {
  for (const int days : {7, 30, 365}) {
    ReportData data;
    for (int d = 0; d < days; ++d) data.days.push_back({"Day " + std::to_string(d), {1}});
    const std::string page = report_html(data);
    const std::string chart = page.substr(0, page.find("</svg>"));
    int labels = 0;
    for (std::size_t at = 0; (at = chart.find("\">Day ", at)) != std::string::npos; ++at) ++labels;
    EXPECT_LE(labels, 60) << days;
    EXPECT_GE(labels, std::min(days, 25)) << days;
  }
}

// A line without verdict words counts as a cascade stopped by NO DOMAIN when
// the recipient's domain file was checked just before: for a recipient with
// an empty domain, the server-wide file (its path with the doubled "\").
TEST(ReportCounts, EveryResultLineOfTheCheckerCounted) {
  const struct {
    std::string log;
    long stopped, other;
  } cases[] = {
      {"Checking Rule File = C:\\Q\\A.TEST\\$default$.QUORVANT\r\n"
       "12:00:00 D1 To: ANN@A.TEST From: JOE@B.TEST Subject: HI\r\n",
       1, 0},
      {"Checking Rule File = C:\\Q\\\\$default$.QUORVANT\r\n"
       "12:00:00 D1 To: ANN@ From: JOE@B.TEST Subject: HI\r\n",
       1, 0},
      {"Checking Rule File = C:\\Q\\A.TEST\\$default$.QUORVANT\r\n"
       "12:00:00 D1 To: ANN@ From: JOE@B.TEST Subject: HI\r\n",
       0, 1},
      {"12:00:00 D1 To: ANN@A.TEST From: JOE@B.TEST Subject: TORN\r\n", 0, 1},
  };
  for (const auto& c : cases) {
    ReportBuilder builder(LocalTime{2025, 1, 1, 0, 0, 0});
    std::FILE* log = file_with(c.log);
    builder.add_log("QEL0101.LOG", log);
    std::fclose(log);
    const ReportData data = builder.finish();
    EXPECT_EQ(data.total.kinds[static_cast<int>(ResultKind::Stopped)], c.stopped) << c.log;
    EXPECT_EQ(data.lines.other, c.other) << c.log;
  }
}

// Logs read two at a time, the second gathered on a thread of its own in
// small pieces, give the report that reading them in turn gives: every kind
// of line, the stopped lines that depend on the checks before them, lines
// torn, too long or without a line end, invalid entries.
TEST(ReportCounts, LogsReadBesideEachOtherAsInTurn) {
  std::mt19937 random(2026);
  // A word and a number below n ("U7"), written so as not to wake a false
  // warning of GCC 12 about "literal" + std::string.
  const auto word = [&](const char* prefix, unsigned n) {
    std::string text = prefix;
    text += std::to_string(random() % n);
    return text;
  };
  const auto log = [&] {
    std::string text;
    for (int n = random() % 400; n > 0; --n) {
      const std::string user = word("U", 30), domain = word("D", 6) + ".TEST";
      const std::string message = join({word("1", 10), ":0", word("", 10), ":00 ", word("ID", 1000), " To: ", user, "@",
                                        domain, " From: ", word("S", 50), "@", word("X", 9), " Subject: HI"});
      switch (random() % 8) {
        case 0:
          text += std::string(kRuleFileTrace) + "C:\\Q\\" + domain + "\\$default$.QUORVANT";
          break;
        case 1:
          text += message;  // stopped, or torn when its domain was not checked
          break;
        case 2:
          text += join({kInvalidEntryTrace, "C:\\Q\\", domain, ".QUORVANT", kLineLabel, word("", 5), kDataLabel,
                        "WHITELIST ", user});
          break;
        case 3:
          text += random() % 2 ? std::string(5000, 'X') : "garbage \x01";
          break;
        default:
          text += message + std::string(kResultWords[random() % kResultKinds]);
      }
      text += random() % 2 ? "\r\n" : "\n";
    }
    if (random() % 2) text += "12:00:00 D9 To: A@B.TEST From: C@D Subject: X Blacklisted-User";
    return text;
  };
  for (int round = 0; round < 20; ++round) {
    std::vector<std::string> logs;
    for (int n = 1 + random() % 5; n > 0; --n) logs.push_back(log());
    // A first log many times longer: the thread that takes the second waits
    // for its turn, and gathers the third meanwhile.
    if (round % 2) {
      while (logs.size() < 3) logs.push_back(log());
      for (int more = 0; more < 30; ++more) logs[0] += log();
    }
    const auto report = [&](bool beside, const ReportReading& reading) {
      ReportBuilder builder(LocalTime{2025, 1, 1, 0, 0, 0}, reading);
      for (std::size_t i = 0; i < logs.size(); ++i) {
        const std::string name = join({"QEL010", std::to_string(i % 3 + 1), ".LOG"});
        std::FILE* file = file_with(logs[i]);
        if (beside) {
          builder.add_log(name, FileHandle(file));
        } else {
          builder.add_log(name, file);
          std::fclose(file);
        }
      }
      return report_text(builder.finish());
    };
    const std::string in_turn = report(false, {});
    for (const ReportReading& reading : {ReportReading{0, 1, 1, 2}, ReportReading{0, 700, 50, 3}, ReportReading{}})
      EXPECT_EQ(report(true, reading), in_turn) << round << " " << reading.ahead_room;
  }
}

TEST(DayLabel, FromTheLogName) {
  EXPECT_EQ(day_label("C:\\Q\\QEL1225.LOG"), "Dec 25");
  EXPECT_EQ(day_label("logs\\qel0101.log"), "Jan 1");
  EXPECT_EQ(day_label("QEL1332.LOG"), "QEL1332.LOG");
  EXPECT_EQ(day_label("QEL12251.LOG"), "QEL12251.LOG");
  EXPECT_EQ(day_label("old\\week.txt"), "week.txt");
}

}  // namespace
