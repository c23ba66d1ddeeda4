// What the rule-change commands share: the trees named by --dir and --rules,
// the steps from plan to write (planned again while the files change under
// it), and how a plan, findings and a preview are printed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "admin/change/change_plan.h"
#include "admin/command.h"
#include "admin/options.h"

inline constexpr int kExitRefused = 1;

// The trees of --dir (live) and --rules (the tree changed; the live one
// without it); nullopt after saying why on standard error.
std::optional<ChangeTrees> trees_of(CommandLine& line, const Options& options);

struct ChangeSteps {
  // Plans the change and prints it (again: the files changed since the last
  // plan); nullopt when planned, else the exit code, the reason printed.
  std::function<std::optional<int>(ChangePlan& plan, bool again)> plan;
  bool check = true;              // lint before and after; new errors refuse it
  bool can_force = false;         // ... unless the command can be forced
  bool force = false;             // and is
  std::vector<std::string> logs;  // replayed against the changed tree before it is written
  bool dry_run = false;
  bool confirm = false;  // asks first, unless yes
  bool yes = false;
};

// Takes the change through its steps; gives the command's exit code.
int run_change(CommandLine& line, const ChangeSteps& steps);

// "QVADMIN add * WHITELIST ..." as the history records the command.
std::string command_text(const CommandLine& line);

// The lines of a file as an editor numbers them: "    12  text".
std::string numbered(int line, const std::string& text);

// Words that name logs for --preview: their names end with ".LOG".
bool names_log(const std::string& word);
