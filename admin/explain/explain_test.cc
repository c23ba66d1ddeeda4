#include "admin/explain/explain.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "admin/testing/admin_run.h"
#include "checker/testing/checker_scratch.h"

namespace {

class Explain : public CheckerScratch {
 protected:
  // Runs explain --dir on the scratch directory with the words; gives the
  // exit code and fills out with both standard output and standard error.
  int explain(std::vector<std::string> words, std::string& out) {
    words.insert(words.begin(), {"QVADMIN", "explain", "--dir", path("")});
    const AdminRun run = run_admin_words(words);
    out = run.out + run.err;
    return run.code;
  }
};

// Each explanation names the trap the line falls into, and marks the line
// that --quiet names as deciding.
TEST_F(Explain, NamesTheTrapAndMarksTheDecidingLine) {
  const struct {
    std::string rules;  // of the domain EXAMPLE.ORG
    std::string subject;
    int code;
    std::string says;
  } cases[] = {
      {"WHITELIST FROM @STRICTLY-BUSINESS.EXAMPLE\n", "HELLO", 100, "the word STRICT counts anywhere"},
      {"BLACKLIST FROM @BULK.EXAMPLE   # ASKED FOR BY ANN@ACME.TEST\n", "HELLO", 0,
       "looks for \"ANN@ACME.TEST\" in the sender \"JOE@EXAMPLE.COM\": no hit"},
      {"STRICT\nREDIRECT ANN SHARED.QUORVANT\n", "HELLO", 0, "REDIRECT after STRICT is refused"},
      {"NO DOMAIN\nREDIRECT @EXAMPLE {D}EXAMPLE.ORG\\$default$.QUORVANT\n", "HELLO", 0, "REDIRECT chain too deep"},
      {"BLACKLIST SUBJECT " + std::string(81, 'Q') + "CHEAP STUFF\n", "CHEAP STUFF", 0,
       "the rest of a line longer than 98 characters"},
      {"WHITELIST SUBJECT HI\nBLACKLIST SUBJECT CONTAINS CHEAP\n", "CHEAP STUFF", 100,
       "the Subject text \"HI\" is shorter than 5 characters"},
      {"NO DOMAIN\n", "HELLO", 0, "no rule hit: the NO DOMAIN at line 1 decides"},
      // A broken copy of zero bytes: one line however many pieces.
      {std::string("\0\n\0\n\0\nSTRICT\n", 13), "HELLO", 100,
       "$default$.QUORVANT:1 to " + (dir_ / "EXAMPLE.ORG" / "$default$.QUORVANT:3").string() +
           " (3 pieces): each begins with a zero byte: counted, not examined\n"},
  };
  for (const auto& c : cases) {
    write_file("EXAMPLE.ORG/$default$.QUORVANT", with_dir(c.rules));
    std::string out, quiet;
    EXPECT_EQ(explain({"--from", "joe@example.com", "--to", "ann@example.org", "--subject", c.subject}, out), c.code)
        << c.rules;
    EXPECT_NE(out.find(c.says), std::string::npos) << c.says << "\n" << out;
    EXPECT_EQ(explain({"--quiet", "--from", "joe@example.com", "--to", "ann@example.org", "--subject", c.subject},
                      quiet),
              c.code)
        << quiet;
    // --quiet prints the explanation's verdict line alone.
    const std::string kVerdict = "\nVerdict    ";
    const std::size_t verdict = out.find(kVerdict);
    ASSERT_NE(verdict, std::string::npos) << out;
    EXPECT_EQ(quiet, out.substr(verdict + kVerdict.size(), out.find('\n', verdict + 1) - verdict - kVerdict.size() + 1));
    // "... at FILE:LINE" names the one line that the explanation marks; with
    // no such line none is marked.
    const std::size_t at = quiet.rfind(" at ");
    const std::string where = at == std::string::npos ? "" : quiet.substr(at + 4, quiet.size() - at - 5);
    int marked = 0, marked_there = 0;
    for (std::size_t start = 0, end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
      const std::string text = out.substr(start, end - start);
      if (!text.ends_with("<== decides")) continue;
      ++marked;
      const std::size_t w = where.empty() ? std::string::npos : text.find(where);
      const char next = w == std::string::npos ? 0 : text[w + where.size()];
      marked_there += next == ':' || next == ' ';
    }
    EXPECT_EQ(marked, where.empty() ? 0 : 1) << quiet << out;
    EXPECT_EQ(marked_there, marked) << quiet << out;
  }
}

TEST_F(Explain, CommandLineMistakesGiveTwo) {
  std::string out;
  EXPECT_EQ(explain({}, out), 2);
  EXPECT_EQ(explain({"--from", "a@b"}, out), 2);
  EXPECT_EQ(explain({"--from", "a@b", "--to", "c@d", "M.SMD"}, out), 2);
  EXPECT_EQ(explain({"A.SMD", "B.SMD"}, out), 2);
  EXPECT_EQ(explain({"--quiet", "--quiet", "A.SMD"}, out), 2);
  EXPECT_EQ(explain({"--frm", "a@b", "A.SMD"}, out), 2);
  EXPECT_EQ(explain({"--subject"}, out), 2);
}

TEST_F(Explain, EmptyFromIsAnEnvelopeWithoutSender) {
  write_file("$default$.QUORVANT", "BLACKLIST FROM @\nSTRICT\n");
  std::string out;
  EXPECT_EQ(explain({"--from", "", "--to", "ann@example.org"}, out), 100);
  EXPECT_NE(out.find("From:  Subject:  Blacklisted-Program"), std::string::npos) << out;
}

TEST_F(Explain, EnvelopeTextNeverReachesTheTerminalRaw) {
  write_file("SPOOL/D1.SMD", "Subject: x\r\n");
  write_file("SPOOL/_1.~MD", "S<\x1b]0;owned\x07\x1b[2J>\r\n");
  std::string out;
  EXPECT_EQ(explain({path("SPOOL\\D1.SMD")}, out), 0);
  EXPECT_NE(out.find("last line read  S<?]0;owned??[2J>\n"), std::string::npos) << out;
  EXPECT_EQ(out.find('\x1b'), std::string::npos);
}

// The first line says when the directory is no program directory: one that
// cannot be read, or one without a rule file.
TEST_F(Explain, SaysWhenTheDirectoryHoldsNoRules) {
  write_file("RULES/EXAMPLE.ORG/$default$.QUORVANT", "STRICT\n");
  write_file("EMPTY/notes.txt", "x");
  const std::string native = (dir_ / "").string();
  const struct {
    const char* dir;
    std::string first_line;
  } cases[] = {
      {"MISSING", "Note: the program directory " + native + "MISSING/ cannot be read (No such file or directory), "},
      {"EMPTY", "Note: the program directory " + native + "EMPTY/ holds no rule file (*.QUORVANT), "},
      {"RULES", "Message\n"},
  };
  for (const auto& c : cases) {
    const AdminRun run = run_admin_words({"QVADMIN", "explain", "--dir", path(c.dir), "--from", "a@b", "--to", "c@d"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.rfind(c.first_line, 0), 0u) << run.out;
  }
}

}  // namespace
