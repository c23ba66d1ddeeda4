#include "admin/lint/lint_file.h"

#include <algorithm>
#include <bitset>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "admin/rule_text/rule_text.h"
#include "checker/check_observer.h"
#include "checker/rule_file.h"
#include "checker/rule_line.h"
#include "checker/rule_match.h"
#include "checker/rule_reader.h"
#include "common/host.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

using namespace lint_check;

// A REDIRECT that applies to both of these applies to every recipient: only
// the domain form "@" is found in both.
const std::vector<std::string> kAnyRecipient = {"A@B", "B@C"};

// A piece the engine read, and what it made of it.
struct Piece {
  RuleLine line;
  bool taken = false;  // classified: neither skipped nor a comment
  RuleLineKind kind = RuleLineKind::Invalid;
  bool invalid = false;  // logged as an invalid entry
  InvalidReason why = InvalidReason::None;
};

class PieceRecorder : public CheckObserver {
 public:
  explicit PieceRecorder(std::vector<Piece>& pieces) : pieces_(pieces) {}
  void rule_line_read(const char*, const RuleLine& line) override { pieces_.push_back(Piece{line}); }
  void rule_line_taken(const char*, const RuleLine&, RuleLineKind kind) override {
    pieces_.back().taken = true;
    pieces_.back().kind = kind;
  }
  void invalid_entry(const char*, const RuleLine&, InvalidReason why) override {
    pieces_.back().invalid = true;
    pieces_.back().why = why;
  }

 private:
  std::vector<Piece>& pieces_;
};

class LentReader : public RuleLineReader {
 public:
  explicit LentReader(RuleLineReader& reader) : reader_(reader) {}
  bool next(RuleLine& line) override { return reader_.next(line); }

 private:
  RuleLineReader& reader_;
};

// Gives the engine the file under lint once; every other path (a REDIRECT's
// target) is missing, so the evaluation never leaves the file.
class OneFileSource : public RuleSource {
 public:
  OneFileSource(const std::string& path, RuleLineReader& reader) : path_(path), reader_(reader) {}
  std::unique_ptr<RuleLineReader> open(const char* path) override {
    if (lent_ || path_ != path) return nullptr;
    lent_ = true;
    return std::make_unique<LentReader>(reader_);
  }

 private:
  const std::string& path_;
  RuleLineReader& reader_;
  bool lent_ = false;
};

// The pieces recorded, read again.
class PieceReader : public RuleLineReader {
 public:
  explicit PieceReader(const std::vector<Piece>& pieces) : pieces_(pieces) {}
  bool next(RuleLine& line) override {
    if (next_ == pieces_.size()) return false;
    line = pieces_[next_++].line;
    return true;
  }

 private:
  const std::vector<Piece>& pieces_;
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
int redirect_for_all(const std::string& path, const std::vector<Piece>& pieces,
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

// The rules of one field seen so far, to find for a later rule the earliest
// one whose text occurs in its text: that one hits whenever it would.
class RuleIndex {
 public:
  struct Seen {
    int line;
    Verdict list;
    std::string_view text;
  };

  const Seen* shadowing(std::string_view text) const {
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

  void add(int line, Verdict list, const char* text) {
    const std::string_view view = texts_.emplace_back(text);
    if (!first_.emplace(view, Seen{line, list, view}).second) return;
    std::vector<std::size_t>& lengths = view.size() < 2 ? short_lengths_ : lengths_;
    const auto at = std::lower_bound(lengths.begin(), lengths.end(), view.size());
    if (at == lengths.end() || *at != view.size()) lengths.insert(at, view.size());
    if (view.size() >= 2) starts_[bigram(view.data())] = true;
  }

 private:
  static std::size_t bigram(const char* p) {
    return static_cast<unsigned char>(p[0]) << 8 | static_cast<unsigned char>(p[1]);
  }

  std::deque<std::string> texts_;  // never moved, so the views stay valid
  std::unordered_map<std::string_view, Seen> first_;
  std::vector<std::size_t> lengths_, short_lengths_;  // sorted
  std::bitset<65536> starts_;
};

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " and " : ", ";
    text += items[i];
  }
  return text;
}

class FileLinter {
 public:
  FileLinter(const std::string& path, const FileLintOptions& options, FileLint& result)
      : path_(path), options_(options), result_(result) {}

  void run(std::FILE* file) {
    TextReader text(file);
    TextRuleLineReader reader(text);
    {
      OneFileSource source(path_, reader);
      PieceRecorder recorder(pieces_);
      evaluate_rule_file(path_.c_str(), RuleInputs{"", "", ""}, source, recorder);
    }
    for (const Piece& piece : pieces_) {
      follow_physical_line(piece.line, &piece);
      check_piece(piece);
    }
    RuleLine line;
    while (reader.next(line)) beyond_limit_piece(line);
    end_physical_line();
    report_beyond_limit();
    find_ctrl_z(file);
    report_encoding();
    if (!result_.redirects.empty()) {
      if (!options_.recipients.empty())
        result_.redirect_for_given = redirect_for_all(path_, pieces_, options_.recipients);
      result_.redirect_for_anyone = redirect_for_all(path_, pieces_, kAnyRecipient);
    }
  }

