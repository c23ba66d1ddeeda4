// Envelope and Subject reading over arbitrary bytes, checked against a plain
// model of the reading: the outcome, the sender and the recipient with its
// parts, the Subject, and the names derived from a message path.
// Input: message path, 0xFF, envelope bytes, 0xFF, message bytes. The first
// byte also chooses the log level, so the DEBUG trace is fuzzed as well.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "checker/log_trace.h"
#include "checker/envelope.h"
#include "common/text.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/text_model.h"

namespace {

struct Model {
  EnvelopeOutcome outcome = EnvelopeOutcome::NoRecipient;
  std::string sender, recipient;
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

std::string address_of(std::string line) {
  line.resize(line.size() + 5);
  return extract_address(line.data());
}

Model model_envelope(const std::string& bytes) {
  Model m;
  int counter = 0;
  for (const std::string& piece : text_pieces(bytes)) {
    if (!m.sender.empty() && !m.recipient.empty()) break;
    const std::string line = examined(piece);
    if (m.sender.empty() && (line.rfind("S<", 0) == 0 || line.rfind("FROM: ", 0) == 0)) {
      m.sender = address_of(line);
      if (m.sender == "~BAD") return {EnvelopeOutcome::BadSender, "", ""};
    }
    if (m.recipient.empty() && (line.rfind("R<", 0) == 0 || line.rfind("TO: ", 0) == 0)) {
      const std::string address = address_of(line);
      const std::string domain = address.substr(address.find('@') + 1);
      const bool dots_only = !domain.empty() && domain.find_first_not_of('.') == std::string::npos;
      if (address == "~BAD" || dots_only) return {EnvelopeOutcome::BadRecipient, "", ""};
      if (address[0] != '@') m.recipient = address;
    }
    if (++counter > 150) break;
  }
  m.outcome = m.recipient.empty() ? EnvelopeOutcome::NoRecipient : EnvelopeOutcome::Found;
  return m;
}

std::string model_subject(const std::string& bytes) {
  int counter = 0;
  for (const std::string& piece : text_pieces(bytes)) {
    std::string line = examined(piece);
    if (line.rfind("SUBJECT:", 0) == 0) {
      if (line.size() <= 9) return "";
      line.erase(0, 9);
      const std::size_t first = line.find_first_not_of(' ');
      if (first == std::string::npos) return "";
      return line.substr(first, line.find_last_not_of(' ') - first + 1);
    }
    if (++counter > 150) break;
  }
  return "";
}

std::FILE* memory_file(const std::string& bytes) {
  // fmemopen refuses an empty buffer; a file of one Ctrl-Z reads as empty.
  static const char empty[] = "\x1a";
  return bytes.empty() ? fmemopen(const_cast<char*>(empty), 1, "rb")
                       : fmemopen(const_cast<char*>(bytes.data()), bytes.size(), "rb");
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
  LogTrace trace(log_file, size > 0 && data[0] % 2 ? LogLevel::Debug : LogLevel::Mid);

  const std::string path = next_part(data, size, 0xFF);
  const std::string envelope_bytes = next_part(data, size, 0xFF);
  const std::string message_bytes(reinterpret_cast<const char*>(data), size);
  check_paths(path.substr(0, path.find('\0')));

  std::FILE* f = memory_file(envelope_bytes);
  Envelope got;
  EnvelopeOutcome outcome;
  {
    TextReader reader(f);
    outcome = read_envelope(reader, got, trace);
  }
  std::fclose(f);
  const Model want = model_envelope(envelope_bytes);
  FUZZ_CHECK(outcome == want.outcome);
  if (outcome == EnvelopeOutcome::Found) {
    FUZZ_CHECK(got.sender == want.sender);
    FUZZ_CHECK(got.recipient == want.recipient);
    FUZZ_CHECK(got.sender[0] == '\0' || is_address(got.sender));
    FUZZ_CHECK(is_address(got.recipient));
    FUZZ_CHECK(got.local_part[0] != '\0');
    FUZZ_CHECK(std::string(got.local_part) + "@" + got.domain == got.recipient);
  }

  f = memory_file(message_bytes);
  std::string subject;
  {
    TextReader reader(f);
    subject = read_subject(reader);
  }
  std::fclose(f);
  FUZZ_CHECK(subject.size() <= 90);
  for (unsigned char c : subject) FUZZ_CHECK(c != 0 && !is_control_char(c));
  FUZZ_CHECK(subject == model_subject(message_bytes));

  std::filesystem::remove(log_file);
  return 0;
}
