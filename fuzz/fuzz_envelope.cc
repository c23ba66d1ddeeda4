// Envelope and Subject reading over arbitrary bytes, held to properties
// rather than to a second copy of the reading (the checker's fault cases hold
// it to an independent model):
// - the envelope reading ends in one of its four outcomes; the lines it
//   examines are the first pieces of the plain text-mode model; an address it
//   finds is made of address characters around one "@" and stands in one of
//   those lines; a recipient's local part is not empty and its domain is not
//   only dots; and cutting the file after the last line examined changes
//   nothing;
// - the Subject has at most 90 characters, no control character and no space
//   at either end, stands in a SUBJECT: line among the first 151, and stays
//   the same when more lines follow;
// - the names derived from a message path keep to their shapes.
// Input: message path, 0xFF, envelope bytes, 0xFF, message bytes. The first
// byte also chooses the log level, so the DEBUG trace is fuzzed as well.
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "checker/envelope.h"
#include "checker/log_trace.h"
#include "common/testing/text_model.h"
#include "common/text.h"
#include "fuzz/fuzz_check.h"

namespace {

// The trace, and the lines as read.
class Recorder : public LogTrace {
 public:
  using LogTrace::LogTrace;
  void envelope_line(int counter, const char* as_read) override {
    LogTrace::envelope_line(counter, as_read);
    FUZZ_CHECK(counter == static_cast<int>(lines.size()));
    lines.emplace_back(as_read);
  }
  std::vector<std::string> lines;
};

bool is_address(const std::string& s) {
  std::size_t ats = 0;
  for (unsigned char c : s) {
    if (c == '@')
      ++ats;
    else if (!is_address_char(c))
      return false;
  }
  return ats == 1;
}

bool stands_in(const std::string& text, const std::vector<std::string>& pieces) {
  for (const std::string& piece : pieces)
    if (examined(piece).find(text) != std::string::npos) return true;
  return false;
}

EnvelopeOutcome read(const std::string& bytes, Envelope& envelope, Recorder& recorder) {
  TextReader reader(bytes.data(), bytes.size());
  return read_envelope(reader, envelope, recorder);
}

void check_envelope(const std::string& bytes, LogLevel level, const std::string& log_file) {
  Recorder recorder(log_file, level);
  Envelope got;
  const EnvelopeOutcome outcome = read(bytes, got, recorder);
  const std::vector<std::string> pieces = text_pieces(bytes);
  FUZZ_CHECK(recorder.lines.size() <= 151 && recorder.lines.size() <= pieces.size());
  std::size_t examined_chars = 0;
  for (std::size_t i = 0; i < recorder.lines.size(); ++i) {
    FUZZ_CHECK(pieces[i].compare(0, recorder.lines[i].size(), recorder.lines[i]) == 0);
    examined_chars += pieces[i].size();
  }
  const std::vector<std::string> read_pieces(pieces.begin(), pieces.begin() + recorder.lines.size());
  if (outcome == EnvelopeOutcome::Found) {
    FUZZ_CHECK(got.sender[0] == '\0' || (is_address(got.sender) && stands_in(got.sender, read_pieces)));
    FUZZ_CHECK(is_address(got.recipient) && stands_in(got.recipient, read_pieces));
    FUZZ_CHECK(got.local_part[0] != '\0');
    FUZZ_CHECK(std::strspn(got.domain, ".") < std::strlen(got.domain) || got.domain[0] == '\0');
    FUZZ_CHECK(std::string(got.local_part) + "@" + got.domain == got.recipient);
  } else {
    FUZZ_CHECK(outcome == EnvelopeOutcome::BadSender || outcome == EnvelopeOutcome::BadRecipient ||
               outcome == EnvelopeOutcome::NoRecipient);
  }

  // Nothing after the last line examined plays a part.
  Recorder again(log_file, LogLevel::Low);
  Envelope cut;
  FUZZ_CHECK(read(bytes_read_as(bytes, examined_chars), cut, again) == outcome);
  FUZZ_CHECK(std::strcmp(cut.sender, got.sender) == 0 && std::strcmp(cut.recipient, got.recipient) == 0);
}

std::string subject_of(const std::string& bytes) {
  TextReader reader(bytes.data(), bytes.size());
  return read_subject(reader);
}

void check_subject(const std::string& bytes) {
  const std::string subject = subject_of(bytes);
  FUZZ_CHECK(subject.size() <= 90);
  for (unsigned char c : subject) FUZZ_CHECK(c != 0 && !is_control_char(c));
  if (subject.empty()) return;
  FUZZ_CHECK(subject.front() != ' ' && subject.back() != ' ');
  bool found = false;
  const std::vector<std::string> pieces = text_pieces(bytes);
  for (std::size_t i = 0; i < pieces.size() && i < 151 && !found; ++i) {
    const std::string line = examined(pieces[i]);
    found = line.rfind("SUBJECT:", 0) == 0 && line.find(subject, 9) != std::string::npos;
  }
  FUZZ_CHECK(found);
  FUZZ_CHECK(subject_of(bytes + "\r\nSubject: later\r\n") == subject);
}

void check_paths(const std::string& path) {
  const std::string envelope = envelope_path(path.c_str());
  if (envelope != "~BAD") {
    FUZZ_CHECK(envelope.size() == path.size());
    std::size_t changed = 0;
    for (std::size_t i = 0; i < path.size(); ++i) changed += envelope[i] != path[i];
    FUZZ_CHECK(changed <= 2);
  }
  const std::string id = message_identifier(path.c_str());
  FUZZ_CHECK(id.find('\\') == std::string::npos && id.find('.') == std::string::npos);
  FUZZ_CHECK(path.empty() ? id == "~BAD" : path.find(id) != std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  static const std::string log_file = fuzz_scratch_dir() + "/ENVELOPE.LOG";
  const LogLevel level = size > 0 && data[0] % 2 ? LogLevel::Debug : LogLevel::Mid;
  const std::string path = next_part(data, size, 0xFF);
  const std::string envelope_bytes = next_part(data, size, 0xFF);
  const std::string message_bytes(reinterpret_cast<const char*>(data), size);
  check_paths(path.substr(0, path.find('\0')));
  check_envelope(envelope_bytes, level, log_file);
  check_subject(message_bytes);
  std::filesystem::remove(log_file);
  return 0;
}
