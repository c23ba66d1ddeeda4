// The words of a QVADMIN command line after the command: options that begin
// with "--", some taking a value (the next word, or after "=" in the same
// word), in any order with the other words; "--" ends the options.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "admin/command.h"

struct KnownOptions {
  std::vector<std::string> with_value;  // e.g. "--dir"
  std::vector<std::string> flags;       // e.g. "--quiet"
  // Options that may be given again and again, each with a value; after it
  // they also take the next words for which more() is true.
  std::vector<std::string> with_values = {};
  bool (*more)(const std::string& word) = nullptr;
  // The habits of command-line tools: "-h" and "--help" ask for the usage,
  // and a word that begins with "-" (before "--") is an option, never a file.
  bool habits = false;
};

struct Options {
  std::map<std::string, std::string> values;
  std::map<std::string, std::vector<std::string>> lists;  // of with_values options
  std::set<std::string> flags;
  std::vector<std::string> words;  // the other words, in order
  bool help = false;

  bool has(const std::string& name) const { return values.count(name) || flags.count(name) || lists.count(name); }
  const std::string* value(const std::string& name) const;
};

// False, with a message in error, for an unknown option, an option given
// twice or one that lacks its value.
bool parse_options(const std::vector<std::string>& args, const KnownOptions& known, Options& options,
                   std::string& error);

// A command's options with the habits of command-line tools: the usage on
// standard output for -h or --help (exit code 0), a mistake on standard
// error with the usage (exit code 2). nullopt: go on with the command.
std::optional<int> parse_command_line(CommandLine& line, KnownOptions known, const std::string& command,
                                      const char* usage, Options& options);
