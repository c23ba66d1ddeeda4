// The candidate rule tree as replay uses it: each rule file read once (kept)
// and compiled from the checker's own reading and classification of its
// lines, so that a message is decided with one pass over its sender and one
// over its Subject per file instead of testing every rule in turn.
//
// Within a file the checker acts on the first line that ends its reading: a
// rule that hits, or a REDIRECT that applies; with neither, the file gives
// its STRICT or NO DOMAIN fall-back. The compiled file finds the first rule
// that hits with two text matchers (FROM texts over the sender, SUBJECT texts
// over the Subject). When no REDIRECT applies before that rule, the rule
// decides. When a REDIRECT applies first, the file is evaluated by the
// checker's engine itself (evaluate_rule_file on the kept lines). When
// nothing hits, the file gives the result the engine gave it once, at
// compile time, for a message that no line can hit. The replay agreement
// test and the replay fuzz target hold this to the engine.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "admin/activity_log/log_line.h"
#include "admin/replay/kept_rules.h"
#include "admin/replay/text_matcher.h"
#include "checker/limits.h"
#include "checker/verdict.h"

// A message as its result line shows it: upper case, sender and recipient
// extracted, each text at most 99 characters.
struct ReplayMessage {
  std::string_view recipient;  // LOCAL@DOMAIN
  std::string_view local_part, domain;
  std::string_view sender, subject;
};

// What the checker decides now: the kind of its result line and the line that
// decided. file points into the ReplayRules and stays valid until its next
// call; it is the path text as the checker names it (see display_path).
struct ReplayDecision {
  ResultKind kind = ResultKind::NoAction;
  DecidedBy by = DecidedBy::Nothing;
  const std::string* file = nullptr;  // nullptr when no line decided
  int editor_line = 0;
  int counter = 0;
};

// A kept file holds at most the checker's line limit of pieces.
inline constexpr std::size_t kMaxKeptFileBytes = (kRuleLineLimit + 1) * (kTextSize + 64);

class ReplayRules {
 public:
  // top_directory: the program directory the cascade's paths begin with;
  // map turns path texts into the files to read (live into candidate tree).
  ReplayRules(RuleSource& disk, std::string top_directory, DirectoryMap map);
  ~ReplayRules();

  const ReplayDecision& decide(const ReplayMessage& message);

  // The path text of the file a decision's path text reads (below the
  // candidate directory when it names the live one).
  std::string read_path(const std::string& file) const { return map_(file.c_str()); }
  // That file as a person would open it.
  const std::string& display_path(const std::string& file);
  // Past this much memory (with room for the next message's three files)
  // everything kept is dropped and read again when needed, so memory stays
  // bounded whatever the tree and the logs.
  void set_budget(std::size_t bytes) { budget_ = bytes; }
  // Matchers that would take more than this while made get the sparse form.
  void set_dense_limit(std::size_t bytes) { dense_limit_ = bytes; }

 private:
  struct Compiled;
  struct Plan;
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };

  std::size_t bytes() const;
  const Plan& plan_for(const ReplayMessage& message);
  Compiled* compiled(const std::string& path);
  std::shared_ptr<const TextMatcher> matcher(const std::vector<std::pair<std::string, int>>& texts);
  void decide_file(const Compiled& file, RuleDecision& decision_out, bool& by_engine);
  void take_message(const ReplayMessage& message);
  void keep_within_budget();

  std::string top_directory_;
  DirectoryMap map_;
  KeptRuleSource kept_;
  std::unordered_map<std::string, std::unique_ptr<Compiled>> compiled_;  // nullptr: cannot be opened
  std::unordered_map<std::string, std::unique_ptr<Plan>, TextHash, std::equal_to<>> plans_;
  std::unordered_map<std::string, std::shared_ptr<const TextMatcher>> matchers_;
  std::size_t compiled_bytes_ = 0;
  std::size_t budget_ = 32u << 20;
  std::size_t dense_limit_ = TextMatcher::kDenseLimit;
  std::size_t plan_bytes_ = 0;

  // The message being decided, as the engine takes its texts.
  char subject_[kTextSize] = "", trimmed_subject_[kTextSize] = "", sender_[kTextSize] = "", recipient_[kTextSize] = "";
  std::size_t trimmed_subject_size_ = 0;
  std::size_t sender_size_ = 0;
  // Matcher passes of this message, so that files with the same texts share
  // one pass.
  const TextMatcher* last_from_ = nullptr;
  int last_from_hit_ = 0;
  const TextMatcher* last_subject_ = nullptr;
  int last_subject_hit_ = 0;

  std::string engine_file_;  // the file of a decision made by the engine
  std::unordered_map<std::string, std::string> shown_;  // display_path's
  ReplayDecision decision_;
};
