#include "admin/explain/explain.h"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "admin/explain/explain_sources.h"
#include "admin/activity_log/log_files.h"
#include "admin/options.h"
#include "admin/rule_tree/rule_tree.h"
#include "admin/rule_text/rule_text.h"
#include "checker/activity_log.h"
#include "checker/limits.h"
#include "checker/log_trace.h"
#include "checker/log_words.h"
#include "checker/message_check.h"
#include "checker/rule_match.h"
#include "common/host.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

const char* level_name(CascadeLevel level) {
  switch (level) {
    case CascadeLevel::User:
      return "User rule file";
    case CascadeLevel::Domain:
      return "Domain rule file";
    case CascadeLevel::Program:
      return "Program rule file";
  }
  return "";
}

const char* log_level_name(LogLevel level) {
  switch (level) {
    case LogLevel::Low:
      return "LOW";
    case LogLevel::Mid:
      return "MID";
    case LogLevel::High:
      return "HIGH";
    case LogLevel::Debug:
      return "DEBUG";
  }
  return "";
}

std::string where(const std::string& file, const RuleLine& line) {
  std::string text = file + ":" + std::to_string(line.editor_line);
  if (line.counter != line.editor_line) text += " (checker line " + std::to_string(line.counter) + ")";
  return text;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string verdict_word(Verdict verdict) {
  switch (verdict) {
    case Verdict::Whitelisted:
      return "whitelisted";
    case Verdict::Blacklisted:
      return "blacklisted";
    case Verdict::None:
      break;
  }
  return "no verdict";
}

// Collects the explanation of the rule files as lines, so that the line
// that decides can be marked once the cascade has ended. Files are named as
// a person opens them (shown); a run of pieces that begin with a zero byte
// is one line, so that the explanation holds at most a line or two for each
// piece the checker examines.
class Explanation : public CheckObserver {
 public:
  explicit Explanation(const ExplainSources& files) : files_(files) {}

  std::vector<std::string> lines;
  std::string last_envelope_line;

  void envelope_line(int, const char* as_read) override {
    last_envelope_line = as_read;
    while (!last_envelope_line.empty() &&
           (last_envelope_line.back() == '\n' || last_envelope_line.back() == '\r'))
      last_envelope_line.pop_back();
  }

  void cascade_file(CascadeLevel level, const std::string& path) override {
    lines.push_back(std::string(level_name(level)) + " " + heading(path));
  }

  // The file as the checker names it (as a person opens it), and the file
  // read for it when that is another (a candidate tree, --from-dir).
  std::string heading(const std::string& path) const {
    const std::string named = host_native_path(path.c_str());
    return files_.read_path(path) == path ? named : named + " (read from " + files_.shown(path) + ")";
  }

  void rule_file_opening(const char* path, int depth) override {
    end_skipped();
    depth_ = depth;
    if (depth > 0) say("REDIRECT followed to " + heading(path));
  }

  void rule_file_missing(const char*, int) override {
    say("  cannot be opened: decides nothing");
    missing_ = true;
  }

  void rule_line_read(const char* path, const RuleLine& line) override {
    if (line.skipped) {
      skipped(path, line);
      return;
    }
    end_skipped();
    std::string text = "  " + where(files_.shown(path), line) + ": ";
    text += line.text;
    if (line.continued)
      text += "    (the rest of a line longer than " + std::to_string(kLongestWholeLine) +
              " characters, read as a line of its own)";
    mark_[{path, line.counter}] = lines.size();
    say(text);
    if (is_comment(line.text)) say("      comment");
  }

  void rule_line_taken(const char*, const RuleLine& line, RuleLineKind kind) override {
    const bool list_word = begins_with_list_word(line.text);
    switch (kind) {
      case RuleLineKind::Strict:
        say(std::string("      STRICT: when no rule of this file hits, the message is blacklisted") +
            (list_word ? " (the word STRICT counts anywhere in a line, so this rule is not tested)" : ""));
        break;
      case RuleLineKind::NoDomain:
        say(std::string("      NO DOMAIN: when no rule of this file hits, the cascade stops without a verdict") +
            (list_word ? " (NO DOMAIN counts anywhere in a line, so this rule is not tested)" : ""));
        break;
      case RuleLineKind::Redirect:
        if (list_word) say("      taken as REDIRECT: the word REDIRECT counts anywhere in a line");
        break;
      default:
        break;
    }
  }

  void invalid_entry(const char*, const RuleLine& line, InvalidReason why) override {
    say("      invalid entry: " + invalid_entry_message(line, why) + "; logged at MID, otherwise ignored");
  }

  void rule_tested(const char*, const RuleLine& line, const char* target, Verdict verdict) override {
    const RuleTest test = rule_test(line.text);
    const bool from = test.field == RuleField::From;
    std::string text = std::string("      ") + list_word(test.list) +
                       (from ? " FROM rule: looks for " : " SUBJECT rule: looks for ") + quoted(test.text) +
                       " in the " + (from ? "sender " : "subject ") + quoted(target) + ": ";
    say(text + (verdict == Verdict::None ? "no hit" : "hit, the file gives " + verdict_word(verdict)));
  }

  void redirect_line(const char*, const RuleLine&, const RedirectWords& words, bool applies) override {
    const bool domain = words.target[0] == '@';
    say(std::string("      REDIRECT to ") + words.file + " for recipients " +
        (domain ? "containing " : "beginning with ") + words.target + ": " +
        (applies ? "applies; this file's other lines are not read" : "does not apply to this recipient"));
  }

  void redirect_after_strict(const char*, const RuleLine&, const char* file) override {
    say(std::string("      REDIRECT after STRICT is refused (\"Invalid REDIRECT with STRICT\"): ") + file +
        " is not read and the cascade stops without a verdict");
  }

  void redirect_too_deep(const char*, const RuleLine&, const char* file) override {
    say(std::string("      REDIRECT chain too deep: ") + file + " is not read (the checker follows " +
        std::to_string(kMaxRedirectDepth) + " REDIRECTs); the file gives its fall-back result");
  }

  void rule_file_done(const char* path, int depth, const RuleDecision& decision) override {
    end_skipped();
    depth_ = depth;
    if (decision.by == DecidedBy::Strict || decision.by == DecidedBy::NoDomain) {
      if (decision.file == path)
        say(std::string("  no rule hit: the ") + (decision.by == DecidedBy::Strict ? "STRICT" : "NO DOMAIN") +
            " at line " + std::to_string(decision.editor_line) + " decides");
    } else if (decision.by == DecidedBy::Nothing && !missing_) {
      say("  decides nothing");
    }
    missing_ = false;
    if (depth > 0) say("REDIRECT returns");
  }

  // Marks the line that decided the cascade.
  void mark(const RuleDecision& decision) {
    const auto it = mark_.find({decision.file, decision.counter});
    if (it != mark_.end()) lines[it->second] += "    <== decides";
  }

 private:
  void say(const std::string& text) { lines.push_back(std::string(2 * static_cast<std::size_t>(depth_), ' ') + text); }

  // Pieces that begin with a zero byte, one after another: one line, written
  // when the run ends (a file of them may hold millions).
  void skipped(const char* path, const RuleLine& line) {
    if (skipped_.count == 0) {
      skipped_.line = lines.size();
      skipped_.file = files_.shown(path);
      skipped_.first = where(skipped_.file, line);
      say("");
    }
    ++skipped_.count;
    skipped_.last = line.editor_line;
  }

  void end_skipped() {
    if (skipped_.count == 0) return;
    std::string text = "  " + skipped_.first;
    if (skipped_.count > 1)
      text += " to " + skipped_.file + ":" + std::to_string(skipped_.last) + " (" +
              counted(skipped_.count, "piece") + "): each begins";
    else
      text += ": begins";
    lines[skipped_.line] += text + " with a zero byte: counted, not examined";
    skipped_ = {};
  }

  struct SkippedRun {
    std::size_t line = 0;  // in lines, indented already
    std::string file, first;  // the file shown, and FILE:LINE of its first piece
    int last = 0;             // the editor line of its last piece
    long count = 0;
  };

  const ExplainSources& files_;
  int depth_ = 0;
  bool missing_ = false;
  SkippedRun skipped_;
  std::map<std::pair<std::string, int>, std::size_t> mark_;
};

const char* decided_by(DecidedBy by) {
  switch (by) {
    case DecidedBy::Rule:
      return "the rule at ";
    case DecidedBy::Strict:
      return "STRICT at ";
    case DecidedBy::NoDomain:
      return "NO DOMAIN at ";
    case DecidedBy::RedirectAfterStrict:
      return "a REDIRECT after STRICT at ";
    case DecidedBy::Nothing:
      break;
  }
  return "";
}

// What ended the check, for the verdict line.
std::string reason(const MessageCheck& check, const ExplainSources& files) {
  if (!check.envelope_opened) {
    if (check.envelope_path.empty())
      return "the message path is longer than " + std::to_string(kTextSize - 1) + " characters";
    if (check.envelope_path == "~BAD")
      return "no envelope file name follows from the message path (it needs one \".\", followed by "
             "three characters, in the file name and none before), so the checker looks for ~BAD and finds none";
    return "the envelope file cannot be opened";
  }
  switch (check.outcome) {
    case EnvelopeOutcome::BadSender:
      return "the envelope's sender line holds no address (Bad Mail From Address)";
    case EnvelopeOutcome::BadRecipient:
      return "the envelope's recipient line holds no address (Bad Mail To Address)";
    case EnvelopeOutcome::NoRecipient:
      return "the envelope names no recipient (Mail To missing)";
    case EnvelopeOutcome::Found:
      break;
  }
  const RuleDecision& d = check.decision;
  if (d.by == DecidedBy::Nothing) return "no rule file decided";
  return decided_by(d.by) + files.shown(d.file) + ":" + std::to_string(d.editor_line);
}

void print_message(const MessageCheck& check, const Explanation& explanation, Console& out) {
  out.print("Message\n");
  if (!check.envelope_path.empty())
    out.print("  envelope file  " + host_native_path(check.envelope_path.c_str()) + "\n");
  if (!check.envelope_opened) return;
  if (check.outcome != EnvelopeOutcome::Found) {
    if (!explanation.last_envelope_line.empty())
      out.print("  last line read  " + printable(explanation.last_envelope_line) + "\n");
    return;
  }
  const Envelope& e = check.envelope;
  out.print(std::string("  sender         ") + (e.sender[0] ? e.sender : "(none: FROM rules are not tested)") + "\n");
  out.print(std::string("  recipient      ") + e.recipient + " (user " + e.local_part + ", domain " + e.domain +
            ")\n");
  out.print("  subject        " + (check.subject.empty() ? std::string("(none: SUBJECT rules are not tested)")
                                                         : quoted(check.subject)) +
            "\n");
}

void print_explanation(const MessageCheck& check, Explanation& explanation, const ExplainSources& files,
                       Console& out) {
  print_message(check, explanation, out);
  if (check.outcome == EnvelopeOutcome::Found && check.envelope_opened) {
    explanation.mark(check.decision);
    out.print("\n");
    for (const std::string& text : explanation.lines) out.print(text + "\n");
    for (int i = check.files_evaluated; i < kCascadeLevels; ++i)
      out.print(std::string(level_name(kCascade[i])) + " " + explanation.heading(check.rule_files[i]) +
                "\n  not read: the cascade ended\n");
  }
  out.print("\nVerdict    " + verdict_word(check.verdict) + ": " + reason(check, files) + "\n");
  out.print("Exit code  " + std::to_string(exit_code(check.verdict)) + "\n");
  if (check.result_line.empty())
    out.print("Log line   \"" + std::string(result_words(ResultKind::Unopenable)) + "\" (written at MID and above)\n");
  else
    out.print("Log line   " + check.result_line + "\n           (written at " + log_level_name(check.threshold) +
              " and above)\n");
}

// Checks the message (check_with runs the checker on it, watched) and
// prints the account, or with quiet the verdict alone (a note then on err).
template <typename Check>
MessageCheck explain_run(const ExplainSetting& setting, Console& out, Console* err, const Check& check_with) {
  MessageCheck check;
  const std::string& directory = setting.directory;
  if (directory.size() > kMaxProgramDirectory) {
    out.print("The program directory " + directory + " is longer than " + std::to_string(kMaxProgramDirectory) +
              " characters: QUORVANT ends every run there with exit code 0 and writes nothing.\n"
              "\nExit code  0\n");
    return check;  // no verdict
  }
  const LocalTime now = host_local_time();
  // What the run would append to the day's log, as it goes.
  std::string appended;
  LogTrace trace(setting.level, appended);
  ExplainSources files(directory, setting.start, candidate_map(directory, setting.candidate), now, appended);
  Explanation explanation(files);
  ObserverPair observers(trace, explanation);
  check = check_with(start_time_text(now), files, observers);

  // A directory without rule files is most likely not the program directory.
  std::string note;
  const std::string rules = host_native_path(setting.candidate.empty() ? "." : setting.candidate.c_str());
  if (!readable_directory(setting.candidate))
    note = "Note: the program directory " + rules + " cannot be read (" + host_error_text() +
           "), so no rule file in it can be opened.\n";
  else if (!holds_rule_files(setting.candidate))
    note = "Note: the program directory " + rules +
           " holds no rule file (*.QUORVANT), so QUORVANT decides nothing there: is it the right directory?\n";
  if (setting.quiet) {
    if (err) err->print(note);
    out.print(verdict_word(check.verdict) + ": " + reason(check, files) + "\n");
  } else {
    if (!note.empty()) out.print(note + "\n");
    print_explanation(check, explanation, files, out);
  }
  return check;
}

}  // namespace

