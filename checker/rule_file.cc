#include "checker/rule_file.h"

#include <cstring>
#include <string>

#include "checker/activity_log.h"
#include "checker/rule_match.h"
#include "common/host.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

// Lines after the 501st are not read.
constexpr int kMaxLineCount = 500;

struct Inputs {
  const char* path;
  const char* subject;
  const char* sender;
  const char* recipient;
};

// How the reading of one file ended.
struct ScanEnd {
  bool decided = false;   // a rule hit: result holds its verdict
  bool redirect = false;  // a REDIRECT applied: file_word is to be evaluated
  int result = kNothingDecided;  // the verdict, or the fall-back result
  char file_word[kTextSize] = "";
  int line_counter = 0;
};

void log_invalid_entry(const Inputs& in, int line_counter, char* line) {
  log_at(kMid, std::string("Invalid entry. File: ") + in.path + " Line: " + std::to_string(line_counter) +
                   " Data: " + trim_spaces(line));
}

// Splits a REDIRECT line into its first three words; false when it has fewer.
bool split_redirect(const char* line, char (&words)[3][kTextSize]) {
  const char* p = line;
  for (auto& word : words) {
    while (*p == ' ') ++p;
    if (!*p) return false;
    std::size_t n = 0;
    while (p[n] && p[n] != ' ') ++n;
    std::memcpy(word, p, n);  // n < kTextSize: the line holds at most 99 characters
    word[n] = '\0';
    p += n;
  }
  return true;
}

bool redirect_applies(const char* target, const char* recipient) {
  if (target[0] != '@') return begins_with(recipient, target);
  log_at(kLow, "found as domain");
  if (!contains(recipient, target)) return false;
  log_at(kLow, "matched domain");
  return true;
}

ScanEnd scan_rule_lines(TextReader& reader, const Inputs& in) {
  ScanEnd end;
  char line[kTextSize];
  char target[kTextSize];
  while (reader.read_piece(line, sizeof line)) {
    ++end.line_counter;
    if (line[0] == '\0') continue;  // skipped before the line limit is tested
    normalise_line(line);
    if (line[0] != '#') {
      target[0] = '\0';
      switch (classify_rule_line(line)) {
        case RuleLineKind::Strict:
          end.result = kBlacklisted;
          break;
        case RuleLineKind::NoDomain:
          end.result = kStopCascade;
          break;
        case RuleLineKind::SubjectRule:
          copy_text(target, sizeof target, in.subject);
          break;
        case RuleLineKind::FromRule:
          copy_text(target, sizeof target, in.sender);
          break;
        case RuleLineKind::Redirect: {
          char words[3][kTextSize];
          if (!split_redirect(line, words)) {
            log_invalid_entry(in, end.line_counter, line);
          } else if (redirect_applies(words[1], in.recipient)) {
            end.redirect = true;
            std::memcpy(end.file_word, words[2], kTextSize);
            return end;
          }
          break;
        }
        case RuleLineKind::Invalid:
          log_invalid_entry(in, end.line_counter, line);
          break;
      }
      if (target[0]) {
        const int verdict = match_rule(line, trim_spaces(target));
        if (verdict == kRuleWhitelisted || verdict == kRuleBlacklisted) {
          end.decided = true;
          end.result = verdict;
          return end;
        }
      }
    }
    if (end.line_counter > kMaxLineCount) break;
  }
  return end;
}

}  // namespace

RuleLineKind classify_rule_line(const char* line) {
  if (contains(line, "STRICT")) return RuleLineKind::Strict;
  if (contains(line, "REDIRECT")) return RuleLineKind::Redirect;
  if (contains(line, "NO DOMAIN")) return RuleLineKind::NoDomain;
  if (!begins_with(line, "WHITELIST") && !begins_with(line, "BLACKLIST")) return RuleLineKind::Invalid;
  if (stands_at(line, "FROM", 10)) return contains(line, "@") ? RuleLineKind::FromRule : RuleLineKind::Invalid;
  if (stands_at(line, "SUBJECT", 10)) {
    // The length counts the text as written, trailing spaces included.
    const std::size_t start = subject_rule_text_start(line);
    const std::size_t length = std::strlen(line);
    return length > start && length - start >= 5 ? RuleLineKind::SubjectRule : RuleLineKind::Invalid;
  }
  return RuleLineKind::Invalid;
}

RuleResult evaluate_rule_file(const char* path, const char* subject, const char* sender, const char* recipient,
                              int depth) {
  log_at(kHigh, std::string("Checking Rule File = ") + path);
  std::FILE* file = host_open_read(path);
  if (!file) {
    log_at(kHigh, "Error opening file or file not found.");
    return kNothingDecided;
  }
  return evaluate_open_rule_file(file, path, subject, sender, recipient, depth);
}

RuleResult evaluate_open_rule_file(std::FILE* file, const char* path, const char* subject, const char* sender,
                                   const char* recipient, int depth) {
  const Inputs in{path, subject, sender, recipient};
  ScanEnd end;
  {
    TextReader reader(file);
    end = scan_rule_lines(reader, in);
  }
  std::fclose(file);
  if (end.decided || !end.redirect) return static_cast<RuleResult>(end.result);

  // A REDIRECT applied: it ends this file and gives its target's result.
  const std::string where = std::string(end.file_word) + "  Line=" + std::to_string(end.line_counter);
  if (end.result == kBlacklisted) {
    log_at(kMid, "Invalid REDIRECT with STRICT.  File = " + where);
    return kStopCascade;
  }
  if (depth >= kMaxRedirectDepth) {
    log_at(kMid, "REDIRECT chain too deep.  File = " + where);
    return static_cast<RuleResult>(end.result);
  }
  const RuleResult target = evaluate_rule_file(end.file_word, subject, sender, recipient, depth + 1);
  return target != kNothingDecided ? target : static_cast<RuleResult>(end.result);
}
