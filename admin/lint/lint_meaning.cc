#include <algorithm>
#include <cstring>

#include "admin/activity_log/log_files.h"
#include "admin/lint/lint_checks.h"
#include "admin/rule_tree/candidate.h"
#include "admin/rule_text/rule_text.h"
#include "checker/check_observer.h"
#include "checker/rule_file.h"
#include "common/text.h"

using namespace lint_check;

namespace {

// A REDIRECT that applies to both of these applies to every recipient: only
// the domain form "@" is found in both.
const std::vector<std::string> kAnyRecipient = {"A@B", "B@C"};

// The pieces the engine examined, read again.
class PieceReader : public RuleLineReader {
 public:
  explicit PieceReader(const std::vector<RuleLine>& pieces) : pieces_(pieces) {}
  bool next(RuleLine& line) override {
    if (next_ == pieces_.size()) return false;
    line = pieces_[next_++];
    return true;
  }

 private:
  const std::vector<RuleLine>& pieces_;
  std::size_t next_ = 0;
};

// The REDIRECT at which the evaluation of the file itself ends.
class RedirectWatch : public CheckObserver {
 public:
  int applied = 0;  // its counter
  void rule_file_opening(const char*, int depth) override { depth_ = depth; }
  void redirect_line(const char*, const RuleLine& line, const RedirectWords&, bool applies) override {
    if (applies && depth_ == 0 && applied == 0) applied = line.counter;
  }

 private:
  int depth_ = 0;
};

// The counter of the REDIRECT at which the engine leaves the file for each of
// the recipients, when it is the same one for all of them; else 0.
int redirect_for_all(const std::string& path, const std::vector<RuleLine>& pieces,
                     const std::vector<std::string>& recipients) {
  int common = 0;
  for (const std::string& recipient : recipients) {
    PieceReader again(pieces);
    OneFileSource source(path, again);
    RedirectWatch watch;
    evaluate_rule_file(path.c_str(), RuleInputs{"", "", recipient.c_str()}, source, watch);
    if (watch.applied == 0 || (common != 0 && watch.applied != common)) return 0;
    common = watch.applied;
  }
  return common;
}

const char* list_verb(Verdict verdict) { return verdict == Verdict::Whitelisted ? "whitelist" : "blacklist"; }

}  // namespace

const RuleIndex::Seen* RuleIndex::shadowing(std::string_view text) const {
  const Seen* best = nullptr;
  auto consider = [&](std::string_view part) {
    const auto it = first_.find(part);
    if (it != first_.end() && (!best || it->second.line < best->line)) best = &it->second;
  };
  for (std::size_t length : short_lengths_)
    for (std::size_t i = 0; i + length <= text.size(); ++i) consider(text.substr(i, length));
  // Longer texts are looked for only where a known text begins.
  for (std::size_t i = 0; i + 2 <= text.size(); ++i) {
    if (!starts_[bigram(text.data() + i)]) continue;
    for (std::size_t length : lengths_) {
      if (i + length > text.size()) break;
      consider(text.substr(i, length));
    }
  }
  return best;
}

void RuleIndex::add(int line, Verdict list, const char* text) {
  const std::string_view view = texts_.emplace_back(text);
  if (!first_.emplace(view, Seen{line, list, view}).second) return;
  std::vector<std::size_t>& lengths = view.size() < 2 ? short_lengths_ : lengths_;
  const auto at = std::lower_bound(lengths.begin(), lengths.end(), view.size());
  if (at == lengths.end() || *at != view.size()) lengths.insert(at, view.size());
  if (view.size() >= 2) starts_[bigram(view.data())] = true;
}
void MeaningCheck::piece(const Piece& piece) {
  if (!piece.read || piece.line.skipped) return;
  read_.push_back(piece.line);
  if (!piece.taken) return;
  const RuleLine& line = piece.line;
  check_tab(line);
  if (piece.invalid) check_invalid(piece);
  const bool list_word = begins_with_list_word(line.text);
  switch (piece.kind) {
    case RuleLineKind::Strict:
    case RuleLineKind::NoDomain:
      if (list_word) check_keyword_in_rule(piece);
      check_directive(piece);
      break;
    case RuleLineKind::Redirect:
      if (list_word) check_keyword_in_rule(piece);
      if (!piece.invalid) check_redirect(piece);
      break;
    case RuleLineKind::FromRule:
    case RuleLineKind::SubjectRule:
      check_rule(piece);
      break;
    case RuleLineKind::Invalid:
      break;
  }
  if (piece.kind != RuleLineKind::Invalid && !piece.invalid)
    result_.acting.push_back(ActingLine{line.editor_line, line.counter});
}

