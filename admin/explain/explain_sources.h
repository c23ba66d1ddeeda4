// The rule files explain reads, as the checker would read them in its run:
// relative REDIRECT words from the directory the mail filter starts the
// checker in (--from-dir), a candidate tree in place of the live one
// (--rules), and the day's activity log, should a REDIRECT name it, holding
// the lines the run would have appended to it by then (the checker writes
// its trace before it reads the log back as a rule file).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "admin/rule_tree/candidate.h"
#include "checker/activity_log.h"
#include "checker/rule_reader.h"
#include "common/host.h"

class ExplainSources : public RuleSource {
 public:
  // appended: the lines the run has written to the day's log so far.
  ExplainSources(const std::string& program_directory, const std::string& start_directory, DirectoryMap candidate,
                 const LocalTime& now, const std::string& appended);

  std::unique_ptr<RuleLineReader> open(const char* path) override;
  // The file a path text the checker reads names, as a person would open it.
  std::string shown(const std::string& path) const;
  // The path text explain reads for one the checker reads: another for a
  // candidate tree or a relative REDIRECT word with --from-dir.
  std::string read_path(const std::string& path) const;
  // The path text of the day's activity log.
  const std::string& day_log() const { return log_path_; }

 private:
  bool names_day_log(const std::string& path, std::FILE* file) const;

  DiskRuleSource disk_;
  CandidateSource candidate_;
  StartDirectorySource start_;
  std::string program_directory_;
  std::string log_path_;
  std::optional<FileIdentity> log_;  // none while the day has no log
  const std::string& appended_;
};
