#include "checker/message_check.h"

#include <cstdio>
#include <cstring>

#include "checker/limits.h"
#include "checker/log_words.h"
#include "checker/rule_file.h"
#include "common/file.h"
#include "common/host.h"

namespace {

void append_cut(std::string& line, const std::string& text, std::size_t limit) {
  if (line.size() < limit) line += text.substr(0, limit - line.size());
}

// Evaluates the user, domain and program rule files in turn, the first that
// decides ending the cascade, and finishes the result line.
void run_cascade(MessageCheck& check, RuleSource& files, CheckObserver& observer) {
  const RuleInputs in{check.subject.c_str(), check.envelope.sender, check.envelope.recipient};
  for (const CascadeLevel level : kCascade) {
    const std::string& path = check.rule_files[static_cast<int>(level)];
    observer.cascade_file(level, path);
    check.decision = evaluate_rule_file(path.c_str(), in, files, observer);
    ++check.files_evaluated;
    const std::optional<ResultKind> kind = cascade_result(level, check.decision.result);
    if (!kind) continue;
    check.result_line += result_words(*kind);
    check.verdict = result_verdict(*kind);
    switch (check.decision.result) {
      case RuleResult::Whitelisted:
      case RuleResult::Blacklisted:
        check.threshold = LogLevel::Low;
        break;
      case RuleResult::StopCascade:
        check.threshold = LogLevel::High;
        break;
      case RuleResult::NothingDecided:
        check.threshold = LogLevel::Mid;
        break;
    }
    return;
  }
}

// Reads the envelope and starts the result line; true when a recipient was
// found and the rules are to be evaluated.
bool take_envelope(MessageCheck& check, const std::string& identifier, TextReader& envelope,
                   const std::string& start_time, CheckObserver& observer) {
  check.result_line = start_time + " " + identifier;
  check.outcome = read_envelope(envelope, check.envelope, observer);
  switch (check.outcome) {
    case EnvelopeOutcome::BadSender:
      check.result_line += result_words(ResultKind::BadSender);
      return false;
    case EnvelopeOutcome::BadRecipient:
      check.result_line += result_words(ResultKind::BadRecipient);
      return false;
    case EnvelopeOutcome::NoRecipient:
      check.result_line += result_words(ResultKind::NoRecipient);
      return false;
    case EnvelopeOutcome::Found:
      break;
  }
  return true;
}

// With the envelope found and the Subject read: the result line up to its
// verdict words, then the cascade.
void decide(MessageCheck& check, const std::string& program_directory, std::string subject, RuleSource& files,
            CheckObserver& observer) {
  check.rule_files = rule_file_paths(program_directory, check.envelope);
  check.subject = std::move(subject);
  std::string& line = check.result_line;
  line += std::string(kToLabel) + check.envelope.local_part + "@" + check.envelope.domain + kFromLabel;
  append_cut(line, check.envelope.sender, kSenderLineLimit);
  line += kSubjectLabel;
  append_cut(line, check.subject, kSubjectLineLimit);
  run_cascade(check, files, observer);
}

}  // namespace

std::array<std::string, kCascadeLevels> rule_file_paths(const std::string& program_directory,
                                                        const Envelope& envelope) {
  const std::string domain_directory = program_directory + envelope.domain + "\\";
  return {
      domain_directory + envelope.local_part + kRuleFileExtension,
      domain_directory + kDefaultRuleFile,
      program_directory.empty() ? kDefaultRuleFile : program_directory + "\\" + kDefaultRuleFile,
  };
}

MessageCheck check_message(const std::string& program_directory, const char* message_path,
                           const std::string& start_time, RuleSource& files, CheckObserver& observer) {
  MessageCheck check;
  bool found;
  {
    FileHandle file;
    // A message path too long for the checker's texts counts as one whose
    // envelope cannot be opened.
    if (std::strlen(message_path) < kTextSize) {
      check.envelope_path = envelope_path(message_path);
      file = FileHandle::open_read(check.envelope_path.c_str());
    }
    if (!file) {
      observer.envelope_unopenable(check.envelope_path);
      return check;
    }
    check.envelope_opened = true;
    observer.envelope_opened(check.envelope_path);
    TextReader envelope(file.get());
    found = take_envelope(check, message_identifier(message_path), envelope, start_time, observer);
  }  // closed before the message file is opened
  if (found) decide(check, program_directory, read_subject(message_path), files, observer);
  return check;
}

MessageCheck check_envelope(const std::string& program_directory, const std::string& identifier,
                            TextReader& envelope, TextReader& message, const std::string& start_time,
                            RuleSource& files, CheckObserver& observer) {
  MessageCheck check;
  check.envelope_opened = true;
  if (take_envelope(check, identifier, envelope, start_time, observer))
    decide(check, program_directory, read_subject(message), files, observer);
  return check;
}

MessageCheck check_found_envelope(const std::string& program_directory, const std::string& identifier,
                                  const Envelope& envelope, std::string subject, const std::string& start_time,
                                  RuleSource& files, CheckObserver& observer) {
  MessageCheck check;
  check.envelope_opened = true;
  check.outcome = EnvelopeOutcome::Found;
  check.envelope = envelope;
  check.result_line = start_time + " " + identifier;
  decide(check, program_directory, std::move(subject), files, observer);
  return check;
}
