#include "checker/envelope.h"

#include <cstdio>
#include <cstring>

#include "common/file.h"
#include "common/host.h"
#include "common/text.h"

namespace {

std::size_t file_name_start(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Sets the recipient and its parts from an address; true when its local part
// is not empty, which is what makes a recipient known.
bool take_recipient(const char* address, Envelope& envelope) {
  copy_text(envelope.recipient, kTextSize, address);
  const char* at = std::strchr(address, '@');
  const std::size_t local_length = static_cast<std::size_t>(at - address);
  std::memcpy(envelope.local_part, address, local_length);
  envelope.local_part[local_length] = '\0';
  copy_text(envelope.domain, kTextSize, at + 1);
  return local_length > 0;
}

// A domain of dots only would lead the rule-file paths out of the program
// directory ("..\JOE.QUORVANT").
bool domain_of_dots(const char* address) {
  const char* domain = std::strchr(address, '@') + 1;
  return *domain && domain[std::strspn(domain, ".")] == '\0';
}

}  // namespace

std::string message_identifier(const char* message_path) {
  const std::string path(message_path);
  if (path.empty()) return "~BAD";
  const std::string name = path.substr(file_name_start(path));
  return name.substr(0, name.find('.'));
}

std::string envelope_path(const char* message_path) {
  std::string path(message_path);
  if (path.size() < 5 || path.back() == '\\') return "~BAD";
  path[file_name_start(path)] = '_';
  const std::size_t dot = path.find('.');
  if (dot == std::string::npos || path.size() - dot - 1 != 3) return "~BAD";
  path[dot + 1] = '~';
  return path;
}

EnvelopeOutcome read_envelope(TextReader& reader, Envelope& envelope, CheckObserver& observer) {
  envelope = Envelope{};
  bool recipient_known = false;
  char line[kTextSize];
  for (int counter = 0; reader.read_piece(line, sizeof line);) {
    if (envelope.sender[0] && recipient_known) break;
    observer.envelope_line(counter, line);
    normalise_line(line);
    if (!envelope.sender[0] && (begins_with(line, "S<") || begins_with(line, "FROM: "))) {
      observer.sender_line();
      const char* address = extract_address(line);
      if (std::strcmp(address, "~BAD") == 0) return EnvelopeOutcome::BadSender;
      copy_text(envelope.sender, kTextSize, address);
    } else if (!recipient_known && (begins_with(line, "R<") || begins_with(line, "TO: "))) {
      observer.recipient_line();
      const char* address = extract_address(line);
      if (std::strcmp(address, "~BAD") == 0 || domain_of_dots(address)) return EnvelopeOutcome::BadRecipient;
      recipient_known = take_recipient(address, envelope);
    }
    if (++counter > kEnvelopeLineLimit) break;
  }
  return recipient_known ? EnvelopeOutcome::Found : EnvelopeOutcome::NoRecipient;
}

std::string read_subject(TextReader& reader) {
  char line[kTextSize];
  for (int counter = 0; reader.read_piece(line, sizeof line);) {
    normalise_line(line);
    if (begins_with(line, "SUBJECT:")) {
      // The character after the colon is always skipped; a line that ends
      // there gives the empty subject.
      if (std::strlen(line) <= 9) return "";
      return trim_spaces(line + 9);
    }
    if (++counter > kEnvelopeLineLimit) break;
  }
  return "";
}

std::string read_subject(const char* message_path) {
  const FileHandle file = FileHandle::open_read(message_path);
  if (!file) return " ";
  TextReader reader(file.get());
  return read_subject(reader);
}
