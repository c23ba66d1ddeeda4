// The message's envelope file (sender and first recipient) and the Subject
// line of the message file.
#pragma once

#include <string>

#include "checker/check_observer.h"
#include "checker/limits.h"
#include "common/text_file.h"

// The message path's file name cut at its first "."; "~BAD" for an empty path.
std::string message_identifier(const char* message_path);
// The companion envelope file: C:\SPOOL\D5F1A.SMD gives C:\SPOOL\_5F1A.~MD;
// "~BAD" when the name does not have that shape.
std::string envelope_path(const char* message_path);

enum class EnvelopeOutcome { BadSender, BadRecipient, NoRecipient, Found };

struct Envelope {
  char sender[kTextSize] = "";  // may be empty
  char recipient[kTextSize] = "";
  char local_part[kTextSize] = "";
  char domain[kTextSize] = "";
};

// Reads at most 151 lines of an open envelope file, telling the observer of
// each line and each sender or recipient line.
EnvelopeOutcome read_envelope(TextReader& reader, Envelope& envelope, CheckObserver& observer);

// The Subject text (upper case, trimmed, at most 90 characters) from the first
// of at most 151 lines that begins with "SUBJECT:"; empty when there is none.
std::string read_subject(TextReader& reader);
// Opens the message file; " " when it cannot be opened.
std::string read_subject(const char* message_path);
