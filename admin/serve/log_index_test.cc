// The index against a plain reading of the same logs: the logs of three days
// are written in random pieces (lines cut anywhere, as a reader may see a log
// the checker is appending to), the index refreshed after each; then every
// query must give what filtering the lines of a whole reading (LogWalk, the
// reader replay and report use) gives, counts, order and pages alike.
#include "admin/serve/log_index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/testing/scratch.h"
#include "common/text.h"

namespace {

const char* const kRecipients[] = {"ANN@EXAMPLE.ORG", "BOB@EXAMPLE.ORG", "ANN@A.TEST", "JOE@B.TEST", "X@EXAMPLE.ORGS"};
const char* const kSenders[] = {"JOE@EXAMPLE.COM", "SPAM@BULK.EXAMPLE", "", "A@EXAMPLE.ORG", "NEWS@LIST.EXAMPLE.COM"};
const char* const kSubjects[] = {"HELLO", "CHEAP STUFF", "", "RE: HELLO THERE", "FROM: A@B SUBJECT: X", "LUNCH"};

std::string random_line(std::mt19937& random, int n) {
  const std::string time = "12:00:" + std::to_string(10 + n % 50) + " D" + std::to_string(n);
  const ResultKind kind = static_cast<ResultKind>(random() % kResultKinds);
  const std::string recipient = kRecipients[random() % std::size(kRecipients)];
  switch (random() % 8) {
    case 0:
      return "Checking Rule File = C:\\Q\\" + recipient.substr(recipient.find('@') + 1) + "\\$default$.QUORVANT";
    case 1:
      return random() % 2 ? "Invalid entry. File: C:\\Q\\X.QUORVANT Line: 3 Data: WHITLIST" : "junk \x01\x02";
    default:
      break;
  }
  if (kind == ResultKind::Unopenable) return std::string(result_words(kind));
  if (!result_has_message(kind)) return time + std::string(result_words(kind));
  return time + " To: " + recipient + " From: " + kSenders[random() % std::size(kSenders)] +
         " Subject: " + kSubjects[random() % std::size(kSubjects)] + std::string(result_words(kind));
}

struct Found {
  std::string log;
  std::uint64_t offset;
  ResultKind kind;
  std::string recipient, sender, subject;
};

class Index : public ScratchDir {
 protected:
  // Every result line of the logs, newest first, as a whole reading finds them.
  std::vector<Found> reference(const std::vector<std::string>& names) {
    std::vector<Found> all;
    for (const std::string& name : names) {
      std::FILE* file = host_open_read(path(name).c_str());
      if (!file) continue;
      std::vector<Found> day;
      LogWalk walk(file);
      for (LogWalk::Item item; (item = walk.next()) != LogWalk::Item::End;)
        if (item == LogWalk::Item::Result && walk.line_ended()) {
          const ResultLine& r = walk.result();
          day.push_back({name, walk.line_offset(), r.kind, std::string(r.recipient), std::string(r.sender),
                         std::string(r.subject)});
        }
      std::fclose(file);
      all.insert(all.end(), day.rbegin(), day.rend());
    }
    return all;
  }

