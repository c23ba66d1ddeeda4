#include "admin/activity_log/log_line.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "admin/activity_log/byte_scan.h"
#include "checker/limits.h"

namespace {

template <typename T>
T load(const char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Eight bytes at a time: each byte of the word below 32.
constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
bool has_byte_below_32(std::uint64_t word) { return ((word - 32 * kOnes) & ~word & kHighs) != 0; }

// "HH:MM:SS ": digits, colons and a space. Every byte XOR the pattern
// "00:00:00" is then at most 9, and 0 where the colons stand.
bool is_time(std::string_view line) {
  if (line.size() < 9 || line[8] != ' ') return false;
  const std::uint64_t x = load<std::uint64_t>(line.data()) ^ load<std::uint64_t>("00:00:00");
  const std::uint64_t above_9 = (((x & ~kHighs) + 0x76 * kOnes) | x) & kHighs;
  return above_9 == 0 && (x & 0x0000FF0000FF0000u) == 0;
}

bool has_control(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8)
    if (has_byte_below_32(load<std::uint64_t>(text.data() + i))) return true;
  for (; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) < 32) return true;
  return false;
}

// The N bytes at p equal those of text, compared in loads that may overlap
// (a call to memcmp for each label of each line would cost more than the
// rest of the parse).
template <std::size_t N>
bool same_bytes(const char* p, const char* text) {
  static_assert(N >= 4 && N <= 32);
  if constexpr (N >= 8) {
    for (std::size_t i = 0; i + 8 <= N; i += 8)
      if (load<std::uint64_t>(p + i) != load<std::uint64_t>(text + i)) return false;
    return load<std::uint64_t>(p + N - 8) == load<std::uint64_t>(text + N - 8);
  } else {
    return load<std::uint32_t>(p) == load<std::uint32_t>(text) &&
           load<std::uint32_t>(p + N - 4) == load<std::uint32_t>(text + N - 4);
  }
}

// The label ends at end.
template <std::size_t N>
bool label_at(std::string_view line, std::size_t end, const char (&label)[N]) {
  return end >= N - 1 && end <= line.size() && same_bytes<N - 1>(line.data() + end - (N - 1), label);
}

template <std::size_t N>
constexpr std::size_t length(const char (&)[N]) {
  return N - 1;
}

constexpr std::size_t kTimeLength = 9;  // "HH:MM:SS "

// The line ends with the words of kind K, which a line with a time may end
// with (Stopped has none).
template <ResultKind K>
bool ends_with_words(std::string_view line) {
  constexpr std::string_view words = result_words(K);
  if constexpr (words.empty() || K == ResultKind::Unopenable) {
    return false;
  } else {
    return line.back() == words.back() && line.size() >= words.size() &&
           same_bytes<words.size()>(line.data() + line.size() - words.size(), words.data());
  }
}

// The kind whose words end a line that starts with a time; Stopped when none.
template <int... K>
ResultKind ending_of(std::string_view line, std::integer_sequence<int, K...>) {
  ResultKind kind = ResultKind::Stopped;
  ((ends_with_words<static_cast<ResultKind>(K)>(line) && (kind = static_cast<ResultKind>(K), true)) || ...);
  return kind;
}

ResultKind ending_of(std::string_view line) { return ending_of(line, std::make_integer_sequence<int, kResultKinds>()); }

std::string_view piece(const char* text, std::size_t from, std::size_t to) {
  return std::string_view(text + from, to - from);
}

