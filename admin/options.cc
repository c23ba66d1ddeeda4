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
    if (!only_words && known.habits && (arg == "-h" || arg == "--help")) {
      options.help = true;
      continue;
    }
    if (!only_words && arg == "--") {
      only_words = true;
      continue;
    }
    const bool dash_word = known.habits && arg.size() >= 2 && arg[0] == '-';
    if (only_words || !(dash_word || (arg.size() >= 3 && arg.compare(0, 2, "--") == 0))) {
      options.words.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const bool valued = listed(known.with_value, name) || listed(known.with_values, name);
    if (listed(known.flags, name) && equals == std::string::npos) {
      if (options.has(name)) {
        error = "option " + name + " given twice";
        return false;
      }
      options.flags.insert(name);
    } else if (valued) {
      std::string value;
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = "option " + name + " needs a value";
        return false;
      }
      if (listed(known.with_values, name)) {
        std::vector<std::string>& list = options.lists[name];
        list.push_back(value);
        while (equals == std::string::npos && known.more && i + 1 < args.size() && args[i + 1][0] != '-' &&
               known.more(args[i + 1]))
          list.push_back(args[++i]);
      } else if (options.has(name)) {
        error = "option " + name + " given twice";
        return false;
      } else {
        options.values[name] = value;
      }
    } else if (listed(known.flags, name)) {
      error = "option " + name + " takes no value";
      return false;
    } else {
      error = "unknown option " + name;
      return false;
    }
  }
  return true;
}

std::optional<int> parse_command_line(CommandLine& line, KnownOptions known, const std::string& command,
                                      const char* usage, Options& options) {
  known.habits = true;
  std::string error;
  if (!parse_options(line.args, known, options, error)) {
    line.err.print("QVADMIN " + command + ": " + error + "\n" + usage);
    return kExitUsage;
  }
  if (options.help) {
    line.out.print(usage);
    return 0;
  }
  return std::nullopt;
}
