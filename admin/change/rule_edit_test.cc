#include "admin/change/rule_edit.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "checker/rule_reader.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

// The pieces the checker reads from the bytes, as it examines them.
std::vector<std::string> read_as_checker(const std::string& bytes) {
  TextReader text(bytes.data(), bytes.size());
  TextRuleLineReader reader(text);
  std::vector<std::string> pieces;
  for (RuleLine line; reader.next(line);) pieces.push_back(trim_spaces(line.text));
  return pieces;
}

// A rule file as administrators' editors leave them: CR LF or LF ends, a
// last line with or without one, comments, empty and long lines, zero
// bytes, and now and then a Ctrl-Z with junk after it.
std::string generated_file(std::mt19937& random) {
  static const std::string kLines[] = {"# comment", "WHITELIST FROM @PARTNER.EXAMPLE", "blacklist from x@spam.test",
                                       "", "   ", "STRICT", "BLACKLIST SUBJECT CONTAINS CHEAP STUFF\tnote",
                                       "REDIRECT @A.TEST C:\\R\\T.QUORVANT", std::string(130, 'W'),
                                       "WHITELIST FROM JOE@EXAMPLE.COM   "};
  const bool lf = random() % 3 == 0;
  std::string bytes;
  const int lines = static_cast<int>(random() % 7);
  for (int i = 0; i < lines; ++i) {
    bytes += random() % 15 == 0 ? std::string(1, '\0') + "ZERO" : kLines[random() % std::size(kLines)];
    bytes += random() % 8 == 0 ? (lf ? "\r\n" : "\n") : (lf ? "\n" : "\r\n");
  }
  if (lines > 0 && random() % 3 == 0) bytes.resize(bytes.size() - (bytes.back() == '\n' && bytes.size() > 1 && bytes[bytes.size() - 2] == '\r' ? 2 : 1));
  if (random() % 6 == 0) bytes += "\x1a" "after the end\r\n";
  return bytes;
}

// The oracle: an added rule is read by the checker, and taking it out again
// gives the file's bytes back, whatever the file; so does moving a line
// down and up again.
TEST(RuleEdit, AddThenRemoveGivesTheBytesBack) {
  std::mt19937 random(18);
  const std::string rules[] = {"WHITELIST FROM @new.example", "BLACKLIST SUBJECT CONTAINS win a prize", "NO DOMAIN"};
  for (int round = 0; round < 3000; ++round) {
    const std::string file = generated_file(random);
    const RuleEdit add{random() % 2 ? EditKind::Add : EditKind::AddFirst, rules[random() % std::size(rules)], 0};
    const EditOutcome added = apply_edit(file, add);
    ASSERT_EQ(added.status, EditStatus::Done) << printable(file);
    const std::vector<std::string> pieces = read_as_checker(added.bytes);
    EXPECT_NE(std::find(pieces.begin(), pieces.end(), upper_case(add.rule)), pieces.end()) << printable(added.bytes);
    const std::vector<std::string> lines_after = editor_lines(added.bytes);
    EXPECT_EQ(lines_after.at(static_cast<std::size_t>(added.lines.at(0) - 1)), add.rule) << printable(added.bytes);
    const EditOutcome removed = apply_edit(added.bytes, RuleEdit{EditKind::Remove, add.rule, 0});
    ASSERT_EQ(removed.status, EditStatus::Done);
    EXPECT_EQ(removed.bytes, file) << printable(added.bytes);
    EXPECT_EQ(apply_edit(added.bytes, RuleEdit{EditKind::RemoveLine, "", added.lines[0]}).bytes, file);

    const int lines = static_cast<int>(editor_lines(file).size());
    if (lines < 2) continue;
    const int line = 1 + static_cast<int>(random() % static_cast<unsigned>(lines - 1));
    const EditOutcome down = apply_edit(file, RuleEdit{EditKind::MoveDown, "", line});
    if (down.status == EditStatus::NoSuchLine) continue;  // an empty line cannot go last without a line end
    ASSERT_EQ(down.status, EditStatus::Done);
    const std::vector<std::string> lines_before = editor_lines(file), lines_down = editor_lines(down.bytes);
    ASSERT_EQ(lines_down.size(), lines_before.size()) << printable(file) << " line " << line;
    EXPECT_EQ(lines_down[static_cast<std::size_t>(line)], lines_before[static_cast<std::size_t>(line - 1)]);
    EXPECT_EQ(apply_edit(down.bytes, RuleEdit{EditKind::MoveUp, "", line + 1}).bytes, file) << printable(file);
  }
}

struct EditCase {
  const char* name;
  const char* before;
  EditKind kind;
  const char* rule;
  int line;
  EditStatus status;
  const char* after;  // Done: the bytes
  std::vector<int> lines;
};

