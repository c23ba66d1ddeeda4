#include "admin/replay/replay_rules.h"

#include <algorithm>
#include <cstring>

#include "checker/check_observer.h"
#include "checker/message_check.h"
#include "checker/rule_file.h"
#include "checker/rule_line.h"
#include "checker/rule_match.h"
#include "common/host.h"
#include "common/text.h"

namespace {

struct RuleAt {
  RuleResult result;
  int editor_line;
  int counter;
};

struct RedirectAt {
  int counter;
  std::string target;
};

void copy_view(char (&out)[kTextSize], std::string_view text) {
  const std::size_t n = std::min(text.size(), kTextSize - 1);
  std::memcpy(out, text.data(), n);
  out[n] = '\0';
}

}  // namespace

struct ReplayRules::Compiled {
  std::string path;           // as the cascade or a REDIRECT names it
  std::vector<RuleAt> rules;  // by rule number, in the order of the lines
  std::shared_ptr<const TextMatcher> from, subject;
  int empty_subject = TextMatcher::kNone;  // the first SUBJECT rule whose text is empty
  std::vector<RedirectAt> redirects;
  RuleDecision no_hit;  // when no rule hits and no REDIRECT applies
  std::size_t bytes = 0;
};

struct ReplayRules::Plan {
  std::array<std::string, kCascadeLevels> paths;
  std::array<Compiled*, kCascadeLevels> files{};  // nullptr: cannot be opened
};

ReplayRules::ReplayRules(RuleSource& disk, std::string top_directory, DirectoryMap map)
    : top_directory_(std::move(top_directory)), map_(map), kept_(disk, std::move(map)) {}

ReplayRules::~ReplayRules() = default;

const std::string& ReplayRules::display_path(const std::string& file) {
  const auto found = shown_.find(file);
  if (found != shown_.end()) return found->second;
  if (shown_.size() >= 4096) shown_.clear();
  return shown_.emplace(file, host_native_path(map_(file.c_str()).c_str())).first->second;
}

std::size_t ReplayRules::bytes() const { return kept_.bytes() + compiled_bytes_ + plan_bytes_; }

void ReplayRules::keep_within_budget() {
  // Room for the plan about to be made: its files read and compiled, each
  // with two matchers that keep at most half of what they take while made.
  const std::size_t plan = kCascadeLevels * (TextMatcher::kDenseLimit + kMaxKeptFileBytes);
  if (bytes() + plan <= budget_) return;
  plans_.clear();
  compiled_.clear();
  matchers_.clear();
  kept_.clear();
  compiled_bytes_ = plan_bytes_ = 0;
}

std::shared_ptr<const TextMatcher> ReplayRules::matcher(const std::vector<std::pair<std::string, int>>& texts) {
  // Files with the same texts in the same order share one matcher.
  std::string key;
  for (const auto& [text, number] : texts) {
    key += text;
    key += '\0';
    key += std::to_string(number);
    key += '\n';
  }
  std::shared_ptr<const TextMatcher>& entry = matchers_[key];
  if (!entry) {
    entry = std::make_shared<const TextMatcher>(texts, dense_limit_);
    compiled_bytes_ += entry->bytes() + key.size();
  }
  return entry;
}

ReplayRules::Compiled* ReplayRules::compiled(const std::string& path) {
  const auto found = compiled_.find(path);
  if (found != compiled_.end()) return found->second.get();

  std::unique_ptr<Compiled> file;
  if (const KeptFile* kept = kept_.file(path.c_str())) {
    file = std::make_unique<Compiled>();
    file->path = path;
    std::vector<std::pair<std::string, int>> from_texts, subject_texts;
    RuleLine line;
    for (const KeptLine& piece : kept->lines) {
      restore_rule_line(piece, line);
      if (line.skipped || is_comment(line.text)) continue;
      const RuleLineKind kind = classify_rule_line(line.text);
      if (kind == RuleLineKind::FromRule || kind == RuleLineKind::SubjectRule) {
        const RuleTest test = rule_test(line.text);
        const int number = static_cast<int>(file->rules.size());
        file->rules.push_back({rule_result(test.list), line.editor_line, line.counter});
        if (kind == RuleLineKind::FromRule)
          from_texts.emplace_back(test.text, number);
        else if (test.text[0] == '\0')
          file->empty_subject = std::min(file->empty_subject, number);
        else
          subject_texts.emplace_back(test.text, number);
      } else if (kind == RuleLineKind::Redirect) {
        RedirectWords words;
        if (split_redirect(line.text, words)) file->redirects.push_back({line.counter, words.target});
      }
    }
    file->from = matcher(from_texts);
    file->subject = matcher(subject_texts);
    // No line can hit a message without sender, Subject and recipient: what
    // the engine gives then is the file's fall-back.
    CheckObserver quiet;
    file->no_hit = evaluate_rule_file(path.c_str(), RuleInputs{"", "", ""}, kept_, quiet);
    file->bytes = sizeof(Compiled) + path.size() + file->rules.size() * sizeof(RuleAt) +
                  file->redirects.size() * (sizeof(RedirectAt) + 32);
  }
  compiled_bytes_ += path.size() + 160 + (file ? file->bytes : 0);
  return compiled_.emplace(path, std::move(file)).first->second.get();
}

