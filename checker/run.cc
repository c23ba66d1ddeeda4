#include "checker/run.h"

#include <cstring>
#include <string>

#include "checker/activity_log.h"
#include "checker/envelope.h"
#include "checker/rule_file.h"
#include "common/text.h"
#include "common/text_file.h"

const char kBanner[] = "QUORVANT v1.3   1/9/04.  For more information, see https://quorvant.example/";

namespace {

// The result line is cut only for its own sake: the sender part ends the line
// at 150 characters at most and the subject part at 199, while the rules
// always see the full sender and subject.
constexpr std::size_t kSenderLineLimit = 150;
constexpr std::size_t kSubjectLineLimit = 199;

void append_cut(std::string& line, const std::string& text, std::size_t limit) {
  if (line.size() < limit) line += text.substr(0, limit - line.size());
}

int level_word(const char* word) {
  if (begins_with(word, "LOW")) return kLow;
  if (begins_with(word, "MID")) return kMid;
  if (begins_with(word, "HIGH")) return kHigh;
  if (begins_with(word, "DEBUG")) return kDebug;
  return 0;
}

struct CascadeStep {
  const char* whitelisted;
  const char* blacklisted;
  const char* stopped;  // words for result 200
};

// Evaluates the user, domain and program rule files in turn and writes the
// result line; gives the exit code.
int run_cascade(std::string line, const std::string (&files)[3], const std::string& subject,
                const char* sender, const char* recipient) {
  static const CascadeStep kSteps[3] = {
      {" Whitelisted-User", " Blacklisted-User", " No Action."},
      {" Whitelisted-Domain", " Blacklisted-Domain", ""},
      {" Whitelisted-Program", " Blacklisted-Program", ""},
  };
  for (int i = 0; i < 3; ++i) {
    switch (evaluate_rule_file(files[i].c_str(), subject.c_str(), sender, recipient)) {
      case kWhitelisted:
        log_at(kLow, line + kSteps[i].whitelisted);
        return kExitWhitelisted;
      case kBlacklisted:
        log_at(kLow, line + kSteps[i].blacklisted);
        return kExitBlacklisted;
      case kStopCascade:
        log_at(kHigh, line + kSteps[i].stopped);
        return kExitNoVerdict;
      case kNothingDecided:
        break;
    }
  }
  log_at(kMid, line + " No Action.");
  return kExitNoVerdict;
}

}  // namespace

int run(int argc, char** argv, const LocalTime& now, std::FILE* console) {
  if (argc < 2) {
    write_text(console, kBanner);
    std::fflush(console);
    return kExitNoVerdict;
  }
  set_log_level(kMid);
  const std::string start_time = start_time_text(now);

  std::string program_directory = host_program_path(argv);
  program_directory.resize(std::strlen(directory_part(program_directory.data())));
  // The day's log name must fit behind the directory in a 99-character path.
  if (program_directory.size() > kMaxProgramDirectory) return kExitNoVerdict;
  set_log_path(make_log_path(program_directory.c_str(), now));

  const char* message_path = argv[1];
  if (argc >= 3) {
    const int level = level_word(upper_case_text(argv[1]));
    if (level) {
      set_log_level(level);
      message_path = argv[2];
    }
  }

  std::FILE* envelope_file = nullptr;
  std::string envelope_name;
  if (std::strlen(message_path) < kTextSize) {
    envelope_name = envelope_path(message_path);
    envelope_file = host_open_read(envelope_name.c_str());
  }
  if (!envelope_file) {
    log_at(kMid, "Could not open message file.");
    return kExitNoVerdict;
  }
  log_at(kDebug, "1.2.1  Message File Opened : " + envelope_name);

  std::string line = start_time + " " + message_identifier(message_path);
  Envelope envelope;
  EnvelopeOutcome outcome;
  {
    TextReader reader(envelope_file);
    outcome = read_envelope(reader, envelope);
  }
  std::fclose(envelope_file);
  switch (outcome) {
    case EnvelopeOutcome::kBadSender:
      log_at(kMid, line + " Bad Mail From Address ");
      return kExitNoVerdict;
    case EnvelopeOutcome::kBadRecipient:
      log_at(kMid, line + " Bad Mail To Address ");
      return kExitNoVerdict;
    case EnvelopeOutcome::kNoRecipient:
      log_at(kMid, line + " Mail To missing ");
      return kExitNoVerdict;
    case EnvelopeOutcome::kFound:
      break;
  }

  const std::string domain_directory = program_directory + envelope.domain + "\\";
  const std::string rule_files[3] = {
      domain_directory + envelope.local_part + ".QUORVANT",
      domain_directory + "$default$.QUORVANT",
      program_directory.empty() ? "$default$.QUORVANT" : program_directory + "\\$default$.QUORVANT",
  };
  const std::string subject = read_subject(message_path);

  line += std::string(" To: ") + envelope.local_part + "@" + envelope.domain + " From: ";
  append_cut(line, envelope.sender, kSenderLineLimit);
  line += " Subject: ";
  append_cut(line, subject, kSubjectLineLimit);

  return run_cascade(line, rule_files, subject, envelope.sender, envelope.recipient);
}

int run(int argc, char** argv) { return run(argc, argv, host_local_time(), stdout); }