 private:
  struct PhysicalLine {
    int line = 0;
    int counter = 0;
    long long characters = 0;
    long long pieces = 0;
    long long read = 0;
    int last_counter = 0;
    std::vector<std::string> rest_taken_as;
  };

  void add(int line, int counter, Severity severity, const char* check, std::string message) {
    result_.findings.push_back(Finding{line, counter, severity, check, std::move(message)});
  }
  void add(const RuleLine& at, Severity severity, const char* check, std::string message) {
    add(at.editor_line, at.counter, severity, check, std::move(message));
  }

  void follow_physical_line(const RuleLine& line, const Piece* read) {
    if (!line.continued) {
      end_physical_line();
      physical_ = PhysicalLine{};
      physical_.line = line.editor_line;
      physical_.counter = line.counter;
    }
    physical_.characters += static_cast<long long>(line.size) - (line.raw[line.size - 1] == '\n');
    ++physical_.pieces;
    if (read) {
      ++physical_.read;
      physical_.last_counter = line.counter;
      if (line.continued) {
        std::string as = taken_as(line, read->taken, read->kind, read->invalid);
        std::vector<std::string>& rest = physical_.rest_taken_as;
        if (std::find(rest.begin(), rest.end(), as) == rest.end()) rest.push_back(std::move(as));
      }
    }
    result_.lines = line.editor_line;
  }

  void end_physical_line() {
    if (rest_invalid_more_ > 0)
      result_.findings[rest_invalid_].message += " (and so are " + std::to_string(rest_invalid_more_) +
                                                 " more pieces of this line)";
    rest_invalid_more_ = 0;
    const PhysicalLine& l = physical_;
    if (l.pieces < 2 || l.read == 0) return;
    std::string message = "line of " + counted(l.characters, "character") +
                          ", over the " + std::to_string(kLongestWholeLine) +
                          " the checker reads at once: it reads this line as " +
                          std::to_string(l.pieces) + " lines";
    if (l.read < l.pieces) message += " (only the first " + std::to_string(l.read) + " before its line limit)";
    if (!l.rest_taken_as.empty()) message += ", taking the rest as " + joined(l.rest_taken_as);
    const int ahead = l.last_counter - l.line;
    if (l.read == l.pieces && ahead > 0)
      message += "; after it the checker's line numbers run " + std::to_string(ahead) + " ahead of the editor's";
    add(l.line, l.counter, Severity::Warning, kLongLine, message);
    physical_ = PhysicalLine{};
  }

  void beyond_limit_piece(const RuleLine& line) {
    follow_physical_line(line, nullptr);
    const char* text = line.text + std::strspn(line.text, " ");
    if (!first_unread_ && !line.continued && !line.skipped && *text && !is_comment(text))
      first_unread_ = line.editor_line;
  }

  void report_beyond_limit() {
    if (!first_unread_) return;
    const RuleLine& last = pieces_.back().line;
    std::string message = "never read: the checker stops reading this file after line " +
                          std::to_string(last.editor_line);
    if (last.counter != last.editor_line) message += " (its line " + std::to_string(last.counter) + ")";
    const int after = result_.lines - first_unread_;
    message += after > 0 ? "; this line and the " + counted(after, "line") + " after it are ignored"
                         : "; this line is ignored";
    add(first_unread_, 0, Severity::Error, kBeyondLimit, message);
  }

