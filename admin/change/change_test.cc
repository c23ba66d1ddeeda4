#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "admin/change/change_check.h"
#include "admin/change/change_plan.h"
#include "admin/change/change_write.h"
#include "admin/change/history.h"
#include "admin/lint/lint_run.h"
#include "admin/testing/admin_run.h"
#include "common/host.h"
#include "common/console.h"
#include "common/testing/scratch.h"

namespace fs = std::filesystem;

namespace {

const char* const kFiles[] = {"$default$.QUORVANT", "EXAMPLE.ORG/$default$.QUORVANT", "EXAMPLE.ORG/ANN.QUORVANT",
                              "A.TEST/BOB.QUORVANT", "SHARED/T1.QUORVANT"};
const char* const kRecipients[] = {"ann@example.org", "bob@a.test", "joe@example.org", "ann@new.org", "x@a.test"};
const char* const kSenders[] = {"JOE@EXAMPLE.COM", "X@SPAM.TEST", "BOSS@PARTNER.EXAMPLE", "A@NEW.EXAMPLE"};
const char* const kSubjects[] = {"HELLO", "CHEAP STUFF", "PROJECT X"};

class Change : public ScratchDir {
 protected:
  std::string line() {
    static const char* const kLines[] = {
        "WHITELIST FROM @PARTNER.EXAMPLE", "BLACKLIST FROM @SPAM.TEST", "WHITELIST FROM JOE@",
        "BLACKLIST SUBJECT CONTAINS CHEAP STUFF", "WHITELIST SUBJECT CONTAINS PROJECT X", "STRICT", "NO DOMAIN",
        "# comment", "", "WHITLIST FROM @X.TEST", "REDIRECT @A.TEST {D}LIVE\\SHARED\\T1.QUORVANT",
        "REDIRECT ANN {D}LIVE\\NEW.ORG\\ANN.QUORVANT", "REDIRECT @ {D}LIVE\\SHARED\\GONE.QUORVANT"};
    return with_dir(kLines[random_() % std::size(kLines)]);
  }

  std::string rule_file() {
    std::string text;
    for (int n = static_cast<int>(random_() % 5); n > 0; --n) text += line() + "\r\n";
    return text;
  }

  void write_tree() {
    for (const char* name : kFiles)
      if (random_() % 5) write_file(std::string("LIVE/") + name, rule_file());
    std::string log;
    int n = 0;
    for (const char* to : kRecipients)
      for (const char* from : kSenders)
        for (const char* subject : kSubjects)
          log += "12:00:00 M" + std::to_string(++n) + " To: " + upper(to) + " From: " + from + " Subject: " + subject +
                 " No Action.\r\n";
    write_file("LOG/QEL0101.LOG", log);
  }

  static std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }

  // A change of the kinds the commands make: one rule added or taken out of
  // a file (maybe a new one in a new domain folder), or a changed copy of
  // the tree promoted.
  ChangePlan plan_something() {
    const ChangeTrees live{path("LIVE\\"), path("LIVE\\")};
    if (random_() % 3 == 0) {
      const std::string candidate = path("CAND\\");
      fs::create_directories(dir_ / "CAND");
      for (const char* name : kFiles)
        if (random_() % 4) write_file(std::string("CAND/") + name, rule_file());
      if (random_() % 2) write_file("CAND/NEW.ORG/ANN.QUORVANT", rule_file());
      ChangePlan plan;
      std::string why;
      EXPECT_TRUE(plan_promote({path("LIVE\\"), candidate}, plan, why)) << why;
      return plan;
    }
    RuleWhere where;
    std::string why;
    EXPECT_TRUE(resolve_where(live, kRecipients[random_() % std::size(kRecipients)], where, why)) << why;
    const std::string& file = where.cascade[random_() % where.cascade.size()];
    for (;;) {
      const RuleEdit edit = random_() % 3 ? RuleEdit{random_() % 2 ? EditKind::Add : EditKind::AddFirst, line(), 0}
                                          : RuleEdit{EditKind::RemoveLine, "", 1 + static_cast<int>(random_() % 3)};
      EditPlan planned = plan_edit(live, file, edit);
      if (planned.status == PlanStatus::Planned) return planned.plan;
      if (planned.status == PlanStatus::Failed) ADD_FAILURE() << planned.why;
    }
  }

  // Every finding of lint over the tree, as text.
  std::vector<std::string> lint_text(const RuleOverlay* overlay, const std::vector<std::string>& files) {
    LintRequest request;
    request.program_directory = path("LIVE\\");
    request.files = files;
    request.overlay = overlay;
    LintResult result;
    EXPECT_TRUE(lint_rules(request, result));
    std::vector<std::string> text;
    for (const LintedFile& file : result.files)
      for (const Finding& f : file.lint.findings)
        text.push_back(file.path + ":" + std::to_string(f.line) + " " + f.check + " " + f.message);
    std::sort(text.begin(), text.end());
    return text;
  }