const Usage kExplainUsage = {
    "QVADMIN explain [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--from-dir DIR] [--level LEVEL] [--quiet]\n"
    "                MESSAGE_PATH\n"
    "QVADMIN explain [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--from-dir DIR] [--level LEVEL] [--quiet]\n"
    "                --from ADDRESS --to ADDRESS [--subject TEXT]\n",
    "\n"
    "Puts one message through QUORVANT's own code and shows what the checker saw, every rule\n"
    "line it read, how it took each, and the line that decided. The message is a spooled\n"
    "message file, or the sender, recipient and Subject given on the command line.\n"
    "\n"
    "  --dir PROGRAM_DIR      the directory of QUORVANT.EXE and its rule files (default: the\n"
    "                         directory of QVADMIN itself)\n"
    "  --rules CANDIDATE_DIR  a candidate tree, read as it will be once it is live (as replay\n"
    "                         reads it)\n"
    "  --from-dir DIR         the directory the mail filter starts QUORVANT in: relative\n"
    "                         REDIRECT paths count from there (default: the current directory)\n"
    "  --level LEVEL          the checker's log level, LOW, MID (default), HIGH or DEBUG: what\n"
    "                         a REDIRECT to the day's activity log reads\n"
    "  --quiet                print only the verdict and what decided it\n"
    "  --from ADDRESS         the envelope's sender (\"\" for an envelope without one)\n"
    "  --to ADDRESS           the envelope's recipient\n"
    "  --subject TEXT         the message's Subject\n"
    "\n"
    "Exit code: the checker's own (1 whitelisted, 100 blacklisted, 0 no verdict), or 2 for a\n"
    "mistake on the command line.\n",
};