  static bool passes(const Found& f, const ActivityFilter& q) {
    const auto domain = [](const std::string& a) { return a.substr(a.rfind('@') + 1); };
    const auto bare = [](std::string d) { return upper_case(d[0] == '@' ? d.substr(1) : d); };
    if (!q.log.empty() && q.log != f.log) return false;
    const bool any = !q.recipient.empty() || !q.recipient_domain.empty() || !q.sender.empty() ||
                     !q.sender_domain.empty() || !q.subject.empty();
    if (any && !result_has_message(f.kind)) return false;
    if (f.recipient.find(upper_case(q.recipient)) == std::string::npos) return false;
    if (f.sender.find(upper_case(q.sender)) == std::string::npos) return false;
    if (f.subject.find(upper_case(q.subject)) == std::string::npos) return false;
    if (!q.recipient_domain.empty() && domain(f.recipient) != bare(q.recipient_domain)) return false;
    if (!q.sender_domain.empty() &&
        (f.sender.find('@') == std::string::npos ? "" : domain(f.sender)) != bare(q.sender_domain))
      return false;
    return true;
  }
};

TEST_F(Index, FollowsGrowingLogsAsAWholeReadingSeesThem) {
  std::mt19937 random(20240302);
  const LocalTime today{2024, 3, 2, 9, 0, 0};
  const std::vector<std::string> names = {"QEL0302.LOG", "QEL0301.LOG", "QEL0229.LOG"};  // a leap day
  LogIndex index(path(""), 3, random());
  // The logs as they will end; written piece by piece.
  std::vector<std::string> final(names.size());
  int n = 0;
  for (std::string& log : final)
    for (int i = 0; i < 400; ++i) log += random_line(random, n++) + (random() % 5 ? "\r\n" : "\n");
  final[0] += "12:59:59 D9 To: ANN@EXAMPLE.ORG From: A Subject: NOT YET WRI";  // being written
  std::vector<std::size_t> written(names.size(), 0);
  index.refresh(today);
  for (bool more = true; more;) {
    more = false;
    for (std::size_t d = 0; d < names.size(); ++d) {
      written[d] = std::min(final[d].size(), written[d] + random() % 900);
      write_file(names[d], final[d].substr(0, written[d]));
      more = more || written[d] < final[d].size();
    }
    index.refresh(today);
  }
  const std::vector<Found> all = reference(names);
  ASSERT_GT(all.size(), 600u);
  EXPECT_EQ(index.messages(), all.size());

  std::vector<ActivityFilter> filters(3);
  filters[1].log = "QEL0301.LOG";
  filters[2].kinds = {ResultKind::BlacklistedDomain};
  const std::string texts[] = {"", "ann", "@example.org", "EXAMPLE.ORG", "example.com", "hello", "b", "nobody"};
  for (int i = 0; i < 200; ++i) {
    ActivityFilter q;
    if (random() % 4 == 0) q.log = names[random() % names.size()];
    if (random() % 3 == 0) q.kinds = {ResultKind::NoAction, static_cast<ResultKind>(random() % kResultKinds)};
    std::string* fields[] = {&q.recipient, &q.recipient_domain, &q.sender, &q.sender_domain, &q.subject};
    for (std::string* field : fields)
      if (random() % 3 == 0) *field = texts[random() % std::size(texts)];
    filters.push_back(q);
  }
  for (const ActivityFilter& q : filters) {
    std::array<long, kResultKinds> kinds{};
    std::vector<const Found*> shown;
    for (const Found& f : all) {
      if (!passes(f, q)) continue;
      ++kinds[static_cast<int>(f.kind)];
      if (q.kinds.empty() || std::count(q.kinds.begin(), q.kinds.end(), f.kind)) shown.push_back(&f);
    }
    const std::size_t first = random() % (shown.size() + 2);
    const ActivityAnswer answer = index.query(q, Scope::everything(), first, 25);
    const std::string what = q.log + "|" + q.recipient + "|" + q.recipient_domain + "|" + q.sender + "|" +
                             q.sender_domain + "|" + q.subject + "|" + std::to_string(q.kinds.size());
    ASSERT_EQ(answer.kinds, kinds) << what;
    ASSERT_EQ(answer.matched, static_cast<long>(shown.size())) << what;
    ASSERT_EQ(answer.lines.size(), std::min<std::size_t>(25, shown.size() - std::min(first, shown.size()))) << what;
    for (std::size_t k = 0; k < answer.lines.size(); ++k) {
      const Found& want = *shown[first + k];
      EXPECT_EQ(answer.lines[k].log, want.log) << what;
      EXPECT_EQ(answer.lines[k].offset, want.offset) << what;
      EXPECT_EQ(answer.lines[k].recipient, want.recipient) << what;
      EXPECT_EQ(answer.lines[k].subject, want.subject) << what;
    }
  }

  // A message is found at the start of its line, nowhere else.
  for (const Found& f : all) {
    const std::optional<LoggedLine> line = index.message(f.log, f.offset);
    ASSERT_TRUE(line) << f.log << " " << f.offset;
    EXPECT_EQ(line->kind, f.kind);
    EXPECT_EQ(line->sender, f.sender);
    EXPECT_FALSE(index.message(f.log, f.offset + 1));
  }
  EXPECT_FALSE(index.message("QEL0228.LOG", 0));
}

TEST_F(Index, TakesInTheNewDayAndDropsTheOldest) {
  write_file("QEL0301.LOG", "12:00:00 D1 To: ANN@A.TEST From: B@C Subject: X No Action.\r\n");
  write_file("QEL0302.LOG", "12:00:00 D2 To: ANN@A.TEST From: B@C Subject: Y No Action.\r\n");
  LogIndex index(path(""), 2, 7);
  index.refresh({2024, 3, 2, 23, 59, 59});
  EXPECT_EQ(index.messages(), 2u);
  write_file("QEL0303.LOG", "00:00:01 D3 To: BOB@A.TEST From: B@C Subject: Z No Action.\r\n");
  index.refresh({2024, 3, 3, 0, 0, 1});
  const ActivityAnswer answer = index.query({}, Scope::everything(), 0, 10);
  ASSERT_EQ(answer.lines.size(), 2u);
  EXPECT_EQ(answer.lines[0].identifier, "D3");
  EXPECT_EQ(answer.lines[1].identifier, "D2");
  // A log cut short (rewritten) is read again from its start; one removed is forgotten.
  write_file("QEL0303.LOG", "");
  std::filesystem::remove(dir_ / "QEL0302.LOG");
  index.refresh({2024, 3, 3, 0, 0, 2});
  EXPECT_EQ(index.messages(), 0u);
}

}  // namespace