std::vector<EditCase> edit_cases() {
  return {
    {"NewFileGetsCrLf", "", EditKind::Add, "STRICT", 0, EditStatus::Done, "STRICT\r\n", {1}},
    {"LfFileKeepsLf", "A\nB\n", EditKind::Add, "STRICT", 0, EditStatus::Done, "A\nB\nSTRICT\n", {3}},
    {"MostLineEndsDecide", "A\r\nB\nC\r\n", EditKind::Add, "X", 0, EditStatus::Done, "A\r\nB\nC\r\nX\r\n", {4}},
    {"NoFinalLineEndStaysSo", "A\r\nB", EditKind::Add, "STRICT", 0, EditStatus::Done, "A\r\nB\r\nSTRICT", {3}},
    {"BeforeTheCtrlZ", "A\r\n\x1ajunk", EditKind::Add, "STRICT", 0, EditStatus::Done, "A\r\nSTRICT\r\n\x1ajunk", {2}},
    {"FirstAfterTheComments", "# a\r\n\r\nA\r\n", EditKind::AddFirst, "S", 0, EditStatus::Done, "# a\r\n\r\nS\r\nA\r\n", {3}},
    {"FirstInCommentsOnlyGoesLast", "# a\r\n", EditKind::AddFirst, "S", 0, EditStatus::Done, "# a\r\nS\r\n", {2}},
    {"SameRuleInOtherCase", "x\r\nwhitelist from @a.b  \t# why\r\n", EditKind::Add, "WHITELIST FROM @A.B", 0,
     EditStatus::AlreadyThere, "", {2}},
    {"AfterTheCtrlZIsNotThere", "\x1aSTRICT\r\n", EditKind::Add, "STRICT", 0, EditStatus::Done, "STRICT\r\n\x1aSTRICT\r\n", {1}},
    {"RemovesEveryCopy", "S\r\nA\r\nS", EditKind::Remove, "s", 0, EditStatus::Done, "A", {1, 3}},
    {"RemoveOfAMissingRule", "WHITELIST FROM @A.B\r\n", EditKind::Remove, "WHITELIST FROM @A.C", 0,
     EditStatus::NotThere, "", {}},
    {"RemoveTheLastLine", "A\r\nB", EditKind::RemoveLine, "", 2, EditStatus::Done, "A", {2}},
    {"AnEmptyLineBeforeKeepsItsLineEnd", "\r\nB", EditKind::RemoveLine, "", 2, EditStatus::Done, "\r\n", {2}},
    {"NoLineBeyondTheCtrlZ", "A\r\n\x1a" "B\r\n", EditKind::RemoveLine, "", 2, EditStatus::NoSuchLine, "", {}},
    {"FirstLineCannotMoveUp", "A\r\nB\r\n", EditKind::MoveUp, "", 1, EditStatus::NoSuchLine, "", {}},
    {"MoveDownKeepsTheLastLineEnd", "A\r\nB", EditKind::MoveDown, "", 1, EditStatus::Done, "B\r\nA", {2}},
    {"NoEmptyLineLastWithoutLineEnd", "\r\nB", EditKind::MoveDown, "", 1, EditStatus::NoSuchLine, "", {}},
    {"TabIsNoRule", "", EditKind::Add, "WHITELIST FROM\t@A.B", 0, EditStatus::NotARuleLine, "", {}},
    {"LineEndIsNoRule", "", EditKind::Add, "STRICT\r\nNO DOMAIN", 0, EditStatus::NotARuleLine, "", {}},
    {"SpacesAreNoRule", "", EditKind::Remove, "   ", 0, EditStatus::NotARuleLine, "", {}},
  };
}

class Edits : public testing::TestWithParam<EditCase> {};

TEST_P(Edits, KeepEveryOtherByte) {
  const EditCase& c = GetParam();
  const EditOutcome outcome = apply_edit(c.before, RuleEdit{c.kind, c.rule, c.line});
  EXPECT_EQ(outcome.status, c.status);
  if (c.status == EditStatus::Done) {
    EXPECT_EQ(outcome.bytes, c.after) << printable(outcome.bytes);
  }
  if (c.status != EditStatus::NotThere) {
    EXPECT_EQ(outcome.lines, c.lines);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, Edits, testing::ValuesIn(edit_cases()),
                         [](const testing::TestParamInfo<EditCase>& info) { return info.param.name; });

TEST(RuleEdit, ClosestLinesToAMissingRule) {
  const EditOutcome outcome = apply_edit("# WHITELIST FROM @PARTNER.EXAMPL\r\nSTRICT\r\nBLACKLIST FROM @BULK\r\n"
                                         "WHITELIST FROM @PARTNER.EXAMPL\r\nWHITELIST FROM @OTHER.TEST\r\n",
                                         RuleEdit{EditKind::Remove, "whitelist from @partner.example", 0});
  ASSERT_EQ(outcome.status, EditStatus::NotThere);
  ASSERT_EQ(outcome.closest.size(), 3u);  // comments are no candidates
  EXPECT_EQ(outcome.closest[0], (std::pair<int, std::string>{4, "WHITELIST FROM @PARTNER.EXAMPL"}));
  EXPECT_EQ(outcome.closest[1].first, 5);
}

}  // namespace