void MeaningCheck::line_end() {
  if (rest_at_ >= 0) {
    std::string message = invalid_entry_message(rest_.line, rest_.why);
    if (rest_more_ > 0) message += " (and so are " + std::to_string(rest_more_) + " more pieces of this line)";
    line_findings_.insert(line_findings_.begin() + rest_at_, Finding{rest_.line.editor_line, rest_.line.counter,
                                                                     Severity::Error, kInvalidEntry, message});
  }
  result_.findings.insert(result_.findings.end(), line_findings_.begin(), line_findings_.end());
  line_findings_.clear();
  rest_at_ = -1;
  rest_more_ = 0;
}

void MeaningCheck::file_end(const FileEnd&) {
  if (result_.redirects.empty()) return;
  if (!options_.recipients.empty()) result_.redirect_for_given = redirect_for_all(path_, read_, options_.recipients);
  result_.redirect_for_anyone = redirect_for_all(path_, read_, kAnyRecipient);
}

// Text after a tab: the checker's line ends at the tab.
void MeaningCheck::check_tab(const RuleLine& line) {
  const auto* raw = reinterpret_cast<const unsigned char*>(line.raw);
  std::size_t end;
  const std::size_t cut = control_cut(line, end);
  if (cut == end || raw[cut] != '\t') return;
  for (std::size_t i = cut + 1; i < end; ++i)
    if (raw[i] != ' ' && raw[i] != '\t') {
      char read[kTextSize];
      std::memcpy(read, line.text, sizeof read);
      add(line, Severity::Warning, kTab,
          "text after a tab is ignored: the checker reads this line as " + lint_quoted(trim_spaces(read)));
      return;
    }
}

// The rest of a long line is one finding, however many pieces it gives.
void MeaningCheck::check_invalid(const Piece& piece) {
  const RuleLine& line = piece.line;
  if (line.continued && rest_at_ >= 0) {
    ++rest_more_;
  } else if (line.continued) {
    rest_at_ = static_cast<int>(line_findings_.size());
    rest_ = piece;
  } else {
    add(line, Severity::Error, kInvalidEntry, invalid_entry_message(line, piece.why));
  }
}

