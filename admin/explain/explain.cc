#include "admin/explain/explain.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "admin/options.h"
#include "admin/rule_text/rule_text.h"
#include "checker/activity_log.h"
#include "checker/limits.h"
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

std::string where(const char* path, const RuleLine& line) {
  std::string text = std::string(path) + ":" + std::to_string(line.editor_line);
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
// that decides can be marked once the cascade has ended.
class Explanation : public CheckObserver {
 public:
  std::vector<std::string> lines;
  std::string last_envelope_line;

  void envelope_line(int, const char* as_read) override {
    last_envelope_line = as_read;
    while (!last_envelope_line.empty() &&
           (last_envelope_line.back() == '\n' || last_envelope_line.back() == '\r'))
      last_envelope_line.pop_back();
  }

  void cascade_file(CascadeLevel level, const std::string& path) override {
    lines.push_back(std::string(level_name(level)) + " " + path);
  }

  void rule_file_opening(const char* path, int depth) override {
    depth_ = depth;
    if (depth > 0) say("REDIRECT followed to " + std::string(path));
  }

  void rule_file_missing(const char*, int) override {
    say("  cannot be opened: decides nothing");
    missing_ = true;
  }

  void rule_line_read(const char* path, const RuleLine& line) override {
    std::string text = "  " + where(path, line) + ": ";
    if (line.skipped) {
      say(text + "begins with a zero byte: counted, not examined");
      return;
    }
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

  int depth_ = 0;
  bool missing_ = false;
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
std::string reason(const MessageCheck& check) {
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
  return decided_by(d.by) + d.file + ":" + std::to_string(d.editor_line);
}

void print_message(const MessageCheck& check, const Explanation& explanation, Console& out) {
  out.print("Message\n");
  if (!check.envelope_path.empty()) out.print("  envelope file  " + check.envelope_path + "\n");
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

void print_explanation(const MessageCheck& check, Explanation& explanation, Console& out) {
  print_message(check, explanation, out);
  if (check.outcome == EnvelopeOutcome::Found && check.envelope_opened) {
    explanation.mark(check.decision);
    out.print("\n");
    for (const std::string& text : explanation.lines) out.print(text + "\n");
    for (int i = check.files_evaluated; i < kCascadeLevels; ++i)
      out.print(std::string(level_name(kCascade[i])) + " " + check.rule_files[i] + "\n  not read: the cascade ended\n");
  }
  out.print("\nVerdict    " + verdict_word(check.verdict) + ": " + reason(check) + "\n");
  out.print("Exit code  " + std::to_string(exit_code(check.verdict)) + "\n");
  if (check.result_line.empty())
    out.print("Log line   \"" + std::string(result_words(ResultKind::Unopenable)) + "\" (written at MID and above)\n");
  else
    out.print("Log line   " + check.result_line + "\n           (written at " + log_level_name(check.threshold) +
              " and above)\n");
}

// Checks the message (check runs the checker on it, watched) and prints the
// account, or with quiet the verdict alone.
template <typename Check>
MessageCheck explain_run(const std::string& directory, bool quiet, Console& out, const Check& check_with) {
  MessageCheck check;
  if (directory.size() > kMaxProgramDirectory) {
    out.print("The program directory " + directory + " is longer than " + std::to_string(kMaxProgramDirectory) +
              " characters: QUORVANT ends every run there with exit code 0 and writes nothing.\n"
              "\nExit code  0\n");
    return check;  // no verdict
  }
  DiskRuleSource files;
  Explanation explanation;
  check = check_with(start_time_text(host_local_time()), files, explanation);
  if (quiet) {
    out.print(verdict_word(check.verdict) + ": " + reason(check) + "\n");
  } else {
    std::vector<DirectoryEntry> entries;
    if (!host_list_directory(directory.empty() ? "." : directory.c_str(), entries))
      out.print("Note: the program directory " + directory + " cannot be read (" + host_error_text() +
                "), so no rule file in it can be opened.\n\n");
    print_explanation(check, explanation, out);
  }
  return check;
}

}  // namespace

const Usage kExplainUsage = {
    "QVADMIN explain [--dir PROGRAM_DIR] [--quiet] MESSAGE_PATH\n"
    "QVADMIN explain [--dir PROGRAM_DIR] [--quiet] --from ADDRESS --to ADDRESS [--subject TEXT]\n",
    "\n"
    "Puts one message through QUORVANT's own code and shows what the checker saw, every rule\n"
    "line it read, how it took each, and the line that decided. The message is a spooled\n"
    "message file, or the sender, recipient and Subject given on the command line.\n"
    "\n"
    "  --dir PROGRAM_DIR  the directory of QUORVANT.EXE and its rule files (default: the\n"
    "                     directory of QVADMIN itself)\n"
    "  --quiet            print only the verdict and what decided it\n"
    "  --from ADDRESS     the envelope's sender (\"\" for an envelope without one)\n"
    "  --to ADDRESS       the envelope's recipient\n"
    "  --subject TEXT     the message's Subject\n"
    "\n"
    "Exit code: the checker's own (1 whitelisted, 100 blacklisted, 0 no verdict), or 2 for a\n"
    "mistake on the command line.\n",
};

int run_explain(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--dir", "--from", "--to", "--subject"}, {"--quiet"}}, options, code))
    return code;
  const bool by_address = options.has("--from") || options.has("--to") || options.has("--subject");
  if (by_address ? !(options.has("--from") && options.has("--to") && options.words.empty())
                 : options.words.size() != 1)
    return mistake(line, by_address ? "give --from and --to, and no message path" : "give one message path");
  const std::string directory = program_directory_option(line, options.value("--dir"));
  const bool quiet = options.has("--quiet");
  if (by_address) {
    const std::string* subject = options.value("--subject");
    return exit_code(
        explain_by_address(directory, *options.value("--from"), *options.value("--to"), subject, quiet, line.out)
            .verdict);
  }
  const std::string message_path = host_path_argument(options.words[0].c_str());
  return exit_code(explain_run(directory, quiet, line.out, [&](const std::string& start_time, RuleSource& files,
                                                               CheckObserver& observer) {
                     return check_message(directory, message_path.c_str(), start_time, files, observer);
                   }).verdict);
}

MessageCheck explain_by_address(const std::string& directory, const std::string& from, const std::string& to,
                                const std::string* subject, bool quiet, Console& out) {
  return explain_run(directory, quiet, out, [&](const std::string& start_time, RuleSource& files,
                                                CheckObserver& observer) {
    // The addresses and the Subject go through the reading of envelope and
    // message lines, as if the mail filter had written them.
    // An empty sender stands for an envelope without a sender line.
    const std::string envelope = (from.empty() ? "" : "FROM: " + from + "\r\n") + "TO: " + to + "\r\n";
    const std::string message = subject ? "Subject: " + *subject + "\r\n" : "";
    TextReader envelope_reader(envelope.data(), envelope.size());
    TextReader message_reader(message.data(), message.size());
    return check_envelope(directory, "-", envelope_reader, message_reader, start_time, files, observer);
  });
}
