#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "admin/lint/lint_file.h"
#include "admin/rule_text/rule_text.h"
#include "admin/testing/admin_run.h"
#include "checker/log_trace.h"
#include "checker/message_check.h"
#include "checker/rule_file.h"
#include "checker/testing/checker_scratch.h"
#include "common/testing/text_model.h"
#include "common/text.h"

namespace {

struct Printed {
  std::string file;  // below the program directory
  int line;
  std::string severity, message, check;
};

class Lint : public CheckerScratch {
 protected:
  // {D} in a file's content stands for the scratch directory's path text.
  void write(const std::string& name, const std::string& content) const { write_file(name, with_dir(content)); }

  // QVADMIN lint with the scratch directory as program directory.
  int lint(std::vector<std::string> words = {}) {
    words.insert(words.begin(), {"QVADMIN", "lint", "--dir", path("")});
    const AdminRun run = run_admin_words(words);
    output = run.out;
    printed.clear();
    std::size_t start = 0;
    for (std::size_t end; (end = output.find('\n', start)) != std::string::npos; start = end + 1) {
      Printed p;
      if (parse(output.substr(start, end - start), p)) printed.push_back(p);
    }
    return run.code;
  }

  // "FILE:LINE: SEVERITY: message [check]", FILE taken below the program directory.
  bool parse(const std::string& text, Printed& p) const {
    std::size_t severity = std::string::npos;
    for (const char* word : {"error", "warning", "note"})
      if ((severity = text.find(std::string(": ") + word + ": ")) != std::string::npos) {
        p.severity = word;
        break;
      }
    const std::size_t colon = severity == std::string::npos ? severity : text.rfind(':', severity - 1);
    const std::size_t bracket = text.rfind(" [");
    if (colon == std::string::npos || bracket == std::string::npos || text.back() != ']') return false;
    // FILE is a native path (the scratch directory's, with "/"); taken in
    // the Windows form of path texts below it.
    p.file = text.substr(0, colon);
    const std::string native = (dir_ / "").string();
    if (p.file.rfind(native, 0) == 0) p.file.erase(0, native.size());
    for (char& c : p.file)
      if (c == '/') c = '\\';
    p.line = std::atoi(text.c_str() + colon + 1);
    const std::size_t message = severity + p.severity.size() + 4;
    p.message = text.substr(message, bracket - message);
    p.check = text.substr(bracket + 2, text.size() - bracket - 3);
    return true;
  }

  std::vector<Printed> of_check(const std::string& check) const {
    std::vector<Printed> found;
    for (const Printed& p : printed)
      if (p.check == check) found.push_back(p);
    return found;
  }

