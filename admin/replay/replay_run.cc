#include "admin/replay/replay_run.h"

#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "admin/activity_log/log_files.h"
#include "admin/columns.h"
#include "admin/replay/replay_hits.h"
#include "admin/replay/replay_rules.h"
#include "admin/rule_tree/rule_overlay.h"
#include "common/host.h"
#include "common/text.h"

namespace {

constexpr const char* kChangeNames[kChangeKinds] = {
    "whitelisted -> blacklisted", "whitelisted -> no verdict", "blacklisted -> whitelisted",
    "blacklisted -> no verdict",  "no verdict -> whitelisted", "no verdict -> blacklisted",
    "same verdict, other file",
};

Change change_of(ResultKind from, ResultKind to) {
  const Verdict a = result_verdict(from), b = result_verdict(to);
  if (a == b) return Change::OtherFile;
  switch (a) {
    case Verdict::Whitelisted:
      return b == Verdict::Blacklisted ? Change::WhitelistedToBlacklisted : Change::WhitelistedToNone;
    case Verdict::Blacklisted:
      return b == Verdict::Whitelisted ? Change::BlacklistedToWhitelisted : Change::BlacklistedToNone;
    case Verdict::None:
      break;
  }
  return b == Verdict::Whitelisted ? Change::NoneToWhitelisted : Change::NoneToBlacklisted;
}

std::string deciding_line(ReplayRules& rules, const ReplayDecision& decision) {
  if (!decision.file) return "no rule file decided";
  std::string text = rules.display_path(*decision.file) + ":" + std::to_string(decision.editor_line);
  switch (decision.by) {
    case DecidedBy::Strict:
      text += " (STRICT)";
      break;
    case DecidedBy::NoDomain:
      text += " (NO DOMAIN)";
      break;
    case DecidedBy::RedirectAfterStrict:
      text += " (REDIRECT after STRICT)";
      break;
    default:
      break;
  }
  return text;
}

const char* cut_note(const ResultLine& r) {
  if (r.sender_cut && r.subject_cut) return "uncertain: sender and Subject cut in the log";
  return r.sender_cut ? "uncertain: sender cut in the log" : "uncertain: Subject cut in the log";
}

std::string change_line(const std::string& log, const ResultLine& r, const ReplayDecision& decision,
                        ReplayRules& rules) {
  std::string text = log;
  text += ' ';
  text += r.time;
  text += ' ';
  text += r.identifier;
  text += " To: ";
  text += r.recipient;
  text += " From: ";
  text += r.sender;
  text += " Subject: ";
  text += r.subject;
  text += "  ";
  text += result_name(r.kind);
  text += " -> ";
  text += result_name(decision.kind);
  text += "  ";
  text += deciding_line(rules, decision);
  if (r.sender_cut || r.subject_cut) {
    text += "  ";
    text += cut_note(r);
  }
  return text + "\n";
}

void replay_log(const std::string& log, std::FILE* file, ReplayRules& rules, const ReplayRequest& request,
                ReplayTally& tally, const std::function<void(const std::string&)>& on_change) {
  ReplayHits* hits = request.hits;
  const std::string shown_log = host_native_path(log.c_str());
  LogWalk walk(file);
  for (LogWalk::Item item; (item = walk.next()) != LogWalk::Item::End;) {
    if (item != LogWalk::Item::Result) continue;
    const ResultLine& r = walk.result();
    if (request.takes && !request.takes(r.recipient)) continue;
    if (!result_has_message(r.kind)) {
      ++(r.kind == ResultKind::Unopenable ? tally.unopenable : tally.envelope_problems);
      continue;
    }
    const ReplayDecision& decision = rules.decide({r.recipient, r.local_part, r.domain, r.sender, r.subject});
    ++tally.replayed;
    if (hits && decision.file) hits->count(rules.read_path(*decision.file), decision.counter);
    const bool same = decision.kind == r.kind;
    if (r.sender_cut || r.subject_cut) {
      ++tally.uncertain;
      if (same) continue;
      ++tally.uncertain_different;
    } else if (same) {
      ++tally.unchanged;
      continue;
    } else {
      ++tally.changed;
      ++tally.changes[static_cast<int>(change_of(r.kind, decision.kind))];
    }
    if (request.changed_at) request.changed_at(log, walk.line_offset(), decision.kind);
    on_change(change_line(shown_log, r, decision, rules));
  }
  const LogCounts& counts = walk.counts();
  if (counts.results > 0 && counts.no_action == 0) tally.without_no_action.push_back(shown_log);
  tally.lines += counts;
}

}  // namespace

