#include "admin/replay/replay.h"

#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "admin/columns.h"
#include "admin/replay/listed_files.h"
#include "admin/activity_log/log_files.h"
#include "admin/activity_log/log_walk.h"
#include "admin/options.h"
#include "admin/replay/replay_hits.h"
#include "admin/replay/replay_rules.h"
#include "common/host.h"
#include "common/text.h"

namespace {

constexpr char kUsage[] = "usage: QVADMIN replay [--dir PROGRAM_DIR] [--rules CANDIDATE_DIR] [--hits] LOG...\n";

// The kinds of change the summary counts: from a verdict to another, or the
// same verdict from another file of the cascade.
constexpr const char* kChangeNames[] = {
    "whitelisted -> blacklisted", "whitelisted -> no verdict", "blacklisted -> whitelisted",
    "blacklisted -> no verdict",  "no verdict -> whitelisted", "no verdict -> blacklisted",
    "same verdict, other file",
};

int change_class(ResultKind from, ResultKind to) {
  const Verdict a = result_verdict(from), b = result_verdict(to);
  if (a == b) return 6;
  switch (a) {
    case Verdict::Whitelisted:
      return b == Verdict::Blacklisted ? 0 : 1;
    case Verdict::Blacklisted:
      return b == Verdict::Whitelisted ? 2 : 3;
    case Verdict::None:
      return b == Verdict::Whitelisted ? 4 : 5;
  }
  return 6;
}

struct Tally {
  long logs = 0, unreadable = 0;
  long replayed = 0, unchanged = 0, changed = 0;
  std::array<long, 7> changes{};
  long uncertain = 0, uncertain_different = 0;
  long envelope_problems = 0, unopenable = 0;
  LogCounts lines;
  std::vector<std::string> without_no_action;
};

std::string deciding_line(const ReplayRules& rules, const ReplayVerdict& verdict) {
  if (!verdict.file) return "no rule file decided";
  std::string text = rules.display_path(*verdict.file) + ":" + std::to_string(verdict.editor_line);
  switch (verdict.by) {
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

std::string change_line(const std::string& log, const ResultLine& r, const ReplayVerdict& verdict,
                        const ReplayRules& rules) {
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
  text += result_name(verdict.kind);
  text += "  ";
  text += deciding_line(rules, verdict);
  if (r.sender_cut || r.subject_cut) {
    text += "  ";
    text += cut_note(r);
  }
  return text + "\n";
}

void replay_log(const std::string& log, std::FILE* file, ReplayRules& rules, ReplayHits* hits, Tally& tally,
                Console& out) {
  LogWalk walk(file);
  for (LogWalk::Item item; (item = walk.next()) != LogWalk::Item::End;) {
    if (item != LogWalk::Item::Result) continue;
    const ResultLine& r = walk.result();
    if (!result_has_message(r.kind)) {
      ++(r.kind == ResultKind::Unopenable ? tally.unopenable : tally.envelope_problems);
      continue;
    }
    const ReplayVerdict& verdict = rules.decide({r.recipient, r.local_part, r.domain, r.sender, r.subject});
    ++tally.replayed;
    if (hits && verdict.file) hits->count(rules.display_path(*verdict.file), verdict.counter);
    const bool same = verdict.kind == r.kind;
    if (r.sender_cut || r.subject_cut) {
      ++tally.uncertain;
      if (same) continue;
      ++tally.uncertain_different;
    } else if (same) {
      ++tally.unchanged;
      continue;
    } else {
      ++tally.changed;
      ++tally.changes[change_class(r.kind, verdict.kind)];
    }
    out.print(change_line(log, r, verdict, rules));
  }
  const LogCounts& counts = walk.counts();
  if (counts.results > 0 && counts.no_action == 0) tally.without_no_action.push_back(log);
  tally.lines += counts;
}

void print_rows(Console& out, const std::vector<std::pair<std::string, std::string>>& rows) {
  std::vector<std::string> labels;
  for (const auto& row : rows) labels.push_back(row.first);
  const std::size_t width = label_width(labels);
  for (const auto& [label, value] : rows) out.print(right(label, width) + "\t" + value + "\n");
}

void print_summary(const Tally& t, const std::string& candidate, Console& out) {
  out.print("\nReplayed against the rule files in " + (candidate.empty() ? std::string(".\\") : candidate) + "\n\n");
  std::vector<std::pair<std::string, std::string>> rows = {
      {"Messages replayed", right(t.replayed)},
      {"Unchanged", right(t.unchanged)},
      {"Changed", right(t.changed)},
  };
  for (std::size_t i = 0; i < t.changes.size(); ++i) rows.emplace_back(kChangeNames[i], right(t.changes[i]));
  rows.emplace_back("Uncertain (cut in the log)",
                    right(t.uncertain) + "\t" + std::to_string(t.uncertain_different) + " of them replay differently");
  print_rows(out, rows);
  out.print("\nNot replayed: the checker read no rule file for them\n\n");
  print_rows(out, {{"Bad or missing addresses", right(t.envelope_problems)},
                   {"Could not open message file", right(t.unopenable)}});
  out.print("\nLines skipped\n\n");
  print_rows(out, {{"Trace", right(t.lines.trace)},
                   {"Invalid entries", right(t.lines.invalid_entries)},
                   {"Other lines", right(t.lines.other)},
                   {"Too long", right(t.lines.too_long)}});
  out.print("\n");
  print_rows(out, {{"Logs read", right(t.logs - t.unreadable)}, {"Logs unreadable", right(t.unreadable)}});
  for (const std::string& log : t.without_no_action)
    out.print("\n" + log +
              " holds no \"No Action.\" line (written at LOW?): its messages without a verdict "
              "could not be replayed.\n");
}

// Console text nobody reads.
class Unread : public Console {
 public:
  void print(std::string_view) override {}
};

}  // namespace

std::vector<HitLine> replay_hits(const std::string& directory, const std::vector<std::string>& logs) {
  ListedDiskRuleSource disk;
  ReplayRules rules(disk, directory, DirectoryMap{});
  ReplayHits hits;
  Tally tally;
  Unread unread;
  for (const std::string& log : logs)
    if (std::FILE* file = host_open_read(log.c_str())) {
      replay_log(log, file, rules, &hits, tally, unread);
      std::fclose(file);
    }
  return hits.lines(directory);
}

int run_replay(CommandLine& line) {
  Options options;
  std::string error;
  if (!parse_options(line.args, {{"--dir", "--rules"}, {"--hits"}}, options, error)) {
    line.err.print("QVADMIN replay: " + error + "\n" + kUsage);
    return kExitUsage;
  }
  if (options.words.empty()) {
    line.err.print(std::string("QVADMIN replay: give at least one log\n") + kUsage);
    return kExitUsage;
  }
  const std::string live = program_directory_option(line, options.value("--dir"));
  const std::string candidate =
      options.has("--rules") ? program_directory_option(line, options.value("--rules")) : live;
  for (const auto& [option, directory] : {std::pair{"--dir", &live}, {"--rules", &candidate}}) {
    const std::string* word = options.value(option);
    if (word && !readable_directory(*directory)) {
      line.err.print("QVADMIN replay: " + std::string(option) + " " + *word + ": not a directory that can be read\n");
      return kExitUsage;
    }
  }
  // With a candidate tree, the cascade's paths and REDIRECT words that name
  // the live directory are read below the candidate directory.
  const bool mapped = !live.empty() && !same_ignoring_case(live, candidate);
  ListedDiskRuleSource disk;
  ReplayRules rules(disk, mapped ? live : candidate, mapped ? DirectoryMap{live, candidate} : DirectoryMap{});
  ReplayHits hits;

  Tally tally;
  read_logs(
      options.words, "QVADMIN replay", line.err,
      [&](const std::string& log, std::FILE* file) {
        ++tally.logs;
        replay_log(log, file, rules, options.has("--hits") ? &hits : nullptr, tally, line.out);
      },
      [&](const std::string&) {
        ++tally.logs;
        ++tally.unreadable;
      });
  print_summary(tally, candidate, line.out);
  if (options.has("--hits")) hits.print(candidate, line.out);
  if (tally.unreadable > 0) return kExitUsage;
  return tally.changed > 0 ? 1 : 0;
}