  // Every file and folder of the live tree, its history aside.
  std::map<std::string, std::string> tree_bytes() {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_ / "LIVE")) {
      const std::string rel = "LIVE/" + fs::relative(entry.path(), dir_ / "LIVE").generic_string();
      if (rel.rfind("LIVE/$history$", 0) == 0) continue;
      files[rel] = entry.is_regular_file() ? read_file(rel) : "(folder)";
    }
    return files;
  }

  std::mt19937 random_{18};
};

// The oracle of the whole module: lint and replay through a change's
// overlay say exactly what they say once the change is written; the change
// goes in through the history, and its rollback gives back every byte.
TEST_F(Change, OverlayAgreesWithTheWrittenTreeAndRollbackRestoresIt) {
  for (int round = 0; round < 24; ++round) {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    write_tree();
    const std::map<std::string, std::string> original = tree_bytes();
    const ChangePlan plan = plan_something();
    if (plan.files.empty()) continue;  // a candidate just like the live tree
    std::vector<std::string> written;
    for (const FileChange& file : plan.files)
      if (file.after) written.push_back(file.path);

    const RuleOverlay overlay = overlay_of(plan);
    const std::vector<std::string> lint_before = lint_text(&overlay, written);
    CapturedConsole err;
    const ChangePreview preview = preview_change(plan, {path("LOG\\QEL0101.LOG")}, 1000, "test", err);

    const WriteOutcome outcome = write_change(plan, ChangeAuthor{"tester", "test"});
    ASSERT_EQ(outcome.status, WriteStatus::Written) << outcome.why;
    EXPECT_EQ(lint_text(nullptr, written), lint_before) << plan.what;
    std::vector<std::string> replayed;
    ReplayRequest request;
    request.live = request.candidate = path("LIVE\\");
    request.logs = {path("LOG\\QEL0101.LOG")};
    const ReplayTally tally = replay_logs(request, [&](const std::string& line) { replayed.push_back(line); }, err);
    EXPECT_EQ(replayed, preview.changes) << plan.what;
    EXPECT_EQ(tally.changed, preview.tally.changed);
    EXPECT_EQ(tally.replayed, preview.tally.replayed);

    ChangePlan back;
    std::string why;
    ASSERT_EQ(plan_rollback(path("LIVE\\"), 0, back, why), PlanStatus::Planned) << why;
    EXPECT_EQ(back.rolls_back, outcome.entry);
    ASSERT_EQ(write_change(back, ChangeAuthor{"tester", "rollback"}).status, WriteStatus::Written);
    EXPECT_EQ(tree_bytes(), original) << plan.what;
  }
}

// At every moment of writing, a file a checker opens names through its
// REDIRECTs only files that are there, unless the tree it belongs to (the
// old one or the new one) lacks them too.
TEST(WritingOrder, NoRedirectEverMeetsAFileNotThereYet) {
  std::mt19937 random(21);
  for (int round = 0; round < 2000; ++round) {
    const int n = 2 + static_cast<int>(random() % 6);
    const auto name = [](int i) { return "C:\\Q\\F" + std::to_string(i) + ".QUORVANT"; };
    // A file names only files of a lower rank, so neither tree loops, and
    // the ranks are in no relation to the order the files are given in.
    std::vector<int> rank(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) rank[static_cast<std::size_t>(i)] = i;
    std::shuffle(rank.begin(), rank.end(), random);
    const auto bytes = [&](int from) {
      std::string text = "STRICT\r\n";
      for (int i = 0; i < n; ++i)
        if (rank[static_cast<std::size_t>(i)] < rank[static_cast<std::size_t>(from)] && random() % 2)
          text += "REDIRECT @X.TEST " + name(i) + "\r\n";
      return text;
    };
    std::vector<FileChange> files;
    for (int i = 0; i < n; ++i) {
      const int kind = static_cast<int>(random() % 3);  // added, changed, removed
      files.push_back({name(i), kind == 0 ? std::nullopt : std::optional(bytes(i)),
                       kind == 2 ? std::nullopt : std::optional(bytes(i))});
    }
    std::vector<FileChange> ordered = files;
    order_for_writing(ordered);
    ASSERT_EQ(ordered.size(), files.size());
    // The state as each file goes in: before for those still to come.
    std::map<std::string, const std::optional<std::string>*> now, old_tree, new_tree;
    for (const FileChange& f : ordered) now[f.path] = old_tree[f.path] = &f.before, new_tree[f.path] = &f.after;
    for (std::size_t k = 0; k <= ordered.size(); ++k) {
      for (const auto& [path, content] : now) {
        if (!*content) continue;
        const bool is_new = content == new_tree[path];
        for (const std::string& target : redirect_targets(**content)) {
          const auto& era = is_new ? new_tree : old_tree;
          if (era.count(target) && *era.at(target) && !*now.at(target))
            ADD_FAILURE() << "round " << round << " step " << k << ": " << path << " names " << target;
        }
      }
      if (k < ordered.size()) now[ordered[k].path] = new_tree[ordered[k].path];
    }
  }
}

