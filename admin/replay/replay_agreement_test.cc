// Replay's compiled rule files against the checker's own cascade, on
// generated rule trees and messages: the same verdict words and the same
// deciding file, line and counter for every message. The trees are made to
// trip the compiled form: REDIRECTs before and after the first rule that
// hits, STRICT and NO DOMAIN around them, rules past the 501st line, long
// lines read in pieces, zero bytes, empty SUBJECT texts, loops, files named
// through the live directory.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "admin/replay/replay_rules.h"
#include "admin/replay/testing/replay_reference.h"
#include "checker/testing/memory_rules.h"

namespace {

const char* const kDomains[] = {"EXAMPLE.ORG", "A.TEST"};
const char* const kUsers[] = {"ANN", "BOB", "JOE"};
const char* const kFromTexts[] = {"@EXAMPLE.COM",
                                  "JOE@EXAMPLE.COM",
                                  "BOB@A.TEST",
                                  "@",
                                  "SPAM",
                                  "X@SPAM.TEST",
                                  "<SPAMMER@BULK.EXAMPLE> OLD ENTRY",
                                  "A@B C@EXAMPLE.COM",
                                  "@EXAMPLE.COM.EVIL",
                                  "NOBODY@NOWHERE"};
const char* const kSubjectTexts[] = {"HELLO", "CHEAP STUFF", "PROJECT X", "HELLO  ", "      ",
                                     "  HEL", "LOTTERY",     "RE: HE",    "HI",      "X"};
// Domain forms apply when they occur in the recipient, address forms when
// the recipient begins with them.
const char* const kRedirectTargets[] = {"@EXAMPLE.ORG", "@A.TEST", "@A", "AN", "JO", "NN", "EXAMPLE", "BOB@A.TEST"};
const char* const kSenders[] = {
    "JOE@EXAMPLE.COM",         "BOB@A.TEST",    "X@SPAM.TEST",        "", "@", "SPAMMER@BULK.EXAMPLE",
    "BIGJOE@EXAMPLE.COM.EVIL", "C@EXAMPLE.COM", "NOBODY@NOWHERE.TEST"};
const char* const kSubjects[] = {"HELLO THERE",    "", " ", "CHEAP STUFF NOW", "PROJECT X", "RE: HELLO  ",
                                 "LOTTERY WINNER", "X"};

struct Generator {
  std::mt19937 random;
  std::string named;  // the program directory as REDIRECT words name it

  std::size_t pick(std::size_t n) { return random() % n; }
  template <std::size_t N>
  const char* any(const char* const (&items)[N]) {
    return items[pick(N)];
  }

  std::string redirect_target_file() {
    switch (pick(4)) {
      case 0:
        return named + "SHARED\\T1.QUORVANT";
      case 1:
        return "T2.QUORVANT";  // relative: as the current directory has it
      case 2:
        return named + "SHARED\\LOOP.QUORVANT";
      default:
        return named + "SHARED\\MISSING.QUORVANT";
    }
  }

  std::string line() {
    const char* list = pick(2) ? "WHITELIST" : "BLACKLIST";
    switch (pick(24)) {
      case 0:
      case 1:
      case 2:
      case 3:
      case 4:
        return std::string(list) + " FROM " + any(kFromTexts);
      case 5:
      case 6:
      case 7:
      case 8:
        return std::string(list) + " SUBJECT CONTAINS " + any(kSubjectTexts);
      case 9:
        return std::string(list) + " SUBJECT " + any(kSubjectTexts);
      case 10:
        return "STRICT";
      case 11:
        return "NO DOMAIN";
      case 12:
      case 13:
        return std::string("REDIRECT ") + any(kRedirectTargets) + " " + redirect_target_file();
      case 14:
        return "redirect @example.org " + named + "shared\\t1.quorvant";  // read in upper case
      case 15:
        return "REDIRECT ONLYTWO";
      case 16:
        return "# comment";
      case 17:
        return pick(2) ? "" : " WHITELIST FROM JOE@EXAMPLE.COM";
      case 18:
        return std::string(list) + " FROM STRICTLY@EXAMPLE.COM";  // the keyword anywhere
      case 19:
        return std::string(list) + " FROM " + std::string(85 + pick(30), 'A') + "@EXAMPLE.COM";  // pieces
      case 20:
        return std::string(1, '\0') + "junk";
      case 21:
        return std::string(list) + " FROM\tJOE@EXAMPLE.COM";
      case 22:
        return "WHITLIST FROM JOE@EXAMPLE.COM";
      default:
        return std::string(list) + "-SUBJECT HELLO";
    }
  }

