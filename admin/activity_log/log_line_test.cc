// Result lines read back: every line the checker's own code writes, for
// generated envelopes, Subjects and identifiers (long ones reaching the
// line's cuts), parses into what went in; and a table of lines that look
// almost like result lines.
#include "admin/activity_log/log_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "checker/message_check.h"
#include "checker/testing/memory_rules.h"

namespace {

const char* const kSubjectParts[] = {
    "HELLO",    " FROM: X",  " From: X@Y", " SUBJECT: ", " Subject: ", " NO ACTION.", " Whitelisted-User",
    " TO: A@B", "\xe9t\xe9", "  ",         ":",          "@"};

std::string random_address(std::mt19937& random, std::size_t max) {
  static const std::string chars = "ABCZ09.-_=!#%*";
  std::string text(random() % (max + 1), 'A');
  for (char& c : text) c = chars[random() % chars.size()];
  return text;
}

TEST(ResultLine, ParsesWhatTheCheckerWrites) {
  std::mt19937 random(150199);
  // Rule files that give every verdict at every level of the cascade.
  const char* const kFiles[] = {"", "STRICT\r\n", "NO DOMAIN\r\n", "WHITELIST SUBJECT CONTAINS      \r\n",
                                "BLACKLIST FROM @\r\n"};
  for (int round = 0; round < 20000; ++round) {
    Envelope envelope;
    const std::string local = "U" + random_address(random, 40);
    const std::string domain = random_address(random, 57);
    const std::string sender = random() % 5 ? random_address(random, 40) + "@" + random_address(random, 50) : "";
    std::string subject;
    while (subject.size() < 90 && random() % 3) {
      std::string part = kSubjectParts[random() % std::size(kSubjectParts)];
      for (char& c : part) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));  // as the checker has it
      subject += part;
    }
    subject = subject.substr(0, 90);
    if (random() % 10 == 0) subject = " ";
    std::string identifier = random_address(random, random() % 4 ? 12 : 95);
    if (random() % 8 == 0) identifier += " To: X@Y From: Z Subject: W";  // a file name may hold anything
    std::snprintf(envelope.sender, sizeof envelope.sender, "%s", sender.c_str());
    std::snprintf(envelope.recipient, sizeof envelope.recipient, "%s@%s", local.c_str(), domain.c_str());
    std::snprintf(envelope.local_part, sizeof envelope.local_part, "%s", local.c_str());
    std::snprintf(envelope.domain, sizeof envelope.domain, "%s", domain.c_str());

    MemoryRuleSource files;
    files.files["P\\" + domain + "\\" + local + ".QUORVANT"] = kFiles[random() % std::size(kFiles)];
    files.files["P\\" + domain + "\\$default$.QUORVANT"] = kFiles[random() % std::size(kFiles)];
    files.files["P\\\\$default$.QUORVANT"] = kFiles[random() % std::size(kFiles)];
    CheckObserver quiet;
    const MessageCheck check = check_found_envelope("P\\", identifier, envelope, subject, "23:59:07", files, quiet);
    const std::string& line = check.result_line;

    ResultLine r;
    ASSERT_TRUE(parse_result_line(line, r)) << line;
    const std::optional<ResultKind> kind = cascade_result(kCascade[check.files_evaluated - 1], check.decision.result);
    ASSERT_TRUE(kind && r.kind == *kind) << line;
    EXPECT_EQ(r.time, "23:59:07");
    EXPECT_EQ(r.identifier, identifier) << line;
    EXPECT_EQ(r.local_part, local) << line;
    EXPECT_EQ(r.domain, domain) << line;
    // The sender part ends the line at 150 characters, the Subject part at 199.
    const std::size_t before_sender = 9 + identifier.size() + 5 + local.size() + 1 + domain.size() + 7;
    const std::size_t sender_room = before_sender < 150 ? 150 - before_sender : 0;
    EXPECT_EQ(r.sender, sender.substr(0, sender_room)) << line;
    EXPECT_EQ(r.sender_cut, before_sender + sender.size() >= 150) << line;
    const std::size_t at = r.sender.find('@');
    EXPECT_EQ(r.sender_domain, at == std::string_view::npos ? "" : r.sender.substr(at + 1)) << line;
    const std::size_t before_subject = before_sender + r.sender.size() + 10;
    const std::size_t subject_room = before_subject < 199 ? 199 - before_subject : 0;
    EXPECT_EQ(r.subject, subject.substr(0, subject_room)) << line;
    EXPECT_EQ(r.subject_cut, before_subject + subject.size() >= 199) << line;
  }
}

