// The command-line habits every QVADMIN command shares: help, the usage,
// option forms, "--", "-" as standard input, mistakes and their hint.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "admin/testing/admin_run.h"
#include "common/testing/scratch.h"

namespace {

class CommandLine : public ScratchDir {};

constexpr const char* kCommands[] = {"explain", "lint",    "replay",   "report", "show",
                                     "add",     "remove", "promote", "rollback", "history"};

TEST_F(CommandLine, EveryCommandHasItsUsageAndRefusesUnknownOptions) {
  for (const std::string command : kCommands) {
    const AdminRun help = run_admin_words({"QVADMIN", command, "-h"});
    EXPECT_EQ(help.code, 0) << command;
    EXPECT_EQ(help.out.rfind("usage: QVADMIN " + command + " ", 0), 0u) << command << help.out;
    EXPECT_EQ(help.err, "") << command;
    for (const std::vector<std::string>& same : {std::vector<std::string>{"QVADMIN", command, "--help"},
                                                 {"QVADMIN", "help", command},
                                                 {"QVADMIN", command, "X", "--help"}})
      EXPECT_EQ(run_admin_words(same).out, help.out) << command;

    for (const char* wrong : {"--frob", "-x", "--help=yes", "--dir"}) {
      const AdminRun run = run_admin_words({"QVADMIN", command, wrong});
      EXPECT_EQ(run.code, 2) << command << " " << wrong;
      EXPECT_EQ(run.out, "") << command << " " << wrong;
      const std::string hint = "Try \"QVADMIN " + command + " --help\" for the usage.\n";
      EXPECT_TRUE(run.err.starts_with("QVADMIN " + command + ": ") && run.err.ends_with(hint) &&
                  run.err.find('\n') + 1 + hint.size() == run.err.size())
          << command << " " << wrong << ": " << run.err;
    }
  }
  const AdminRun unknown = run_admin_words({"QVADMIN", "lnit"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(unknown.err, "QVADMIN: unknown command lnit\nTry \"QVADMIN --help\" for the commands.\n");
  EXPECT_EQ(run_admin_words({"QVADMIN", "help", "lnit"}).code, 2);

  for (const char* overview : {"help", "--help", "-h"}) {
    const AdminRun run = run_admin_words({"QVADMIN", overview});
    EXPECT_EQ(run.code, 0);
    for (const std::string command : kCommands)
      EXPECT_NE(run.out.find("\n  QVADMIN " + command + " ["), std::string::npos) << command << run.out;
  }
  const AdminRun version = run_admin_words({"QVADMIN", "--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_TRUE(version.out.starts_with("QVADMIN ") && version.out.find("QUORVANT v") != std::string::npos)
      << version.out;
}

// "--opt=value" is "--opt value"; after "--" a word that begins with "-" is
// a file, never an option.
TEST_F(CommandLine, OptionFormsAndTheEndOfOptions) {
  write_file("RULES/$default$.QUORVANT", "whitlist\n");
  write_file("-h", "whitlist\n");
  const AdminRun spaced = run_admin_words({"QVADMIN", "lint", "--dir", path("RULES")});
  const AdminRun joined = run_admin_words({"QVADMIN", "lint", "--dir=" + path("RULES")});
  EXPECT_EQ(spaced.code, 1);
  EXPECT_EQ(joined.out, spaced.out);
  EXPECT_EQ(joined.code, spaced.code);

  const AdminRun file = run_admin_words({"QVADMIN", "lint", "--dir", path("RULES"), "--", path("-h")});
  EXPECT_EQ(file.code, 1);
  EXPECT_NE(file.out.find((dir_ / "-h").string() + ":1: error: "), std::string::npos) << file.out;

  // An option given again and again, and one that takes the log words after
  // it ("--preview QEL*.LOG" as a shell expands it).
  write_file("A.LOG", "12:00:00 D1 To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HI No Action.\r\n");
  write_file("B.LOG", "12:00:00 D2 To: BOB@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HI No Action.\r\n");
  const AdminRun listed = run_admin_words({"QVADMIN", "add", "--dir", path("RULES"), "--dry-run", "--preview",
                                           path("A.LOG"), path("B.LOG"), "*", "STRICT"});
  const AdminRun repeated = run_admin_words({"QVADMIN", "add", "--dir=" + path("RULES"), "--preview=" + path("A.LOG"),
                                             "--dry-run", "*", "STRICT", "--preview", path("B.LOG")});
  EXPECT_EQ(listed.code, 0) << listed.err;
  EXPECT_NE(listed.out.find("Messages replayed\t      2\n"), std::string::npos) << listed.out;
  EXPECT_EQ(repeated.out, listed.out);

  const AdminRun subject = run_admin_words(
      {"QVADMIN", "explain", "--dir", path("RULES"), "--quiet", "--from", "a@b", "--to", "c@d", "--subject", "-h"});
  EXPECT_EQ(subject.code, 0) << subject.err;
  EXPECT_EQ(subject.out, "no verdict: no rule file decided\n");
}

// "-" reads a log from standard input; an unreadable log says why.
TEST_F(CommandLine, StandardInputAndTheReasonForAnUnreadableLog) {
  const std::string log = "12:00:00 D1 To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HI No Action.\r\n";
  write_file("QEL0101.LOG", log);
  const struct {
    std::vector<std::string> words;
    const char* says;
  } cases[] = {
      {{"QVADMIN", "replay", "--dir", path("")}, "Messages replayed\t      1\n"},
      {{"QVADMIN", "report"}, "Lines read 1: result lines 1,"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> words = c.words;
    words.push_back("-");
    std::FILE* in = file_with(log);
    const AdminRun piped = run_admin_words(words, in);
    std::fclose(in);
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_NE(piped.out.find(c.says), std::string::npos) << piped.out;
    EXPECT_EQ(run_admin_words(words, nullptr).code, 2);  // no standard input to read
  }
  const AdminRun missing = run_admin_words({"QVADMIN", "report", path("QEL0102.LOG")});
  EXPECT_EQ(missing.code, 2);
  EXPECT_EQ(missing.err,
            "QVADMIN report: " + (dir_ / "QEL0102.LOG").string() + ": cannot be read: No such file or directory\n");
}

}  // namespace
