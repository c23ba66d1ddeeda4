// The words of a QVADMIN command line after the command: options that begin
// with "--", some taking the next word as their value, in any order with the
// other words; "--" ends the options.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct KnownOptions {
  std::vector<std::string> with_value;  // e.g. "--dir"
  std::vector<std::string> flags;       // e.g. "--quiet"
};

struct Options {
  std::map<std::string, std::string> values;
  std::set<std::string> flags;
  std::vector<std::string> words;  // the other words, in order

  bool has(const std::string& name) const { return values.count(name) || flags.count(name); }
  const std::string* value(const std::string& name) const;
};

// False, with a message in error, for an unknown option, an option given
// twice or one that lacks its value.
bool parse_options(const std::vector<std::string>& args, const KnownOptions& known, Options& options,
                   std::string& error);