const char* change_name(Change change) { return kChangeNames[static_cast<int>(change)]; }

namespace {

std::string rows_text(const std::vector<std::pair<std::string, std::string>>& rows) {
  std::vector<std::string> labels;
  for (const auto& row : rows) labels.push_back(row.first);
  const std::size_t width = label_width(labels);
  std::string text;
  for (const auto& [label, value] : rows) text += right(label, width) + "\t" + value + "\n";
  return text;
}

}  // namespace

ReplayTally replay_logs(const ReplayRequest& request, const std::function<void(const std::string&)>& on_change,
                        Console& err) {
  // With a candidate tree, the cascade's paths and REDIRECT words that name
  // the live directory are read below the candidate directory.
  const std::string& live = request.live;
  const std::string& candidate = request.candidate;
  DirectoryMap map = candidate_map(live, candidate);
  const bool mapped = !map.from.empty();
  // Each file is opened as the checker opens it (the host's separators,
  // letter case and trailing dots), once: a path is looked up once, whether
  // its file exists or not. A change not yet written is read over them.
  DiskRuleSource disk;
  std::optional<OverlayRuleSource> overlaid;
  if (request.overlay) overlaid.emplace(*request.overlay, disk);
  RuleSource& files = overlaid ? static_cast<RuleSource&>(*overlaid) : disk;
  ReplayRules rules(files, mapped ? live : candidate, std::move(map));
  ReplayTally tally;
  read_logs(
      request.logs, request.command, err, request.standard_input,
      [&](const std::string& log, std::FILE* file) {
        ++tally.logs;
        replay_log(log, file, rules, request, tally, on_change);
      },
      [&](const std::string&) {
        ++tally.logs;
        ++tally.unreadable;
      });
  return tally;
}

std::string replay_summary(const ReplayTally& t, const std::string& heading) {
  std::string text = "\n" + heading + "\n\n";
  std::vector<std::pair<std::string, std::string>> rows = {
      {"Messages replayed", right(t.replayed)},
      {"Unchanged", right(t.unchanged)},
      {"Changed", right(t.changed)},
  };
  for (int i = 0; i < kChangeKinds; ++i) rows.emplace_back(kChangeNames[i], right(t.changes[i]));
  rows.emplace_back("Uncertain (cut in the log)",
                    right(t.uncertain) + "\t" + std::to_string(t.uncertain_different) + " of them replay differently");
  text += rows_text(rows);
  text += "\nNot replayed: the checker read no rule file for them\n\n";
  text += rows_text({{"Bad or missing addresses", right(t.envelope_problems)},
                     {std::string(result_name(ResultKind::Unopenable)), right(t.unopenable)}});
  text += "\nLines skipped\n\n";
  text += rows_text({{"Trace", right(t.lines.trace)},
                     {"Invalid entries", right(t.lines.invalid_entries)},
                     {"Other lines", right(t.lines.other)},
                     {"Too long", right(t.lines.too_long)}});
  text += "\n";
  text += rows_text({{"Logs read", right(t.logs - t.unreadable)}, {"Logs unreadable", right(t.unreadable)}});
  for (const std::string& log : t.without_no_action)
    text += "\n" + log +
            " holds no \"No Action.\" line (written at LOW?): its messages without a verdict could not be "
            "replayed.\n";
  return text;
}

std::vector<HitLine> replay_hits(const std::string& directory, const std::vector<std::string>& logs,
                                 const std::function<bool(std::string_view recipient)>& takes) {
  // Console text nobody reads.
  class Unread : public Console {
   public:
    void print(std::string_view) override {}
  } unread;
  ReplayHits hits;
  ReplayRequest request;
  request.live = request.candidate = directory;
  request.logs = logs;
  request.hits = &hits;
  request.takes = takes;
  replay_logs(request, [](const std::string&) {}, unread);
  return hits.lines(directory);
}