const ReplayRules::Plan& ReplayRules::plan_for(const ReplayMessage& message) {
  // recipient_ holds LOCAL@DOMAIN.
  const std::string_view recipient(recipient_);
  if (const auto found = plans_.find(recipient); found != plans_.end()) return *found->second;
  keep_within_budget();
  Envelope envelope;
  copy_view(envelope.local_part, message.local_part);
  copy_view(envelope.domain, message.domain);
  auto plan = std::make_unique<Plan>();
  plan->paths = rule_file_paths(top_directory_, envelope);
  for (int i = 0; i < kCascadeLevels; ++i) plan->files[i] = compiled(plan->paths[i]);
  // The plan, its paths and its entry in the table, roughly.
  plan_bytes_ += sizeof(Plan) + 160 + recipient.size();
  for (const std::string& path : plan->paths) plan_bytes_ += path.size() + 32;
  return *plans_.emplace(std::string(recipient), std::move(plan)).first->second;
}

void ReplayRules::take_message(const ReplayMessage& message) {
  copy_view(subject_, message.subject);
  copy_view(sender_, message.sender);
  copy_view(recipient_, message.recipient);
  // The engine tests a rule against its target trimmed.
  std::memcpy(trimmed_subject_, subject_, sizeof subject_);
  trim_spaces(trimmed_subject_);
  trimmed_subject_size_ = std::strlen(trimmed_subject_);
  sender_size_ = message.sender.size();
  last_from_ = last_subject_ = nullptr;
}

void ReplayRules::decide_file(const Compiled& file, RuleDecision& decision, bool& by_engine) {
  by_engine = false;
  int hit = TextMatcher::kNone;
  // The engine tests no rule against an empty target.
  if (sender_[0] != '\0') {
    if (last_from_ != file.from.get()) {
      last_from_ = file.from.get();
      last_from_hit_ = last_from_->first(std::string_view(sender_, sender_size_));
    }
    hit = last_from_hit_;
  }
  if (subject_[0] != '\0') {
    if (last_subject_ != file.subject.get()) {
      last_subject_ = file.subject.get();
      last_subject_hit_ = last_subject_->first(std::string_view(trimmed_subject_, trimmed_subject_size_));
    }
    hit = std::min({hit, last_subject_hit_, file.empty_subject});
  }
  const int hit_counter = hit == TextMatcher::kNone ? INT_MAX : file.rules[hit].counter;
  for (const RedirectAt& redirect : file.redirects) {
    if (redirect.counter > hit_counter) break;
    if (redirect_takes(redirect.target.c_str(), recipient_)) {
      // REDIRECT, STRICT and NO DOMAIN in their order: the engine's own work.
      CheckObserver quiet;
      decision = evaluate_rule_file(file.path.c_str(), RuleInputs{subject_, sender_, recipient_}, kept_, quiet);
      by_engine = true;
      return;
    }
  }
  if (hit != TextMatcher::kNone) {
    const RuleAt& rule = file.rules[hit];
    decision.result = rule.result;
    decision.by = DecidedBy::Rule;
    decision.editor_line = rule.editor_line;
    decision.counter = rule.counter;
    return;
  }
  decision.result = file.no_hit.result;
  decision.by = file.no_hit.by;
  decision.editor_line = file.no_hit.editor_line;
  decision.counter = file.no_hit.counter;
}

const ReplayDecision& ReplayRules::decide(const ReplayMessage& message) {
  take_message(message);
  const Plan& plan = plan_for(message);
  RuleDecision decision;
  for (const CascadeLevel level : kCascade) {
    const Compiled* file = plan.files[static_cast<int>(level)];
    bool by_engine = false;
    decision = RuleDecision{};
    if (file) decide_file(*file, decision, by_engine);
    const std::optional<ResultKind> kind = cascade_result(level, decision.result);
    if (!kind) continue;
    decision_.kind = *kind;
    decision_.by = decision.by;
    decision_.editor_line = decision.editor_line;
    decision_.counter = decision.counter;
    if (decision.by == DecidedBy::Nothing) {
      decision_.file = nullptr;
    } else if (by_engine) {
      engine_file_ = std::move(decision.file);
      decision_.file = &engine_file_;
    } else {
      decision_.file = &file->path;
    }
    break;
  }
  return decision_;
}