  std::string file() {
    std::string text;
    // Mostly short files; some reach past the line limit.
    const bool long_file = pick(8) == 0;
    const std::size_t lines = long_file ? 495 + pick(12) : pick(12);
    for (std::size_t i = 0; i < lines; ++i) {
      // Around the line limit: pieces that begin with a zero byte, which
      // are counted but let one more line be read.
      std::string l = long_file && i < 490 ? "# filler" : long_file && pick(3) == 0 ? std::string(1, '\0') : line();
      text += l;
      switch (pick(6)) {
        case 0:
          text += "\n";
          break;
        case 1:
          text += "\r";  // a CR alone stays in the line
          break;
        default:
          text += "\r\n";
      }
    }
    if (pick(20) == 0) text.insert(pick(text.size() + 1), "\x1a");
    return text;
  }

  // The tree below the directory files are stored under.
  void tree(MemoryRuleSource& source, const std::string& dir) {
    for (const char* domain : kDomains) {
      if (pick(4)) source.files[dir + domain + "\\$default$.QUORVANT"] = file();
      for (const char* user : kUsers)
        if (pick(2)) source.files[dir + domain + "\\" + user + ".QUORVANT"] = file();
    }
    if (pick(5)) source.files[dir + "\\$default$.QUORVANT"] = file();
    source.files[dir + "SHARED\\T1.QUORVANT"] = file();
    source.files["T2.QUORVANT"] = file();
    source.files[dir + "SHARED\\LOOP.QUORVANT"] = file() + "REDIRECT @ " + named + "SHARED\\LOOP.QUORVANT\r\n";
  }