// Without REDIRECTs between them, the files go in the reverse of the order a
// checker run reads them: the server-wide file, the domain's, the user's.
TEST(WritingOrder, ReverseOfTheCascade) {
  std::vector<FileChange> files = {{"C:\\Q\\A.ORG\\ANN.QUORVANT", "", "x"},
                                   {"C:\\Q\\A.ORG\\$default$.QUORVANT", "", "x"},
                                   {"C:\\Q\\\\$default$.QUORVANT", "", "x"},
                                   {"C:\\Q\\SHARED\\T.QUORVANT", "", std::nullopt}};
  order_for_writing(files);
  std::vector<std::string> paths;
  for (const FileChange& f : files) paths.push_back(f.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"C:\\Q\\\\$default$.QUORVANT", "C:\\Q\\A.ORG\\$default$.QUORVANT",
                                             "C:\\Q\\A.ORG\\ANN.QUORVANT", "C:\\Q\\SHARED\\T.QUORVANT"}));
}

TEST_F(Change, WriteRefusesAFileChangedSinceItWasRead) {
  write_file("$default$.QUORVANT", "STRICT\r\n");
  const ChangeTrees live{path(""), path("")};
  const EditPlan planned = plan_edit(live, path("$default$.QUORVANT"), RuleEdit{EditKind::Add, "NO DOMAIN", 0});
  ASSERT_EQ(planned.status, PlanStatus::Planned);
  write_file("$default$.QUORVANT", "STRICT\r\nBLACKLIST FROM @X.TEST\r\n");  // another administrator
  const WriteOutcome outcome = write_change(planned.plan, ChangeAuthor{"tester", "test"});
  EXPECT_EQ(outcome.status, WriteStatus::Stale);
  EXPECT_EQ(outcome.stale, std::vector<std::string>{path("$default$.QUORVANT")});
  EXPECT_EQ(read_file("$default$.QUORVANT"), "STRICT\r\nBLACKLIST FROM @X.TEST\r\n");
  std::vector<HistoryEntry> entries;
  std::string why;
  ASSERT_TRUE(read_history(path(""), entries, why));
  EXPECT_TRUE(entries.empty());
}

// A file that cannot be put in place ends the write: the files already
// written are put back, the folders made go, and the history keeps nothing.
TEST_F(Change, AFailedWriteLeavesTheTreeAsItWas) {
  write_file("A.QUORVANT", "STRICT\r\n");
  ChangePlan plan;
  plan.trees = {path(""), path("")};
  plan.folders = {path("NEW.ORG")};
  plan.files = {{path("A.QUORVANT"), "STRICT\r\n", "NO DOMAIN\r\n"},
                {path("NEW.ORG\\C.QUORVANT"), std::nullopt, "STRICT\r\n"},
                {path("MISSING\\B.QUORVANT"), std::nullopt, "STRICT\r\n"}};  // no folder for it
  const WriteOutcome outcome = write_change(plan, ChangeAuthor{"tester", "test"});
  EXPECT_EQ(outcome.status, WriteStatus::Failed);
  EXPECT_NE(outcome.why.find(path("MISSING\\B.QUORVANT")), std::string::npos) << outcome.why;
  EXPECT_EQ(read_file("A.QUORVANT"), "STRICT\r\n");
  EXPECT_FALSE(fs::exists(dir_ / "NEW.ORG"));
  std::vector<HistoryEntry> entries;
  std::string why;
  ASSERT_TRUE(read_history(path(""), entries, why));
  EXPECT_TRUE(entries.empty());
}

// A change stopped after its history entry, before its first file went in
// place: its rollback writes nothing, takes the temporary it left away, and
// the change no longer counts as in effect.
TEST_F(Change, RollbackOfAChangeStoppedBeforeItsFirstFile) {
  write_file("$default$.QUORVANT", "STRICT\r\n");
  const EditPlan planned =
      plan_edit({path(""), path("")}, path("$default$.QUORVANT"), RuleEdit{EditKind::Add, "NO DOMAIN", 0});
  HistoryWrite history{path(""), {}};
  std::string why;
  fs::create_directories(dir_ / "$history$");
  ASSERT_TRUE(begin_entry(planned.plan, "tester", "test", history, why)) << why;
  write_file("$default$.QUORVANT.qvadmin-new", "STRICT\r\nNO");  // where the run stopped
  ChangePlan back;
  ASSERT_EQ(plan_rollback(path(""), 0, back, why), PlanStatus::Planned) << why;
  EXPECT_TRUE(back.files.empty());
  ASSERT_EQ(write_change(back, ChangeAuthor{"tester", "rollback"}).status, WriteStatus::Written);
  EXPECT_FALSE(fs::exists(dir_ / "$default$.QUORVANT.qvadmin-new"));
  EXPECT_EQ(read_file("$default$.QUORVANT"), "STRICT\r\n");
  std::vector<HistoryEntry> entries;
  ASSERT_TRUE(read_history(path(""), entries, why));
  EXPECT_EQ(latest_in_effect(entries), 0);
}