  std::string output;
  std::vector<Printed> printed;
};

// Each check once on a line that shows the trap and once on the line put
// right. The first file is the one the finding is expected in, at `line`
// (0: the check stays quiet everywhere).
struct CheckCase {
  const char* name;
  const char* check;
  std::vector<std::pair<std::string, std::string>> files;
  int line;
  const char* severity = "";
  const char* says = "";  // part of the message
  bool notes = false;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

std::string lines(int count, const std::string& line) {
  std::string text;
  for (int i = 0; i < count; ++i) text += line;
  return text;
}

const char kAnn[] = "ACME.TEST/ANN.QUORVANT";
const char kAcme[] = "ACME.TEST/$default$.QUORVANT";

// Line 501 is read in part: the rest of it is not, but no line begins there.
const std::string kAcrossTheLimit = lines(500, "# filler\r\n") + "STRICT " + std::string(120, 'X') + "\r\n";

const std::vector<CheckCase> kCheckCases = {
    {"UnknownKeyword", "invalid-entry", {{kAnn, "WHITLIST FROM @A.EXAMPLE\r\n"}}, 1, "error", "did you mean WHITELIST?"},
    {"KnownKeyword", "invalid-entry", {{kAnn, "WHITELIST FROM @A.EXAMPLE\r\n"}}, 0},
    {"StrictInAddress", "keyword-in-rule", {{kAnn, "WHITELIST FROM @strictly-business.example\r\n"}}, 1, "error",
     "takes the whole line as STRICT"},
    {"NoKeywordInAddress", "keyword-in-rule", {{kAnn, "WHITELIST FROM @business.example\r\n"}}, 0},
    {"RemarkWithAddress", "several-at",
     {{kAnn, "BLACKLIST FROM @bulk.example   # asked for by ann@acme.test\r\n"}}, 1, "warning",
     "looks only for \"ANN@ACME.TEST\""},
    {"RemarkWithoutAddress", "several-at", {{kAnn, "BLACKLIST FROM @bulk.example   # asked for by Ann\r\n"}}, 0},
    {"StarInAddress", "literal-wildcard", {{kAnn, "BLACKLIST FROM *@bulk.example\r\n"}}, 1, "warning"},
    {"QuestionMarkInSubject", "literal-wildcard", {{kAnn, "BLACKLIST SUBJECT CONTAINS WIN??\r\n"}}, 1, "warning"},
    {"NoWildcard", "literal-wildcard", {{kAnn, "BLACKLIST FROM @bulk.example\r\n"}}, 0},
    {"LineOf99", "long-line", {{kAnn, "# " + std::string(97, 'x') + "\r\nSTRICT\r\n"}}, 1, "warning",
     "line as 2 lines"},
    {"RestOfALongLineOnce", "invalid-entry", {{kAnn, "# " + std::string(240, 'x') + "\r\n"}}, 1, "error",
     "BLACKLIST (and so are 1 more pieces of this line)"},
    {"LineOf98", "long-line", {{kAnn, "# " + std::string(96, 'x') + "\r\nSTRICT\r\n"}}, 0},
    {"RuleOnLine502", "beyond-limit", {{kAnn, lines(501, "# filler\r\n") + "STRICT\r\n"}}, 502, "error"},
    {"RuleOnLine501", "beyond-limit", {{kAnn, lines(500, "# filler\r\n") + "STRICT\r\n# end\r\n"}}, 0},
    {"ZeroBytePieceLetsOneMoreIn", "beyond-limit",
     {{kAnn, lines(500, "# filler\r\n") + std::string("\0\r\n", 3) + "STRICT\r\n"}}, 0},
    {"LineAcrossTheLimit", "beyond-limit", {{kAnn, kAcrossTheLimit}}, 0},
    {"LineAcrossTheLimitIsLong", "long-line", {{kAnn, kAcrossTheLimit}}, 501, "warning", "(only the first 1 "},
    {"TextAfterTab", "tab", {{kAnn, "BLACKLIST FROM @a.example\t# old\r\n"}}, 1, "warning",
     "reads this line as \"BLACKLIST FROM @A.EXAMPLE\""},
    {"SpaceInsteadOfTab", "tab", {{kAnn, "BLACKLIST FROM @a.example # old\r\n"}}, 0},
    {"ByteOrderMark", "encoding", {{kAnn, "\xEF\xBB\xBF# rules\r\nSTRICT\r\n"}}, 1, "error"},
    {"Utf16", "encoding", {{kAnn, std::string("\xFF\xFE#\0\r\0\n\0", 8)}}, 1, "error", "UTF-16"},
    {"ZeroByte", "encoding", {{kAnn, std::string("# rules\r\nSTRICT\0\r\n", 18)}}, 2, "error"},
    {"ControlByte", "encoding", {{kAnn, "# rules\r\nSTRICT\x0b\r\n"}}, 2, "warning", "0x0B"},
    {"CtrlZBeforeTheEnd", "encoding", {{kAnn, "# rules\r\n\x1a\r\nSTRICT\r\n"}}, 2, "warning"},
    {"CtrlZFirst", "encoding", {{kAnn, "\x1a# rules\r\n"}}, 1, "warning", "Ctrl-Z"},
    {"CtrlZInAnUnendedLine", "encoding", {{kAnn, "# rules\r\nSTRICT\x1a\r\n"}}, 2, "warning", "Ctrl-Z"},
    {"PlainText", "encoding", {{kAnn, "# rules\r\nSTRICT\r\n\x1a"}}, 0},
    {"TargetMissing", "redirect-missing", {{kAnn, "REDIRECT ANN {D}NONE.QUORVANT\r\n"}}, 1, "error"},
    {"TargetThere", "redirect-missing",
     {{kAnn, "REDIRECT ANN {D}LISTS\\SHARED.QUORVANT\r\n"}, {"LISTS/SHARED.QUORVANT", "STRICT\r\n"}}, 0},
    {"LoopOfTwo", "redirect-loop",
     {{"B.QUORVANT", "REDIRECT ANN {D}ACME.TEST\\ANN.QUORVANT\r\n"}, {kAnn, "REDIRECT ANN {D}B.QUORVANT\r\n"}}, 1,
     "error", "can come back"},
    {"NoLoop", "redirect-loop",
     {{"B.QUORVANT", "STRICT\r\n"}, {kAnn, "REDIRECT ANN {D}B.QUORVANT\r\n"}}, 0},
    {"StrictThenRedirect", "redirect-after-strict",
     {{kAnn, "STRICT\r\nREDIRECT ANN {D}B.QUORVANT\r\n"}, {"B.QUORVANT", "# empty\r\n"}}, 2, "error"},
    {"RedirectThenStrict", "redirect-after-strict",
     {{kAnn, "REDIRECT ANN {D}B.QUORVANT\r\nSTRICT\r\n"}, {"B.QUORVANT", "# empty\r\n"}}, 0},
    {"StrictNoDomainRedirect", "redirect-after-strict",
     {{kAnn, "STRICT\r\nNO DOMAIN\r\nREDIRECT ANN {D}B.QUORVANT\r\n"}, {"B.QUORVANT", "# empty\r\n"}}, 0},
    {"StrictAndNoDomain", "directive-conflict", {{kAnn, "STRICT\r\nno domain\r\n"}}, 2, "warning"},
    {"StrictTwice", "directive-conflict", {{kAnn, "STRICT\r\nSTRICT\r\n"}}, 2, "warning", "repeated"},
    {"StrictOnce", "directive-conflict", {{kAnn, "STRICT\r\n# STRICT\r\n"}}, 0},
    {"WiderRuleFirst", "shadowed-rule",
     {{kAnn, "BLACKLIST FROM @bulk.example\r\nWHITELIST FROM joe@bulk.example\r\n"}}, 2, "warning",
     "the verdicts differ"},
    {"SameRuleTwice", "shadowed-rule",
     {{kAnn, "BLACKLIST SUBJECT CHEAP STUFF\r\nBLACKLIST SUBJECT CONTAINS CHEAP STUFF\r\n"}}, 2, "warning",
     "the verdicts agree"},
    {"NarrowerRuleFirst", "shadowed-rule",
     {{kAnn, "WHITELIST FROM joe@bulk.example\r\nBLACKLIST FROM @bulk.example\r\n"}}, 0},
    {"AfterRedirectOfTheOneRecipient", "shadowed-rule",
     {{kAnn, "REDIRECT ANN {D}B.QUORVANT\r\nSTRICT\r\n"}, {"B.QUORVANT", "# empty\r\n"}}, 2, "warning"},
    {"AfterRedirectOfTheWholeDomain", "shadowed-rule",
     {{kAcme, "REDIRECT @ACME {D}B.QUORVANT\r\nSTRICT\r\n"}, {"B.QUORVANT", "# empty\r\n"}}, 2, "warning"},
    {"AfterRedirectOfSomeRecipients", "shadowed-rule",
     {{kAcme, "REDIRECT ANN {D}B.QUORVANT\r\nSTRICT\r\n"}, {"B.QUORVANT", "# empty\r\n"}}, 0},
    // B is also reached through the REDIRECT, by recipients of any domain.
    {"RedirectedFileServesOthers", "shadowed-rule",
     {{"OTHER.TEST/B.QUORVANT", "REDIRECT B@OTHER.TEST {D}C.QUORVANT\r\nSTRICT\r\n"},
      {kAnn, "REDIRECT ANN {D}OTHER.TEST\\B.QUORVANT\r\n"},
      {"C.QUORVANT", "# empty\r\n"}},
     0},
    {"TooDeep", "unreachable-file", {{"ACME.TEST/LISTS/X.QUORVANT", "STRICT\r\n"}}, 1, "warning"},
    {"NotAnAddress", "unreachable-file", {{"ACME.TEST/A B.QUORVANT", "STRICT\r\n"}}, 1, "warning"},
    {"DomainOfDots", "unreachable-file", {{".../X.QUORVANT", "STRICT\r\n"}}, 1, "warning"},
    {"NotTheDefault", "unreachable-file", {{"ACME.QUORVANT", "STRICT\r\n"}}, 1, "warning"},
    {"Recipient", "unreachable-file", {{"acme.test/ann.quorvant", "STRICT\r\n"}}, 0},
    {"Domain", "unreachable-file", {{kAcme, "STRICT\r\n"}}, 0},
    {"NamedByRedirect", "unreachable-file",
     {{"LISTS/DEEP/X.QUORVANT", "STRICT\r\n"}, {kAnn, "REDIRECT ANN {D}LISTS\\DEEP\\X.QUORVANT\r\n"}}, 0},
    {"Lookalike", "lookalike-domain", {{kAnn, "WHITELIST FROM @partner.example\r\n"}}, 1, "note",
     "X@PARTNER.EXAMPLE.EVIL.TEST", true},
    {"LookalikeWithoutNotes", "lookalike-domain", {{kAnn, "WHITELIST FROM @partner.example\r\n"}}, 0},
    {"BlacklistHasNoLookalike", "lookalike-domain", {{kAnn, "BLACKLIST FROM @partner.example\r\n"}}, 0, "", "", true},
    {"RegularFile", "unreadable-file", {{kAnn, "STRICT\r\n"}}, 0},
    {"RedirectToTheDaysLog", "redirect-to-log", {{kAnn, "REDIRECT ANN {D}qel1207.log.\r\n"}}, 1, "error",
     "appends its own lines"},
    {"RedirectToALogOfAnotherName", "redirect-to-log",
     {{kAnn, "REDIRECT ANN {D}QEL.LOG\r\n"}, {"QEL.LOG", "STRICT\r\n"}}, 0},
    {"RelativeTarget", "relative-redirect", {{kAnn, "REDIRECT ANN LISTS\\SHARED.QUORVANT\r\n"}}, 1, "warning",
     "--from-dir"},
    {"FullTarget", "relative-redirect", {{kAnn, "REDIRECT ANN {D}B.QUORVANT\r\n"}, {"B.QUORVANT", "# empty\r\n"}}, 0},
    // The loop is said once, at the REDIRECT that closes it, its chain shortened.
    {"LongLoopOnce", "redirect-loop",
     {{"L9.QUORVANT", "REDIRECT @ {D}L0.QUORVANT\r\n"}, {"L0.QUORVANT", "REDIRECT @ {D}L1.QUORVANT\r\n"},
      {"L1.QUORVANT", "REDIRECT @ {D}L2.QUORVANT\r\n"}, {"L2.QUORVANT", "REDIRECT @ {D}L3.QUORVANT\r\n"},
      {"L3.QUORVANT", "REDIRECT @ {D}L4.QUORVANT\r\n"}, {"L4.QUORVANT", "REDIRECT @ {D}L5.QUORVANT\r\n"},
      {"L5.QUORVANT", "REDIRECT @ {D}L6.QUORVANT\r\n"}, {"L6.QUORVANT", "REDIRECT @ {D}L7.QUORVANT\r\n"},
      {"L7.QUORVANT", "REDIRECT @ {D}L8.QUORVANT\r\n"}, {"L8.QUORVANT", "REDIRECT @ {D}L9.QUORVANT\r\n"}},
     1, "error", "/L2.QUORVANT -> ... 6 more ... -> /"},
};

class LintChecks : public Lint, public testing::WithParamInterface<CheckCase> {};

TEST_P(LintChecks, FireOnTheTrapOnly) {
  const CheckCase& c = GetParam();
  for (const auto& [name, content] : c.files) write(name, content);
  std::vector<std::string> words;
  if (c.notes) words.push_back("--notes");
  // The exit code follows the findings printed: 1 for an error, and with
  // --werror for a warning too.
  const auto printed_any = [&](std::initializer_list<const char*> severities) {
    for (const Printed& p : printed)
      for (const char* severity : severities)
        if (p.severity == severity) return true;
    return false;
  };
  words.push_back("--werror");
  const int werror_code = lint(words);
  EXPECT_EQ(werror_code, printed_any({"error", "warning"}) ? 1 : 0) << output;
  words.pop_back();
  const int code = lint(words);
  EXPECT_EQ(code, printed_any({"error"}) ? 1 : 0) << output;
  const std::vector<Printed> found = of_check(c.check);
  if (c.line == 0) {
    EXPECT_TRUE(found.empty()) << output;
    return;
  }
  ASSERT_EQ(found.size(), 1u) << output;
  std::string expected_file = c.files[0].first;
  for (char& ch : expected_file)
    if (ch == '/') ch = '\\';
  EXPECT_EQ(found[0].file, expected_file) << output;
  EXPECT_EQ(found[0].line, c.line) << output;
  EXPECT_EQ(found[0].severity, c.severity) << output;
  EXPECT_NE(found[0].message.find(c.says), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(Cases, LintChecks, testing::ValuesIn(kCheckCases));

// Lint in a directory without rule files says so: all is not well.
TEST_F(Lint, WarnsOfADirectoryWithoutRuleFiles) {
  write("notes.txt", "STRICT\r\n");
  EXPECT_EQ(lint(), 0);
  EXPECT_EQ(output, (dir_ / "").string() +
                        ": warning: no rule file (*.QUORVANT) here or in its folders: is this QUORVANT's program "
                        "directory? (--dir names it) [no-rule-files]\n0 errors, 1 warning in 0 files\n");
  EXPECT_EQ(lint({"--werror"}), 1);
  write("ACME.TEST/ANN.QUORVANT", "STRICT\r\n");
  lint();
  EXPECT_EQ(output.find("no-rule-files"), std::string::npos) << output;
}

TEST_F(Lint, DirectoryWhereTheCheckerLooksForAFile) {
  write("ACME.TEST/ANN.QUORVANT/X.TXT", "");
  write("ACME.QUORVANT/$default$.QUORVANT", "# a domain folder may end so\r\n");
  EXPECT_EQ(lint(), 1);
  ASSERT_EQ(of_check("unreadable-file").size(), 1u) << output;
  EXPECT_EQ(of_check("unreadable-file")[0].file, "ACME.TEST\\ANN.QUORVANT");
  EXPECT_EQ(printed.size(), 1u) << output;
}

TEST_F(Lint, TallyAndExitCodes) {
  write(kAnn, "STRICT\r\nSTRICT\r\n");
  EXPECT_EQ(lint(), 0);
  EXPECT_EQ(output.substr(output.rfind('\n', output.size() - 2) + 1), "0 errors, 1 warning in 1 file\n");
  EXPECT_EQ(lint({"--werror"}), 1);
  write(kAcme, "WHITLIST FROM @X\r\n");
  EXPECT_EQ(lint(), 1);
  EXPECT_NE(output.find("\n1 error, 1 warning in 2 files\n"), std::string::npos) << output;
  EXPECT_EQ(lint({"--bogus"}), 2);
  EXPECT_EQ(lint({"--dir"}), 2);
}

TEST(InvalidEntryMessage, SaysWhyWithTheKeywordMeant) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "empty line"},
      {"   ", "empty line"},
      {" # NOTE", "begins with a space"},
      {"FROM @X", "begins with FROM"},
      {"JUNK", "unknown keyword \"JUNK\": a rule begins"},
      {"W @X", "unknown keyword \"W\": a rule begins"},
      {"BLAKCLIST FROM @X", "(did you mean BLACKLIST?)"},
      {"STRIKT", "(did you mean STRICT?)"},
      {"REDIRCT BOB X", "(did you mean REDIRECT?)"},
      {"NO DOMIAN", "(did you mean NO DOMAIN?)"},
      {"SUBJET HELLO", "(did you mean SUBJECT?)"},
      {"WHITELIST  FROM @X", "not exactly one character between WHITELIST and FROM"},
      {"WHITELIST FORM @X", "\"FORM\" (did you mean FROM?)"},
      {"WHITELIST FROM X", "without \"@\""},
      {"WHITELIST SUBJECT CONTAINS HI", "\"HI\" is shorter than 5"},
      {"REDIRECT BOB", "three words"},
  };
  for (const auto& [text, says] : cases) {
    RuleLine line;
    copy_text(line.text, sizeof line.text, text);
    const std::string message = invalid_entry_message(line, invalid_reason(line.text));
    EXPECT_NE(message.find(says), std::string::npos) << text << ": " << message;
  }
}

// --- oracles: lint against the checker's own activity log -------------------

// Lines that reach every way of reading and taking a line.
std::string generated_rule_file(std::mt19937& rng, int lines) {
  const std::vector<std::string> kinds = {
      "WHITELIST FROM @A.EXAMPLE", "whitlist from @b.example", "BLACKLIST SUBJECT CONTAINS OFFER", "STRICT",
      "NO DOMAIN", "REDIRECT BOB {D}NONE.QUORVANT", "REDIRECT @X", " # indented", "# comment", "", "   ",
      "BLACKLIST  FROM @C.EXAMPLE", "BLACKLIST FROM D", "WHITELIST SUBJECT HI", "WHITELIST TO @E",
      "BLACKLIST FROM\t@F.EXAMPLE", std::string("\0# zero", 7), std::string("STRICT\0X", 8), "JUNK\x0bX",
      "BLACKLIST SUBJECT " + std::string(85, 'Q') + "REST", "# " + std::string(97, 'x'),
      std::string(250, 'Z'), "WHITELIST FROM @G.EXAMPLE # by h@i.example",
  };
  std::string text;
  for (int i = 0; i < lines; ++i) text += kinds[rng() % kinds.size()] + (rng() % 4 ? "\r\n" : "\n");
  return text;
}

class LintOracle : public Lint {
 protected:
  // The counters of the "Invalid entry" lines QUORVANT's log holds for the
  // rule file ANN.QUORVANT when it checks a message to ANN@ACME.TEST from
  // nobody (no sender, no Subject: no rule can hit, every line is read).
  std::set<int> logged_invalid_entries() {
    write("SPOOL/_1.~MD", "R<ann@acme.test>\r\n");
    write("SPOOL/D1.SMD", "\r\nbody\r\n");
    std::filesystem::remove(dir_ / "LOG.TXT");
    LogTrace log = trace(LogLevel::Mid);
    DiskRuleSource files;
    check_message(path(""), path("SPOOL\\D1.SMD").c_str(), "00:00:00", files, log);
    std::set<int> counters;
    const std::string text = log_text();
    const std::string entry = "ANN.QUORVANT Line: ";
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::size_t at = text.find(entry, start);
      if (text.compare(start, 21, "Invalid entry. File: ") == 0 && at < end)
        counters.insert(std::atoi(text.c_str() + at + entry.size()));
    }
    return counters;
  }
};

