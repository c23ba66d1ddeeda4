// The rule files below a program directory, and who makes the checker read
// each of them: a recipient's file is DOMAIN\USER.QUORVANT, a domain's
// DOMAIN\$default$.QUORVANT, the program's own $default$.QUORVANT; the
// checker's envelope reading and cascade decide which names a recipient can
// reach.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "checker/verdict.h"

class RuleOverlay;

// The folder below a program directory where QVADMIN keeps the history of
// rule changes: "$" is no address character, so no recipient's domain
// names it, and the tree walk passes it by.
inline constexpr char kHistoryFolder[] = "$history$";

// What the checker does with a message to the address as its envelope's
// recipient: the recipient it takes and the rule files its cascade evaluates
// (user, domain, program; empty where it evaluates none), every rule file
// taken as missing. No recipient when it finds none.
struct Cascade {
  std::string recipient;
  std::array<std::string, kCascadeLevels> paths;
  const std::string& path(CascadeLevel level) const { return paths[static_cast<int>(level)]; }
};
Cascade cascade_for(const std::string& program_directory, const std::string& address);
// The same for an envelope file's text.
Cascade cascade_of_envelope(const std::string& program_directory, const std::string& envelope);

struct TreeFile {
  // The path text as the checker's log shows it for a file that a recipient
  // reaches; otherwise the program directory and the names as found.
  std::string path;
  bool regular = true;  // false: a directory or other entry the checker cannot open
  bool anyone = false;  // the program's default file: every recipient reaches it
  // Recipients that stand for all who reach the file: the one recipient of a
  // user's file, two of a domain's file. Empty when none reaches it.
  std::vector<std::string> recipients;
  std::string unreachable_why;  // when no recipient reaches it

  bool reachable() const { return anyone || !recipients.empty(); }
};

struct RuleTree {
  std::vector<TreeFile> files;                     // in the order of the walk
  std::vector<std::string> unreadable_directories; // below the program directory
};

// Every entry named *.QUORVANT (without regard to letter case) below the
// program directory (a path text ending with a backslash, or empty for the
// current directory): regular files, and entries in a place the checker reads
// that it cannot open; the history folder left out. With an overlay, the
// directories are listed as the overlay leaves them. False when the program
// directory cannot be read.
bool walk_rule_tree(const std::string& program_directory, RuleTree& tree, const RuleOverlay* overlay = nullptr);

// True when the program directory or one of its folders holds a rule file
// (a *.QUORVANT entry): a directory without one is most likely not the
// program directory at all.
bool holds_rule_files(const std::string& program_directory);

// True for a name that ends with ".QUORVANT" without regard to letter case.
bool is_rule_file_name(const std::string& name);

// The file a path text opens, as a key: its identity on the host, however
// the path names it ("/" or "\\", letter case, trailing dots, a link); empty
// when the path opens no file.
std::string file_identity_key(const std::string& path);

// Path texts that name the same file give the same key: relative paths taken
// from the current directory, "." and ".." resolved, repeated backslashes
// merged and letter case folded.
class PathKeys {
 public:
  PathKeys();
  explicit PathKeys(std::string current_directory) : cwd_(std::move(current_directory)) {}
  std::string key(const std::string& path) const;

 private:
  std::string cwd_;  // a path text
};