// The file WHERE names for an address is the first one explain --to that
// address reads; an address the checker reads no file for names none.
TEST_F(Change, AnAddressNamesTheFileExplainReadsFirst) {
  for (const char* address : {"ann@example.org", "joe+tag@example.org", "Bob@EXAMPLE.ORG.", "x@[127.0.0.1]",
                              "<ann@example.org>", "ann@example.org> more", "\"q\"@example.org", "nul@example.org",
                              "@example.org", "joe@.."}) {
    const AdminRun explained =
        run_admin_words({"QVADMIN", "explain", "--dir", path(""), "--from", "a@b", "--to", address});
    const std::size_t at = explained.out.find("User rule file ");
    const std::string first =
        at == std::string::npos ? "" : explained.out.substr(at + 15, explained.out.find('\n', at) - at - 15);
    RuleWhere where;
    std::string why;
    const bool named = resolve_where({path(""), path("")}, address, where, why);
    if (address[0] == '@') {
      EXPECT_TRUE(named && where.levels[0] == "Domain") << address;
    } else if (first.empty() || host_names_device(first.c_str())) {
      EXPECT_FALSE(named) << address << " names " << (named ? where.cascade[0] : "");
    } else {
      EXPECT_TRUE(named) << address << ": " << why;
      if (named) {
        EXPECT_EQ(host_native_path(where.cascade[0].c_str()), first) << address;  // explain shows paths to open
      }
    }
  }
}

TEST(History, LatestChangeStillInEffect) {
  const struct {
    std::vector<std::pair<int, int>> entries;  // id, the id it rolls back
    int latest;
  } cases[] = {
      {{}, 0},
      {{{1, 0}}, 1},
      {{{1, 0}, {2, 1}}, 0},
      {{{1, 0}, {2, 0}, {3, 2}}, 1},
      {{{1, 0}, {2, 0}, {3, 1}}, 2},
      {{{1, 0}, {2, 1}, {3, 2}}, 1},          // the rollback rolled back: change 1 is in effect again
      {{{1, 0}, {2, 1}, {3, 2}, {4, 1}}, 0},  // and rolled back once more
  };
  for (const auto& c : cases) {
    std::vector<HistoryEntry> entries;
    for (const auto& [id, rolls_back] : c.entries) {
      entries.emplace_back();
      entries.back().id = id;
      entries.back().rolls_back = rolls_back;
    }
    EXPECT_EQ(latest_in_effect(entries), c.latest) << c.entries.size();
  }
}

TEST_F(Change, RollbackRefusesAFileChangedSince) {
  const ChangeTrees live{path(""), path("")};
  EditPlan planned = plan_edit(live, path("X.ORG\\ANN.QUORVANT"), RuleEdit{EditKind::Add, "STRICT", 0});
  ASSERT_EQ(planned.status, PlanStatus::Planned);
  EXPECT_EQ(planned.plan.folders, std::vector<std::string>{path("X.ORG")});
  ASSERT_EQ(write_change(planned.plan, ChangeAuthor{"tester", "test"}).status, WriteStatus::Written);
  write_file("X.ORG/ANN.QUORVANT", "NO DOMAIN\r\n");
  ChangePlan back;
  std::string why;
  EXPECT_EQ(plan_rollback(path(""), 0, back, why), PlanStatus::Refused);
  EXPECT_NE(why.find("has changed since change 1"), std::string::npos) << why;
  write_file("X.ORG/ANN.QUORVANT", "STRICT\r\n");
  ASSERT_EQ(plan_rollback(path(""), 0, back, why), PlanStatus::Planned) << why;
  ASSERT_EQ(write_change(back, ChangeAuthor{"tester", "rollback"}).status, WriteStatus::Written);
  EXPECT_FALSE(fs::exists(dir_ / "X.ORG"));  // the file the change made goes, and its folder
  std::vector<HistoryEntry> entries;
  ASSERT_TRUE(read_history(path(""), entries, why));
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[1].done);
  EXPECT_EQ(entries[1].rolls_back, 1);
  EXPECT_EQ(entries[0].files.at(0).after_hash.size(), 64u);
}

}  // namespace
