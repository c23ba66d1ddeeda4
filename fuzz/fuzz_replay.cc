// Replay's compiled rule files against the checker's own cascade, and the
// reading of activity logs, on arbitrary input.
// Oracles: for every message, replay's verdict (kind of result line,
// deciding file, line and counter) equals the checker's; the result line the
// checker writes for it parses back into the message's texts; and a walk
// over the input read as a log ends, every line counted once.
// Input: messages, 0xFF, then up to five rule files separated by 0xFF: the
// user file of U@D, the domain file of D, the program file, and R1.QUORVANT
// and R2.QUORVANT beside them, which REDIRECT lines can name as
// C:\P\R1.QUORVANT (or, live, C:\LIVE\R1.QUORVANT) and R2.QUORVANT. Messages
// are separated by 0xFE; each is recipient, LF, sender, LF, Subject, reduced
// to what a result line can hold (an empty recipient is U@D).
#include <cstdio>
#include <string>
#include <vector>

#include "admin/activity_log/log_line.h"
#include "admin/activity_log/log_walk.h"
#include "admin/replay/replay_rules.h"
#include "admin/replay/testing/replay_reference.h"
#include "checker/testing/memory_rules.h"
#include "common/text.h"
#include "fuzz/fuzz_check.h"

namespace {

const std::string kCandidate = "C:\\P\\";
const std::string kLive = "C:\\LIVE\\";
const char* const kFiles[] = {"D\\U.QUORVANT", "D\\$default$.QUORVANT", "\\$default$.QUORVANT", "R1.QUORVANT"};

std::string address_part(const std::string& raw) {
  std::string out;
  for (const char c : raw) {
    const char u = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (is_address_char(static_cast<unsigned char>(u))) out += u;
  }
  return out.substr(0, 20);
}

struct Message {
  std::string recipient, local, domain, sender, subject;
  ReplayMessage view() const { return {recipient, local, domain, sender, subject}; }
};

Message message_from(const std::string& raw) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(raw.data());
  std::size_t n = raw.size();
  const std::string to = next_part(p, n, '\n');
  const std::string from = next_part(p, n, '\n');
  const std::string subject_raw = next_part(p, n, '\n');
  Message m;
  const std::size_t at = to.find('@');
  m.local = address_part(at == std::string::npos ? to : to.substr(0, at));
  m.domain = address_part(at == std::string::npos ? std::string(1, 'D') : to.substr(at + 1));
  if (m.local.empty()) m.local.assign(1, 'U');
  m.recipient = m.local;
  m.recipient += '@';
  m.recipient += m.domain;
  const std::size_t sender_at = from.rfind('@');
  m.sender = address_part(sender_at == std::string::npos ? from : from.substr(0, sender_at));
  if (!m.sender.empty() || sender_at != std::string::npos) {
    m.sender += '@';
    if (sender_at != std::string::npos) m.sender += address_part(from.substr(sender_at + 1));
  }
  for (const char c : subject_raw) {
    if (static_cast<unsigned char>(c) < 32) continue;
    m.subject += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  m.subject = m.subject.substr(0, 80);  // with the texts above, short of the line's cuts
  return m;
}

void check_message(ReplayRules& rules, RuleSource& reference_files, const std::string& top, const Message& m) {
  const ReplayDecision& fast = rules.decide(m.view());
  const ReferenceDecision want = checker_decision(top, m.view(), reference_files);
  FUZZ_CHECK(fast.kind == want.kind);
  FUZZ_CHECK(static_cast<int>(fast.by) == static_cast<int>(want.by));
  FUZZ_CHECK((fast.file ? *fast.file : std::string()) == want.file);
  FUZZ_CHECK(fast.editor_line == want.editor_line);
  FUZZ_CHECK(fast.counter == want.counter);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const unsigned char* all = data;
  const std::size_t all_size = size;
  const std::string messages = next_part(data, size, 0xFF);
  MemoryRuleSource candidate, deployed;
  for (const char* name : kFiles) {
    if (size == 0) break;
    const std::string bytes = next_part(data, size, 0xFF);
    std::string in_candidate = kCandidate, in_live = kLive;
    in_candidate += name;
    in_live += name;
    // Once live, the tree is read under both names.
    candidate.files[in_candidate] = deployed.files[in_candidate] = deployed.files[in_live] = bytes;
  }
  if (size > 0) candidate.files["R2.QUORVANT"] = deployed.files["R2.QUORVANT"] = next_part(data, size, 0xFF);

  // The tree as it stands, and the same tree as a candidate read as live.
  ReplayRules rules(candidate, kCandidate, {});
  ReplayRules as_live(candidate, kLive, DirectoryMap{kLive, kCandidate});
  const unsigned char* p = reinterpret_cast<const unsigned char*>(messages.data());
  std::size_t n = messages.size();
  for (int i = 0; i < 16 && n > 0; ++i) {
    const Message m = message_from(next_part(p, n, 0xFE));
    check_message(rules, candidate, kCandidate, m);
    check_message(as_live, deployed, kLive, m);

    // The checker's result line for it reads back as the message.
    Envelope envelope;
    std::snprintf(envelope.sender, sizeof envelope.sender, "%s", m.sender.c_str());
    std::snprintf(envelope.recipient, sizeof envelope.recipient, "%s", m.recipient.c_str());
    std::snprintf(envelope.local_part, sizeof envelope.local_part, "%s", m.local.c_str());
    std::snprintf(envelope.domain, sizeof envelope.domain, "%s", m.domain.c_str());
    CheckObserver quiet;
    const MessageCheck check = check_found_envelope(kCandidate, "M", envelope, m.subject, "01:02:03", candidate, quiet);
    ResultLine line;
    FUZZ_CHECK(parse_result_line(check.result_line, line));
    FUZZ_CHECK(line.recipient == m.recipient && line.sender == m.sender && line.subject == m.subject);
    FUZZ_CHECK(!line.sender_cut && !line.subject_cut);
  }

  // The whole input as a log.
  std::FILE* log = std::tmpfile();
  if (!log) return 0;
  std::fwrite(all, 1, all_size, log);
  std::rewind(log);
  LogWalk walk(log, 1 + all_size % 97);
  long items = 0;
  while (walk.next() != LogWalk::Item::End) ++items;
  const LogCounts& c = walk.counts();
  FUZZ_CHECK(items == c.results + c.invalid_entries);
  FUZZ_CHECK(c.lines == c.results + c.invalid_entries + c.trace + c.other + c.too_long);
  std::fclose(log);
  return 0;
}