  void check_piece(const Piece& piece) {
    check_bytes(piece);
    if (!piece.taken) return;
    const RuleLine& line = piece.line;
    if (piece.invalid) {
      // The rest of a long line is one finding, however many pieces it gives.
      if (line.continued && rest_invalid_ >= 0 && result_.findings[rest_invalid_].line == line.editor_line) {
        ++rest_invalid_more_;
      } else {
        if (line.continued) rest_invalid_ = static_cast<int>(result_.findings.size());
        add(line, Severity::Error, kInvalidEntry, invalid_entry_message(line, piece.why));
      }
    }
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

  // Byte order marks, zero and control bytes, and text after a tab.
  void check_bytes(const Piece& piece) {
    const RuleLine& line = piece.line;
    const auto* raw = reinterpret_cast<const unsigned char*>(line.raw);
    if (line.counter == 1) {
      utf16_ = line.size >= 2 && ((raw[0] == 0xFF && raw[1] == 0xFE) || (raw[0] == 0xFE && raw[1] == 0xFF));
      bom_ = line.size >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF;
    }
    if (std::memchr(raw, 0, line.size) && line.editor_line != last_zero_line_) {
      if (!zero_lines_) zero_at_ = line;
      ++zero_lines_;
      last_zero_line_ = line.editor_line;
    }
    if (line.skipped || is_comment(line.text)) return;
    std::size_t end = line.size - (raw[line.size - 1] == '\n');
    std::size_t cut = 0;
    while (cut < end && raw[cut] > 31) ++cut;
    if (cut == end || raw[cut] == 0) return;
    if (raw[cut] != '\t') {
      if (line.editor_line != last_control_line_) {
        if (!control_lines_) {
          control_at_ = line;
          control_byte_ = raw[cut];
        }
        ++control_lines_;
        last_control_line_ = line.editor_line;
      }
      return;
    }
    for (std::size_t i = cut + 1; i < end; ++i)
      if (raw[i] != ' ' && raw[i] != '\t') {
        char read[kTextSize];
        std::memcpy(read, line.text, sizeof read);
        add(line, Severity::Warning, kTab,
            "text after a tab is ignored: the checker reads this line as " + lint_quoted(trim_spaces(read)));
        return;
      }
  }

  void find_ctrl_z(std::FILE* file) {
    std::rewind(file);
    unsigned char buffer[1 << 16];
    int line = 1;
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      const auto* z = static_cast<const unsigned char*>(std::memchr(buffer, 26, n));
      const std::size_t upto = z ? static_cast<std::size_t>(z - buffer) : n;
      line += static_cast<int>(std::count(buffer, buffer + upto, '\n'));
      if (!z) continue;
      if (upto + 1 < n || std::fgetc(file) != EOF)
        add(line, 0, Severity::Warning, kEncoding,
            "Ctrl-Z (byte 26) ends the file for the checker: nothing after it is read");
      return;
    }
  }

  void report_encoding() {
    if (utf16_)
      add(1, 1, Severity::Error, kEncoding,
          "the file is saved as UTF-16: every other byte is zero and the checker reads no valid line; save it as "
          "ANSI or ASCII text");
    if (bom_)
      add(1, 1, Severity::Error, kEncoding,
          "the file begins with a UTF-8 byte-order mark, which the checker reads as part of the first line; save "
          "it without one (as ANSI or ASCII text)");
    if (zero_lines_ && !utf16_)
      add(zero_at_, Severity::Error, kEncoding,
          "zero byte: the checker ends a line at a zero byte and skips a line that begins with one" +
              std::string(zero_lines_ > 1 ? " (" + counted(zero_lines_, "line") + " hold zero bytes)" : ""));
    if (control_lines_)
      add(control_at_, Severity::Warning, kEncoding,
          "control byte 0x" + hex_digits(control_byte_) + ": the checker ignores the rest of the line from it" +
              std::string(control_lines_ > 1 ? " (" + counted(control_lines_, "line") + " hold control bytes)"
                                             : ""));
  }

  void check_keyword_in_rule(const Piece& piece) {
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

  void check_directive(const Piece& piece) {
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

  void check_redirect(const Piece& piece) {
    RedirectWords words;
    if (!split_redirect(piece.line.text, words)) return;
    result_.redirects.push_back(RedirectLink{piece.line.editor_line, piece.line.counter, words.file});
    if (directive_line_ && directive_ == RuleLineKind::Strict)
      add(piece.line, Severity::Error, kRedirectAfterStrict,
          "REDIRECT after the STRICT at line " + std::to_string(directive_line_) +
              ": for the recipients it applies to, the checker refuses it (\"Invalid REDIRECT with STRICT\"), "
              "never reads " + words.file + " and stops the cascade without a verdict");
  }

  void check_rule(const Piece& piece) {
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

  void check_lookalike(const RuleLine& line, const RuleTest& test) {
    const std::string text = test.text;
    const std::string example =
        (text[0] == '@' ? "X" : "") + text + (text.back() == '@' ? "EVIL.TEST" : ".EVIL.TEST");
    if (match_rule(line.text, example.c_str()) != Verdict::Whitelisted) return;
    add(line, Severity::Note, kLookalikeDomain,
        lint_quoted(text) + " is looked for anywhere in the sender, so this rule also whitelists look-alikes such as " +
            example);
  }

  const std::string& path_;
  const FileLintOptions& options_;
  FileLint& result_;
  std::vector<Piece> pieces_;
  PhysicalLine physical_;
  int rest_invalid_ = -1;  // the finding on the rest of the latest long line that was an invalid entry
  int rest_invalid_more_ = 0;
  int first_unread_ = 0;
  bool utf16_ = false, bom_ = false;
  int zero_lines_ = 0, last_zero_line_ = 0;
  RuleLine zero_at_;
  int control_lines_ = 0, last_control_line_ = 0;
  RuleLine control_at_;
  unsigned char control_byte_ = 0;
  RuleLineKind directive_ = RuleLineKind::Invalid;
  int directive_line_ = 0;
  RuleIndex rules_[2];  // FROM, SUBJECT
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool lint_rule_file(const std::string& path, const FileLintOptions& options, FileLint& result) {
  const std::unique_ptr<std::FILE, FileCloser> file(host_open_read(path.c_str()));
  if (!file) return false;
  result = FileLint{};
  FileLinter(path, options, result).run(file.get());
  return true;
}
