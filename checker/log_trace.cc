#include "checker/log_trace.h"

#include <cstring>

#include "checker/log_words.h"
#include "common/text.h"
#include "common/text_file.h"

void LogTrace::write(LogLevel threshold, const std::string& text) const {
  if (level_ < threshold) return;
  if (kept_)
    *kept_ += to_crlf(text + "\n");
  else
    append_log_line(path_.c_str(), text);
}

void LogTrace::envelope_unopenable(const std::string&) {
  write(LogLevel::Mid, std::string(result_words(ResultKind::Unopenable)));
}

void LogTrace::envelope_opened(const std::string& path) {
  write(LogLevel::Debug, kEnvelopeOpenedTrace + path);
}

// The line as read, but every byte below 32 other than the tab and the line's
// own final line break, and byte 127, as "?": a sender can neither forge a
// log line (a lone carriage return) nor act on a terminal that shows the log
// (escape sequences).
void LogTrace::envelope_line(int counter, const char* as_read) {
  if (level_ < LogLevel::Debug) return;
  std::string_view line(as_read);
  const bool line_end = line.ends_with('\n');
  if (line_end) line.remove_suffix(1);
  write(LogLevel::Debug,
        kEnvelopeLineTrace + std::to_string(counter) + ":" + printable(line, true) + (line_end ? "\n" : ""));
}

void LogTrace::sender_line() { write(LogLevel::Debug, kSenderLineTrace); }

void LogTrace::recipient_line() { write(LogLevel::Debug, kRecipientLineTrace); }

void LogTrace::rule_file_opening(const char* path, int) {
  write(LogLevel::High, kRuleFileTrace + std::string(path));
}

void LogTrace::rule_file_missing(const char*, int) {
  write(LogLevel::High, kRuleFileMissingTrace);
}

void LogTrace::invalid_entry(const char* path, const RuleLine& line, InvalidReason) {
  if (level_ < LogLevel::Mid) return;
  char data[kTextSize];
  std::memcpy(data, line.text, sizeof data);
  write(LogLevel::Mid, kInvalidEntryTrace + std::string(path) + kLineLabel + std::to_string(line.counter) + kDataLabel +
                           trim_spaces(data));
}

void LogTrace::rule_tested(const char*, const RuleLine& line, const char* target, Verdict) {
  if (level_ >= LogLevel::Debug)
    write(LogLevel::Debug, kRuleTestedTrace + std::string(line.text) + "  Data=" + target);
}

void LogTrace::redirect_domain_target() { write(LogLevel::Low, kDomainTargetTrace); }

void LogTrace::redirect_domain_matched() { write(LogLevel::Low, kDomainMatchedTrace); }

void LogTrace::redirect_after_strict(const char*, const RuleLine& line, const char* file) {
  write(LogLevel::Mid, kRedirectAfterStrictTrace + std::string(file) + "  Line=" + std::to_string(line.counter));
}

void LogTrace::redirect_too_deep(const char*, const RuleLine& line, const char* file) {
  write(LogLevel::Mid, kRedirectTooDeepTrace + std::string(file) + "  Line=" + std::to_string(line.counter));
}
