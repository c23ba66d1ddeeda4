// What the checker itself gives for a message as its result line shows it:
// its own cascade (check_found_envelope) over a rule source, the reference
// that replay's compiled rule files are held to.
#pragma once

#include <string>

#include "admin/activity_log/log_line.h"
#include "admin/replay/replay_rules.h"
#include "checker/check_observer.h"
#include "checker/message_check.h"

struct ReferenceDecision {
  ResultKind kind = ResultKind::Unopenable;  // stays so when the result line does not parse
  DecidedBy by = DecidedBy::Nothing;
  std::string file;
  int editor_line = 0;
  int counter = 0;
};

inline ReferenceDecision checker_decision(const std::string& program_directory, const ReplayMessage& message,
                                        RuleSource& files) {
  auto fill = [](char* out, std::string_view text) { out[text.copy(out, kTextSize - 1)] = '\0'; };
  Envelope envelope;
  fill(envelope.sender, message.sender);
  fill(envelope.recipient, message.recipient);
  fill(envelope.local_part, message.local_part);
  fill(envelope.domain, message.domain);
  CheckObserver quiet;
  const MessageCheck check =
      check_found_envelope(program_directory, "-", envelope, std::string(message.subject), "00:00:00", files, quiet);
  ReferenceDecision decision;
  ResultLine line;
  if (parse_result_line(check.result_line, line)) decision.kind = line.kind;
  decision.by = check.decision.by;
  decision.file = check.decision.file;
  decision.editor_line = check.decision.editor_line;
  decision.counter = check.decision.counter;
  return decision;
}