TEST_F(LintOracle, InvalidEntriesAreTheLinesTheCheckerLogs) {
  std::mt19937 rng(7);
  for (int round = 0; round < 40; ++round) {
    const std::string rules = generated_rule_file(rng, 1 + static_cast<int>(rng() % 40));
    write(kAnn, rules);
    FileLint lint;
    ASSERT_TRUE(lint_rule_file(path("ACME.TEST\\ANN.QUORVANT"), FileLintOptions{}, lint));
    // Editor lines from a plain model of the reading.
    std::map<int, int> editor_line;
    int counter = 0, line = 1;
    for (const std::string& piece : text_pieces(rules)) {
      editor_line[++counter] = line;
      if (piece.back() == '\n') ++line;
    }
    std::set<int> found, logged;
    for (const Finding& f : lint.findings)
      if (std::string(f.check) == "invalid-entry") {
        found.insert(f.line);
        EXPECT_EQ(f.line, editor_line[f.counter]) << rules;
      }
    for (int counter : logged_invalid_entries()) logged.insert(editor_line[counter]);
    EXPECT_EQ(found, logged) << rules;
  }
}

// Every line begins with its own line number and is invalid, so the log shows
// which lines the checker read and how many pieces each gave.
TEST_F(LintOracle, LineLimitAndLongLinesAgreeWithTheLog) {
  std::mt19937 rng(11);
  for (int round = 0; round < 12; ++round) {
    std::string rules;
    const int count = 480 + static_cast<int>(rng() % 40);
    for (int n = 1; n <= count; ++n) {
      const int shape = static_cast<int>(rng() % 10);
      if (shape == 0) {
        rules.append("\0SKIPPED", 8);
      } else {
        rules += 'L';
        rules += std::to_string(n);
        rules.append(shape == 1 ? 90 + rng() % 200 : 3, 'X');
      }
      rules += "\r\n";
    }
    write(kAnn, rules);
    ASSERT_EQ(lint(), 1);
    const std::set<int> logged = logged_invalid_entries();
    // What the log tells: the pieces read, in order, and the lines they began.
    std::map<int, int> pieces_of_line;  // editor line -> pieces read
    std::vector<std::string> as_read;
    for (const std::string& piece : text_pieces(rules)) as_read.push_back(piece);
    int line = 1, first_unread = 0;
    for (std::size_t c = 1; c <= as_read.size(); ++c) {
      const bool starts = c == 1 || as_read[c - 2].back() == '\n';
      if (starts && c > 1) ++line;
      if (logged.count(static_cast<int>(c))) {
        ++pieces_of_line[line];
      } else if (starts && as_read[c - 1][0] != '\0' && !first_unread &&
                 c > static_cast<std::size_t>(*logged.rbegin())) {
        first_unread = line;
      }
    }
    const std::vector<Printed> beyond = of_check("beyond-limit");
    ASSERT_EQ(beyond.size(), first_unread ? 1u : 0u) << output;
    if (first_unread) {
      EXPECT_EQ(beyond[0].line, first_unread);
    }
    for (const Printed& p : of_check("long-line")) {
      ASSERT_TRUE(pieces_of_line.count(p.line)) << p.message;
      const std::string reads_as = "line as " + std::to_string(pieces_of_line[p.line]) + " lines";
      if (p.message.find("(only the first") == std::string::npos) {
        EXPECT_NE(p.message.find(reads_as), std::string::npos) << p.message;
      }
    }
    for (const auto& [l, pieces] : pieces_of_line) {
      int long_lines = 0;
      for (const Printed& p : printed) long_lines += p.check == "long-line" && p.line == l;
      EXPECT_EQ(long_lines, pieces > 1 ? 1 : 0) << "line " << l;
    }
  }
}

// A chain of REDIRECTs through n + 1 files: lint says it goes too deep
// exactly when the checker's engine refuses a REDIRECT of it.
TEST_F(Lint, RedirectDepthAgreesWithTheEngine) {
  class DepthWatch : public CheckObserver {
   public:
    bool too_deep = false;
    void redirect_too_deep(const char*, const RuleLine&, const char*) override { too_deep = true; }
  };
  for (int n : {15, 16, 17, 18}) {
    std::filesystem::remove_all(dir_);
    const auto name = [](int i) { return std::string("C").append(std::to_string(i)).append(".QUORVANT"); };
    write(kAnn, "REDIRECT ANN {D}" + name(1) + "\r\n");
    for (int i = 1; i < n; ++i) write(name(i), "REDIRECT @ {D}" + name(i + 1) + "\r\n");
    write(name(n), "STRICT\r\n");
    DepthWatch watch;
    DiskRuleSource files;
    evaluate_rule_file(path("ACME.TEST\\ANN.QUORVANT").c_str(), RuleInputs{"", "", "ANN@ACME.TEST"}, files, watch);
    lint();
    EXPECT_EQ(!of_check("redirect-loop").empty(), watch.too_deep) << n << "\n" << output;
  }
}

}  // namespace