// Parses "To: ... From: ... Subject: ..." of a line whose words end at body.
bool parse_message(std::string_view line, std::size_t body, ResultLine& r) {
  const char* text = line.data();
  // Right to left: the first byte that cannot be in the Subject must be the
  // "t" of " Subject: ", the sender's run ends before that label and the
  // recipient's before " From: ".
  const MessageRuns runs = message_runs(text, body, length(kSubjectLabel) - 2, length(kFromLabel));
  const std::size_t t = runs.subject;
  if (t == 0 || t + 2 > body || !label_at(line, t + 2, kSubjectLabel)) return false;
  const std::size_t subject_label = t + 2 - length(kSubjectLabel);
  if (body - (t + 2) >= kTextSize) return false;  // the engine's texts hold 99 characters

  const AddressRun& sender = runs.sender;
  if (sender.ats > 1 || subject_label - sender.start >= kTextSize || !label_at(line, sender.start, kFromLabel))
    return false;
  const std::size_t from_label = sender.start - length(kFromLabel);

  const AddressRun& recipient = runs.recipient;
  if (recipient.ats != 1 || recipient.first_at == recipient.start || from_label - recipient.start >= kTextSize ||
      recipient.start < kTimeLength + length(kToLabel) || !label_at(line, recipient.start, kToLabel))
    return false;
  const std::size_t identifier_end = recipient.start - length(kToLabel);
  if (has_control(piece(text, kTimeLength, identifier_end))) return false;

  r.identifier = piece(text, kTimeLength, identifier_end);
  r.recipient = piece(text, recipient.start, from_label);
  r.local_part = piece(text, recipient.start, recipient.first_at);
  r.domain = piece(text, recipient.first_at + 1, from_label);
  r.sender = piece(text, sender.start, subject_label);
  r.sender_domain = sender.ats ? piece(text, sender.first_at + 1, subject_label) : std::string_view();
  r.subject = piece(text, t + 2, body);
  r.sender_cut = subject_label >= kSenderLineLimit;
  r.subject_cut = body >= kSubjectLineLimit;
  return true;
}

// The fields of a line without a message.
void clear_message(ResultLine& r) {
  // (One field at a time: copied along a chain, each would be loaded back
  // from the stores just made to the next, which stalls.)
  r.recipient = {};
  r.local_part = {};
  r.domain = {};
  r.sender = {};
  r.subject = {};
  r.sender_domain = {};
  r.sender_cut = r.subject_cut = false;
}

}  // namespace

std::string_view result_name(ResultKind kind) {
  if (kind == ResultKind::Stopped) return "Stopped";
  std::string_view name = result_words(kind);
  while (name.starts_with(' ')) name.remove_prefix(1);
  while (name.ends_with(' ') || name.ends_with('.')) name.remove_suffix(1);
  return name;
}

// Every field of a line that parses is set (no reset of the whole record:
// this runs for every line of the logs); those of one that does not may
// hold anything.
bool parse_result_line(std::string_view line, ResultLine& r) {
  if (line == result_words(ResultKind::Unopenable)) {
    clear_message(r);
    r.kind = ResultKind::Unopenable;
    r.time = r.identifier = {};
    return true;
  }
  if (!is_time(line)) return false;
  r.time = line.substr(0, kTimeLength - 1);
  r.kind = ending_of(line);
  const std::size_t body = line.size() - result_words(r.kind).size();
  if (!result_has_message(r.kind)) {
    // HH:MM:SS ID<words>: the identifier is all that stands before them.
    if (body < kTimeLength) return false;
    clear_message(r);
    r.identifier = line.substr(kTimeLength, body - kTimeLength);
    return !has_control(r.identifier);
  }
  return parse_message(line, body, r);
}

bool parse_invalid_entry(std::string_view line, InvalidEntryLine& entry) {
  constexpr std::string_view kStart = kInvalidEntryTrace;
  constexpr std::string_view kLine = kLineLabel;
  constexpr std::string_view kData = kDataLabel;
  if (!line.starts_with(kStart)) return false;
  // The data is upper case, so the last " Line: " is the one after the path.
  const std::size_t label = line.rfind(kLine);
  if (label == std::string_view::npos || label < kStart.size()) return false;
  std::size_t p = label + kLine.size();
  const std::size_t digits = p;
  long number = 0;
  while (p < line.size() && is_digit(line[p]) && p - digits < 9) number = number * 10 + (line[p++] - '0');
  if (p == digits || line.substr(p, kData.size()) != kData) return false;
  entry.file = line.substr(kStart.size(), label - kStart.size());
  entry.line_number = number;
  entry.data = line.substr(p + kData.size());
  return true;
}

bool parse_rule_file_check(std::string_view line, std::string_view& path) {
  constexpr std::string_view kStart = kRuleFileTrace;
  if (!line.starts_with(kStart)) return false;
  path = line.substr(kStart.size());
  return true;
}
