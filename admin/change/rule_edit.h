// Edits of one rule file's bytes, as an administrator makes them in an
// editor: a rule line added after the last line or before the first rule, a
// rule taken out by its words or by its line number, a line moved. Every byte
// but the change is kept, the file's own line ends are used (CR LF in a new
// file), a file that ends without a line end keeps ending so, and what
// follows a Ctrl-Z (which ends the file for the checker) stays after it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class EditKind {
  Add,         // rule after the file's last line
  AddFirst,    // rule before the first line that is not a comment
  Remove,      // every line that is the rule
  RemoveLine,  // line
  MoveUp,      // line before the one above it
  MoveDown,    // line after the one below it
};

struct RuleEdit {
  EditKind kind = EditKind::Add;
  std::string rule;  // Add, AddFirst, Remove: the rule line's words
  int line = 0;      // RemoveLine, MoveUp, MoveDown: an editor line, from 1
};

enum class EditStatus {
  Done,
  AlreadyThere,  // Add: the rule is in the file (lines)
  NotThere,      // Remove: no line is the rule (closest)
  NoSuchLine,    // the file has no such line, or it cannot move that way
  NotARuleLine,  // the rule is empty or holds a control character (a tab, a line end)
};

struct EditOutcome {
  EditStatus status = EditStatus::Done;
  std::string bytes;       // Done: the file after the edit
  std::vector<int> lines;  // Done: the editor lines added or removed (before the edit); AlreadyThere: where
  std::vector<std::pair<int, std::string>> closest;  // NotThere: up to three lines most like the rule
};

// bytes: the file's content ("" for a file that does not exist yet).
EditOutcome apply_edit(std::string_view bytes, const RuleEdit& edit);

// The lines an editor shows (the checker reads up to the first Ctrl-Z), each
// without its line end.
std::vector<std::string> editor_lines(std::string_view bytes);

// Two lines are the same rule when the checker reads the same text from them:
// letter case, the part after a control character and trailing spaces aside.
bool same_rule(std::string_view a, std::string_view b);