void MeaningCheck::check_keyword_in_rule(const Piece& piece) {
  const char* text = piece.line.text;
  const char* keyword = piece.kind == RuleLineKind::Strict     ? "STRICT"
                        : piece.kind == RuleLineKind::Redirect ? "REDIRECT"
                                                               : "NO DOMAIN";
  const std::size_t at = static_cast<std::size_t>(position_of(text, keyword));
  std::size_t start = at, end = at + std::strlen(keyword);
  while (start > 0 && text[start - 1] != ' ') --start;
  while (text[end] && text[end] != ' ') ++end;
  const std::string word(text + start, end - start);
  std::string message = std::string("holds ") + keyword + (word == keyword ? "" : " (in " + lint_quoted(word) + ")") +
                        ", so the checker takes the whole line as " + keyword + " and never tests the rule";
  RedirectWords words;
  if (piece.kind == RuleLineKind::Strict)
    message += "; every message no rule of this file hits is blacklisted";
  else if (piece.kind == RuleLineKind::NoDomain)
    message += "; when no rule of this file hits, the cascade stops without a verdict";
  else if (split_redirect(text, words))
    message += std::string("; recipients ") + (words.target[0] == '@' ? "holding " : "beginning with ") +
               words.target + " are handed to the rule file " + words.file;
  add(piece.line, Severity::Error, kKeywordInRule, message);
}
void MeaningCheck::check_directive(const Piece& piece) {
  const char* name = piece.kind == RuleLineKind::Strict ? "STRICT" : "NO DOMAIN";
  if (directive_line_) {
    const char* before = directive_ == RuleLineKind::Strict ? "STRICT" : "NO DOMAIN";
    const std::string at = std::to_string(directive_line_);
    add(piece.line, Severity::Warning, kDirectiveConflict,
        directive_ == piece.kind
            ? std::string(name) + " repeated (also at line " + at +
                  "): only the last STRICT or NO DOMAIN read counts"
            : std::string(name) + " after the " + before + " at line " + at +
                  ": when no rule hits, only the last STRICT or NO DOMAIN read counts, so this one decides");
  }
  directive_ = piece.kind;
  directive_line_ = piece.line.editor_line;
}
void MeaningCheck::check_redirect(const Piece& piece) {
  RedirectWords words;
  if (!split_redirect(piece.line.text, words)) return;
  if (is_activity_log_name(words.file)) {
    // Not followed: lint would read a day's log as rules.
    add(piece.line, Severity::Error, kRedirectToLog,
        std::string("REDIRECT to ") + words.file +
            ", a name of the checker's activity logs: the checker appends its own lines to the day's log and "
            "then reads them back as rules, so what the REDIRECT decides changes from message to message");
  } else {
    result_.redirects.push_back(RedirectLink{piece.line.editor_line, piece.line.counter, words.file});
  }
  if (directive_line_ && directive_ == RuleLineKind::Strict)
    add(piece.line, Severity::Error, kRedirectAfterStrict,
        "REDIRECT after the STRICT at line " + std::to_string(directive_line_) +
            ": for the recipients it applies to, the checker refuses it (\"Invalid REDIRECT with STRICT\"), "
            "never reads " + words.file + " and stops the cascade without a verdict");
  if (is_relative_path(words.file))
    add(piece.line, Severity::Warning, kRelativeRedirect,
        std::string("REDIRECT target ") + words.file +
            " is a relative path: the checker reads it from the directory the mail filter starts it in, which "
            "lint cannot know (--from-dir tells it); write the full path");
}

void MeaningCheck::check_rule(const Piece& piece) {
  const RuleLine& line = piece.line;
  const RuleTest test = rule_test(line.text);
  if (!test.usable) return;
  const bool from = test.field == RuleField::From;
  if (from) {
    const long ats = std::count(line.text, line.text + std::strlen(line.text), '@');
    if (ats > 1)
      add(line, Severity::Warning, kSeveralAt,
          "the line holds " + std::to_string(ats) + " \"@\": the checker looks only for " + lint_quoted(test.text) +
              ", the address around the last one");
  }
  if (std::strpbrk(test.text, "*?"))
    add(line, Severity::Warning, kLiteralWildcard,
        lint_quoted(test.text) + " is looked for as written: \"*\" and \"?\" match only themselves, so the rule hits only " +
            (from ? "senders" : "subjects") + " that hold them");
  RuleIndex& index = rules_[from ? 0 : 1];
  if (const RuleIndex::Seen* first = index.shadowing(test.text)) {
    const bool same = first->text == test.text;
    add(line, Severity::Warning, kShadowedRule,
        std::string("never decides: the ") + list_word(first->list) + (from ? " FROM" : " SUBJECT") +
            " rule at line " + std::to_string(first->line) + " looks for " + lint_quoted(std::string(first->text)) +
            (same ? ", the same text," : ", which occurs in this rule's text,") +
            " so it hits first whenever this one would; " +
            (first->list == test.list
                 ? std::string("the verdicts agree (both ") + list_verb(test.list) + ")"
                 : std::string("the verdicts differ: this rule would ") + list_verb(test.list) + ", line " +
                       std::to_string(first->line) + " " + list_verb(first->list) + "s first"));
  } else {
    index.add(line.editor_line, test.list, test.text);
  }
  if (options_.notes && from && test.list == Verdict::Whitelisted) check_lookalike(line, test);
}
void MeaningCheck::check_lookalike(const RuleLine& line, const RuleTest& test) {
  const std::string text = test.text;
  const std::string example =
      (text[0] == '@' ? "X" : "") + text + (text.back() == '@' ? "EVIL.TEST" : ".EVIL.TEST");
  if (match_rule(line.text, example.c_str()) != Verdict::Whitelisted) return;
  add(line, Severity::Note, kLookalikeDomain,
      lint_quoted(text) + " is looked for anywhere in the sender, so this rule also whitelists look-alikes such as " +
          example);
}