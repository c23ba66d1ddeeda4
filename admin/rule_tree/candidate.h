// A candidate rule tree read as the checker will read it once it is live:
// every path text that names the live program directory (the cascade's
// paths, a REDIRECT word written in full) is read below the candidate
// directory instead. replay and explain --rules read a candidate alike.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "checker/rule_reader.h"

// Maps a path text that begins with one directory to the same path below
// another. A path begins with the directory when its text does (letter case
// ignored), and also when any of its leading folders names the same
// directory on the host (spelt with "/", in another letter case, with
// trailing dots, relative where the other is absolute), as the checker's
// open would find it.
struct DirectoryMap {
  DirectoryMap() = default;
  DirectoryMap(std::string from_directory, std::string to_directory)
      : from(std::move(from_directory)), to(std::move(to_directory)) {}

  std::string from;  // empty: no path is mapped
  std::string to;
  std::string operator()(const char* path) const;

 private:
  struct Seen;
  mutable std::shared_ptr<Seen> seen_;  // what the host said, by path
};

// The live tree with the candidate in its place: each path mapped, then
// opened through base.
class CandidateSource : public RuleSource {
 public:
  CandidateSource(RuleSource& base, DirectoryMap map) : base_(base), map_(std::move(map)) {}
  std::unique_ptr<RuleLineReader> open(const char* path) override { return base_.open(map_(path).c_str()); }
  const DirectoryMap& map() const { return map_; }

 private:
  RuleSource& base_;
  DirectoryMap map_;
};

// A path text that the host resolves from the current directory: no root
// ("\" or "/" first) and no drive.
bool is_relative_path(std::string_view path);

// REDIRECT words with a relative path read from the directory the mail
// filter starts the checker in (which QVADMIN cannot know: --from-dir tells
// it) rather than from QVADMIN's current directory. The cascade's own paths,
// which begin with the program directory, stay as they are.
class StartDirectorySource : public RuleSource {
 public:
  StartDirectorySource(RuleSource& base, std::string program_directory, std::string start_directory)
      : base_(base), program_(std::move(program_directory)), start_(std::move(start_directory)) {}
  std::unique_ptr<RuleLineReader> open(const char* path) override { return base_.open(resolve(path).c_str()); }
  // The path text the checker opens for a path it reads.
  std::string resolve(const char* path) const;

 private:
  RuleSource& base_;
  std::string program_;
  std::string start_;  // ends with a backslash; empty: the current directory
};

// The map for a live program directory and a candidate tree: none when the
// candidate is the live tree itself (the same text, or no live directory).
DirectoryMap candidate_map(const std::string& live, const std::string& candidate);
