#include "admin/options.h"

#include <algorithm>

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

const std::string* Options::value(const std::string& name) const {
  const auto it = values.find(name);
  return it == values.end() ? nullptr : &it->second;
}

bool parse_options(const std::vector<std::string>& args, const KnownOptions& known, Options& options,
                   std::string& error) {
  bool only_words = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (only_words || arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      if (arg == "--" && !only_words) {
        only_words = true;
        continue;
      }
      options.words.push_back(arg);
      continue;
    }
    if (options.has(arg)) {
      error = "option " + arg + " given twice";
      return false;
    }
    if (listed(known.flags, arg)) {
      options.flags.insert(arg);
    } else if (listed(known.with_value, arg)) {
      if (i + 1 == args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      options.values[arg] = args[++i];
    } else {
      error = "unknown option " + arg;
      return false;
    }
  }
  return true;
}