int run_explain(CommandLine& line) {
  Options options;
  if (int code; !read_options(
          line, {{"--dir", "--rules", "--from-dir", "--level", "--from", "--to", "--subject"}, {"--quiet"}}, options,
          code))
    return code;
  const bool by_address = options.has("--from") || options.has("--to") || options.has("--subject");
  if (by_address ? !(options.has("--from") && options.has("--to") && options.words.empty())
                 : options.words.size() != 1)
    return mistake(line, by_address ? "give --from and --to, and no message path" : "give one message path");
  ExplainSetting setting;
  if (const std::string* word = options.value("--level")) {
    const std::optional<LogLevel> named = log_level_word(upper_case(*word).c_str());
    if (!named) return mistake(line, "--level " + *word + ": give LOW, MID, HIGH or DEBUG");
    setting.level = *named;
  }
  setting.directory = program_directory_option(line, options.value("--dir"));
  setting.candidate = setting.directory;
  for (const auto& [option, value] : {std::pair{"--rules", &setting.candidate}, {"--from-dir", &setting.start}}) {
    const std::string* word = options.value(option);
    if (!word) continue;
    *value = program_directory_option(line, word);
    if (!readable_directory(*value))
      return mistake(line, std::string(option) + " " + *word + ": not a directory that can be read: " +
                               host_error_text());
  }
  setting.quiet = options.has("--quiet");
  if (by_address) {
    const std::string* subject = options.value("--subject");
    return exit_code(
        explain_by_address(setting, *options.value("--from"), *options.value("--to"), subject, line.out, &line.err)
            .verdict);
  }
  const std::string message_path = host_path_argument(options.words[0].c_str());
  return exit_code(explain_run(setting, line.out, &line.err,
                               [&](const std::string& start_time, RuleSource& files, CheckObserver& observer) {
                                 return check_message(setting.directory, message_path.c_str(), start_time, files,
                                                      observer);
                               })
                       .verdict);
}

MessageCheck explain_by_address(const ExplainSetting& setting, const std::string& from, const std::string& to,
                                const std::string* subject, Console& out, Console* err) {
  return explain_run(setting, out, err, [&](const std::string& start_time, RuleSource& files, CheckObserver& observer) {
    // The addresses and the Subject go through the reading of envelope and
    // message lines, as if the mail filter had written them.
    // An empty sender stands for an envelope without a sender line.
    const std::string envelope = (from.empty() ? "" : "FROM: " + from + "\r\n") + "TO: " + to + "\r\n";
    const std::string message = subject ? "Subject: " + *subject + "\r\n" : "";
    TextReader envelope_reader(envelope.data(), envelope.size());
    TextReader message_reader(message.data(), message.size());
    return check_envelope(setting.directory, "-", envelope_reader, message_reader, start_time, files, observer);
  });
}

MessageCheck explain_by_address(const std::string& directory, const std::string& from, const std::string& to,
                                const std::string* subject, bool quiet, Console& out) {
  ExplainSetting setting;
  setting.directory = setting.candidate = directory;
  setting.quiet = quiet;
  return explain_by_address(setting, from, to, subject, out, nullptr);
}
