// The words of a QVADMIN command line after the command, read as command-line
// tools read them: an option begins with "-"; one that takes a value has it
// after "=" ("--dir=C:\Q") or in the next word ("--dir C:\Q"); "-h" and
// "--help" ask for the usage; "--" ends the options, so that every later
// word is a word even when it begins with "-"; "-" alone is a word (standard
// input). Options and other words may come in any order.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct KnownOptions {
  std::vector<std::string> with_value;  // e.g. "--dir"
  std::vector<std::string> flags;       // e.g. "--quiet"
  // Options that may be given again and again, each with a value; given with
  // "--name VALUE" they also take the next words that do not begin with "-"
  // and for which more() is true ("--preview A.LOG B.LOG").
  std::vector<std::string> with_values = {};
  bool (*more)(const std::string& word) = nullptr;
};

struct Options {
  std::map<std::string, std::string> values;
  std::map<std::string, std::vector<std::string>> lists;  // of the with_values options
  std::set<std::string> flags;
  std::vector<std::string> words;  // the other words, in order

  bool has(const std::string& name) const { return values.count(name) || flags.count(name) || lists.count(name); }
  const std::string* value(const std::string& name) const;
};

enum class ParseOutcome {
  Run,
  Help,     // -h or --help: the usage is asked for
  Mistake,  // error says why: an unknown option, one given twice, a value
            // missing or given to a flag
};

ParseOutcome parse_options(const std::vector<std::string>& args, const KnownOptions& known, Options& options,
                           std::string& error);
