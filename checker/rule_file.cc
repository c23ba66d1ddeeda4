#include "checker/rule_file.h"

#include <cstring>
#include <memory>
#include <string_view>

#include "checker/rule_line.h"
#include "checker/rule_match.h"
#include "common/text.h"

namespace {

RuleDecision decided_at(const char* path, const RuleLine& line, RuleResult result, DecidedBy by) {
  return RuleDecision{result, by, path, line.editor_line, line.counter};
}

bool redirect_applies(const char* target, const char* recipient, CheckObserver& observer) {
  const bool domain_form = target[0] == '@';
  if (domain_form) observer.redirect_domain_target();
  const bool applies = redirect_takes(target, recipient);
  if (domain_form && applies) observer.redirect_domain_matched();
  return applies;
}

// What the rules test: the sender and the Subject, each trimmed. An empty
// text is never tested, and one of spaces only is tested as the empty text.
struct Target {
  explicit Target(const char* text) : given(text[0] != '\0') {
    copy_text(trimmed, sizeof trimmed, text);
    size = std::strlen(trim_spaces(trimmed));
  }
  bool given;
  char trimmed[kTextSize];
  std::size_t size;
};

Verdict test_rule(const char* path, const RuleLine& line, const RuleReading& rule, const Target& target,
                  CheckObserver& observer) {
  if (!target.given) return Verdict::None;
  const Verdict verdict = rule_hits(rule, std::string_view(target.trimmed, target.size)) ? rule.list : Verdict::None;
  observer.rule_tested(path, line, target.trimmed, verdict);
  return verdict;
}

}  // namespace

RuleDecision evaluate_rule_file(const char* path, const RuleInputs& in, RuleSource& files, CheckObserver& observer,
                                int depth) {
  observer.rule_file_opening(path, depth);
  std::unique_ptr<RuleLineReader> reader = files.open(path);
  if (!reader) {
    observer.rule_file_missing(path, depth);
    observer.rule_file_done(path, depth, RuleDecision{});
    return RuleDecision{};
  }

  const Target subject(in.subject), sender(in.sender);
  // The result when no rule hits: set by STRICT and NO DOMAIN, the last one
  // read winning.
  RuleDecision fall_back;
  RuleLine line;
  RedirectWords redirect;
  bool redirected = false;
  while (!redirected && reader->next(line)) {
    observer.rule_line_read(path, line);
    if (line.skipped) continue;  // before the line limit is tested
    if (!is_comment(line.text)) {
      const RuleReading rule = read_rule_line(std::string_view(line.text, line.text_size));
      const RuleLineKind kind = rule.kind;
      observer.rule_line_taken(path, line, kind);
      const Target* target = nullptr;
      switch (kind) {
        case RuleLineKind::Strict:
          fall_back = decided_at(path, line, RuleResult::Blacklisted, DecidedBy::Strict);
          break;
        case RuleLineKind::NoDomain:
          fall_back = decided_at(path, line, RuleResult::StopCascade, DecidedBy::NoDomain);
          break;
        case RuleLineKind::SubjectRule:
          target = &subject;
          break;
        case RuleLineKind::FromRule:
          target = &sender;
          break;
        case RuleLineKind::Redirect:
          if (!split_redirect(line.text, redirect)) {
            observer.invalid_entry(path, line, InvalidReason::ShortRedirect);
          } else {
            redirected = redirect_applies(redirect.target, in.recipient, observer);
            observer.redirect_line(path, line, redirect, redirected);
          }
          break;
        case RuleLineKind::Invalid:
          observer.invalid_entry(path, line, invalid_reason(line.text));
          break;
      }
      const Verdict verdict = target ? test_rule(path, line, rule, *target, observer) : Verdict::None;
      if (verdict != Verdict::None) {
        reader.reset();
        const RuleDecision hit = decided_at(path, line, rule_result(verdict), DecidedBy::Rule);
        observer.rule_file_done(path, depth, hit);
        return hit;
      }
    }
    if (ends_reading(line)) break;
  }
  // Closed before a REDIRECT target is opened: one rule file open at a time.
  reader.reset();

  RuleDecision result = fall_back;
  if (redirected) {
    // A REDIRECT that applies ends this file and gives its target's result.
    if (fall_back.result == RuleResult::Blacklisted) {
      observer.redirect_after_strict(path, line, redirect.file);
      result = decided_at(path, line, RuleResult::StopCascade, DecidedBy::RedirectAfterStrict);
    } else if (depth >= kMaxRedirectDepth) {
      observer.redirect_too_deep(path, line, redirect.file);
    } else {
      RuleDecision target = evaluate_rule_file(redirect.file, in, files, observer, depth + 1);
      if (target.result != RuleResult::NothingDecided) result = std::move(target);
    }
  }
  observer.rule_file_done(path, depth, result);
  return result;
}
