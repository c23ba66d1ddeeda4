// One message through the checker: the envelope, the Subject, the cascade of
// the user, domain and program rule files, the verdict and the result line.
// The checker writes what this gives to its log; the administrators' tool
// shows it.
#pragma once

#include <array>
#include <string>

#include "checker/activity_log.h"
#include "checker/check_observer.h"
#include "checker/envelope.h"
#include "checker/rule_reader.h"
#include "checker/verdict.h"
#include "common/text_file.h"

// Exit codes: the verdict, as the mail filter reads it.
constexpr int kExitNoVerdict = 0;
constexpr int kExitWhitelisted = 1;
constexpr int kExitBlacklisted = 100;
constexpr int exit_code(Verdict verdict) {
  return verdict == Verdict::Whitelisted   ? kExitWhitelisted
         : verdict == Verdict::Blacklisted ? kExitBlacklisted
                                           : kExitNoVerdict;
}

struct MessageCheck {
  bool envelope_opened = false;
  std::string envelope_path;
  EnvelopeOutcome outcome = EnvelopeOutcome::NoRecipient;
  Envelope envelope;
  std::string subject;                     // as the rules see it; read only for a Found envelope
  std::array<std::string, kCascadeLevels> rule_files;  // user, domain, program
  int files_evaluated = 0;                 // how many of them the cascade evaluated
  RuleDecision decision;                   // of the last file evaluated
  Verdict verdict = Verdict::None;
  // The result line and the lowest log level that writes it; empty when the
  // run writes none (the envelope could not be opened).
  std::string result_line;
  LogLevel threshold = LogLevel::Mid;
};

// Rule files are named NAME.QUORVANT; a domain's and the program's is
// $default$.QUORVANT.
inline constexpr char kRuleFileExtension[] = ".QUORVANT";
inline constexpr char kDefaultRuleFile[] = "$default$.QUORVANT";

// The rule files for a recipient, below the program directory (which ends
// with a backslash or is empty).
std::array<std::string, kCascadeLevels> rule_file_paths(const std::string& program_directory, const Envelope& envelope);

// The message file at message_path and its envelope file, as the mail filter
// leaves them.
MessageCheck check_message(const std::string& program_directory, const char* message_path,
                           const std::string& start_time, RuleSource& files, CheckObserver& observer);

// An envelope and a message given as readers, with the message identifier.
MessageCheck check_envelope(const std::string& program_directory, const std::string& identifier,
                            TextReader& envelope, TextReader& message, const std::string& start_time,
                            RuleSource& files, CheckObserver& observer);

// An envelope already read (sender, recipient and its parts upper case, a
// recipient found) and the Subject as the rules see it: the result line and
// the cascade, as for a message whose files held them.
MessageCheck check_found_envelope(const std::string& program_directory, const std::string& identifier,
                                  const Envelope& envelope, std::string subject, const std::string& start_time,
                                  RuleSource& files, CheckObserver& observer);