  std::string recipient() {
    if (pick(10) == 0) return "ZED@NOWHERE.TEST";
    if (pick(10) == 0) return "JOEY@EXAMPLE.ORG";
    return std::string(any(kUsers)) + "@" + any(kDomains);
  }
};

struct Message {
  std::string recipient, sender, subject;
  ReplayMessage view() const {
    const std::size_t at = recipient.find('@');
    return {recipient, std::string_view(recipient).substr(0, at), std::string_view(recipient).substr(at + 1), sender,
            subject};
  }
};

std::string show(const Message& m) {
  return "To: " + m.recipient + " From: " + m.sender + " Subject: [" + m.subject + "]";
}

void expect_same(ReplayRules& rules, RuleSource& reference_files, const std::string& top, const Message& m,
                 const std::string& context) {
  const ReplayDecision& fast = rules.decide(m.view());
  const ReferenceDecision want = checker_decision(top, m.view(), reference_files);
  ASSERT_EQ(result_name(fast.kind), std::string(result_name(want.kind))) << context << show(m);
  ASSERT_EQ(static_cast<int>(fast.by), static_cast<int>(want.by)) << context << show(m);
  ASSERT_EQ(fast.file ? *fast.file : std::string(), want.file) << context << show(m);
  ASSERT_EQ(fast.editor_line, want.editor_line) << context << show(m);
  ASSERT_EQ(fast.counter, want.counter) << context << show(m);
}

TEST(ReplayAgreement, GeneratedTrees) {
  Generator g{std::mt19937(20041109), "C:\\Q\\"};
  for (int round = 0; round < 600; ++round) {
    MemoryRuleSource source;
    g.tree(source, g.named);
    ReplayRules rules(source, g.named, {});
    if (round % 5 == 0) rules.set_budget(1);  // everything dropped and read again for every recipient
    if (round % 5 == 1) rules.set_dense_limit(0);  // every matcher in its sparse form
    for (int i = 0; i < 40; ++i) {
      const Message m{g.recipient(), g.any(kSenders), g.any(kSubjects)};
      expect_same(rules, source, g.named, m, "round " + std::to_string(round) + ": ");
    }
  }
}

// A candidate tree below another directory, whose REDIRECT lines name the
// live one: replay reads it as the checker would read it once it is live.
TEST(ReplayAgreement, CandidateTreeReadAsLive) {
  const std::string live = "C:\\LIVE\\", candidate = "D:\\NEW\\";
  Generator g{std::mt19937(7), live};
  for (int round = 0; round < 300; ++round) {
    MemoryRuleSource stored, deployed;
    g.tree(stored, candidate);
    // Once live, the tree is read under both names.
    deployed.files = stored.files;
    for (const auto& [path, bytes] : stored.files)
      if (path.starts_with(candidate)) deployed.files[live + path.substr(candidate.size())] = bytes;
    ReplayRules rules(stored, live, DirectoryMap{live, candidate});
    for (int i = 0; i < 40; ++i) {
      const Message m{g.recipient(), g.any(kSenders), g.any(kSubjects)};
      expect_same(rules, deployed, live, m, "round " + std::to_string(round) + ": ");
    }
  }
}

// Files made for the edges that generated trees reach only now and then.
TEST(ReplayAgreement, Edges) {
  auto lines = [](int n, const std::string& line) {
    std::string text;
    for (int i = 0; i < n; ++i) text += line + "\r\n";
    return text;
  };
  const std::string hit = "BLACKLIST FROM @EXAMPLE.COM\r\n";
  const std::string files[] = {
      lines(500, "# filler") + hit,                             // line 501: read
      lines(501, "# filler") + hit,                             // line 502: never read
      lines(500, "# filler") + std::string("\0\r\n", 3) + hit,  // a zero piece at the limit lets one more in
      lines(499, "# filler") + std::string("\0x\r\n", 4) + "STRICT\r\n" + hit,
      "STRICT\r\nREDIRECT @EXAMPLE.ORG C:\\Q\\T.QUORVANT\r\n" + hit,
      "REDIRECT NN C:\\Q\\T.QUORVANT\r\nNO DOMAIN\r\n",
      "NO DOMAIN\r\nREDIRECT ANN C:\\Q\\MISSING.QUORVANT\r\n" + hit,
      "WHITELIST SUBJECT CONTAINS      \r\nREDIRECT ANN C:\\Q\\T.QUORVANT\r\n",
      "REDIRECT ANN C:\\Q\\T.QUORVANT\r\nWHITELIST SUBJECT CONTAINS      \r\n",
      "BLACKLIST FROM " + std::string(84, 'A') + "@EXAMPLE.COM\r\nWHITELIST FROM JOE@\r\n",
  };
  for (const std::string& file : files) {
    MemoryRuleSource source;
    source.files["C:\\Q\\EXAMPLE.ORG\\ANN.QUORVANT"] = file;
    source.files["C:\\Q\\T.QUORVANT"] = "WHITELIST FROM JOE@EXAMPLE.COM\r\n";
    ReplayRules rules(source, "C:\\Q\\", {});
    for (const char* subject : {"", " ", "HELLO"})
      expect_same(rules, source, "C:\\Q\\", Message{"ANN@EXAMPLE.ORG", "JOE@EXAMPLE.COM", subject}, file.substr(0, 60));
  }
}

// Every file is read from the source once, however many messages need it.
TEST(ReplayAgreement, FilesReadOnce) {
  Generator g{std::mt19937(3), "C:\\Q\\"};
  MemoryRuleSource source;
  g.tree(source, g.named);
  ReplayRules rules(source, g.named, {});
  for (int i = 0; i < 2000; ++i) rules.decide(Message{g.recipient(), g.any(kSenders), g.any(kSubjects)}.view());
  EXPECT_LE(source.opened, static_cast<int>(source.files.size()));
}

}  // namespace