struct Case {
  const char* line;
  bool parses;
  ResultKind kind = ResultKind::NoAction;
  const char* identifier = "";
  const char* sender = "";
  const char* subject = "";
};

const Case kCases[] = {
    {"14:03:59 D1 To: JOE@EXAMPLE.COM From: S@B.EXAMPLE Subject: CHEAP STUFF Blacklisted-Domain", true,
     ResultKind::BlacklistedDomain, "D1", "S@B.EXAMPLE", "CHEAP STUFF"},
    // The Subject may hold the labels and words in upper case.
    {"14:03:59 D1 To: J@X From: A@B Subject: X FROM: Y@Z SUBJECT: BLACKLISTED-USER No Action.", true,
     ResultKind::NoAction, "D1", "A@B", "X FROM: Y@Z SUBJECT: BLACKLISTED-USER"},
    {"14:03:59 D1 To: J@X From:  Subject:  Whitelisted-User", true, ResultKind::WhitelistedUser, "D1", "", ""},
    {"14:03:59 D1 To: J@X From:  Subject:   Whitelisted-User", true, ResultKind::WhitelistedUser, "D1", "", " "},
    {"14:03:59 D1 To: J@X From: A@B Subject: HELLO", true, ResultKind::Stopped, "D1", "A@B", "HELLO"},
    {"14:03:59  To: J@X From: A@B Subject: HELLO No Action.", true, ResultKind::NoAction, "", "A@B", "HELLO"},
    {"14:03:59 my To: file To: J@X From: A@B Subject: HI No Action.", true, ResultKind::NoAction, "my To: file", "A@B",
     "HI"},
    {"14:03:59 D1 Bad Mail From Address ", true, ResultKind::BadSender, "D1"},
    {"14:03:59 D1 Bad Mail To Address ", true, ResultKind::BadRecipient, "D1"},
    {"14:03:59 D1 Mail To missing ", true, ResultKind::NoRecipient, "D1"},
    {"Could not open message file.", true, ResultKind::Unopenable},
    // Not result lines.
    {"14:03:59 D1 To: J@X From: A@B Subject: Hello No Action.", false},  // a lower-case Subject
    {"14:03:59 D1 To: J@X From: A@B Subject: HELLO No Act", false},      // torn in its words
    {"14:03:59 D1 To: J@X From: A B@C Subject: HELLO No Action.", false},
    {"14:03:59 D1 To: J@X From: A@B@C Subject: HELLO No Action.", false},
    {"14:03:59 D1 To: @X From: A@B Subject: HELLO No Action.", false},
    {"14:03:59 D1 To: JX From: A@B Subject: HELLO No Action.", false},
    {"14:03:59 D1 To: J@X@Y From: A@B Subject: HELLO No Action.", false},
    {"14:03:59 D1 To: J@X Subject: HELLO No Action.", false},
    {"14:03:59 D1\tX To: J@X From: A@B Subject: HELLO No Action.", false},
    {"14:03:59 D1 To: J@X From: A@B Subject: HEL\x01LO No Action.", false},
    {"14:03:5 D1 To: J@X From: A@B Subject: HELLO No Action.", false},
    {"Checking Rule File = C:\\Q\\X.QUORVANT", false},
    {"14:03:59 D1 To: J@X From: A@B Subject:", false},
    {"14:03:59", false},
    {"", false},
};

TEST(ResultLine, Table) {
  ResultLine r;  // one for all, as a walk of a log has: no field is left from the line before
  for (const Case& c : kCases) {
    ASSERT_EQ(parse_result_line(c.line, r), c.parses) << c.line;
    if (!c.parses) continue;
    EXPECT_EQ(r.kind, c.kind) << c.line;
    EXPECT_EQ(r.identifier, c.identifier) << c.line;
    EXPECT_EQ(r.sender, c.sender) << c.line;
    EXPECT_EQ(r.subject, c.subject) << c.line;
  }
}

TEST(InvalidEntry, PathMayHoldTheLabels) {
  InvalidEntryLine e;
  ASSERT_TRUE(
      parse_invalid_entry("Invalid entry. File: C:\\A Line: 3 Data: x\\B.QUORVANT Line: 12 Data: WHITLIST X", e));
  EXPECT_EQ(e.file, "C:\\A Line: 3 Data: x\\B.QUORVANT");
  EXPECT_EQ(e.line_number, 12);
  EXPECT_EQ(e.data, "WHITLIST X");
  ASSERT_TRUE(parse_invalid_entry("Invalid entry. File: F Line: 501 Data: ", e));
  EXPECT_EQ(e.data, "");
  EXPECT_FALSE(parse_invalid_entry("Invalid entry. File: F Line: x Data: Y", e));
}

}  // namespace
