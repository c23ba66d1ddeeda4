#include "admin/options.h"

#include <algorithm>

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

bool is_option(const std::string& word) { return word.size() >= 2 && word[0] == '-'; }

}  // namespace

const std::string* Options::value(const std::string& name) const {
  const auto it = values.find(name);
  return it == values.end() ? nullptr : &it->second;
}

ParseOutcome parse_options(const std::vector<std::string>& args, const KnownOptions& known, Options& options,
                           std::string& error) {
  bool help = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") {
      options.words.insert(options.words.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (!is_option(arg)) {
      options.words.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const bool asks_help = name == "-h" || name == "--help";
    if (asks_help || listed(known.flags, name)) {
      if (equals != std::string::npos) {
        error = "option " + name + " takes no value";
        return ParseOutcome::Mistake;
      }
      if (asks_help) {
        help = true;
        continue;
      }
    } else if (listed(known.with_values, name)) {
      std::vector<std::string>& list = options.lists[name];
      if (equals != std::string::npos) {
        list.push_back(arg.substr(equals + 1));
        continue;
      }
      if (i + 1 == args.size()) {
        error = "option " + name + " needs a value";
        return ParseOutcome::Mistake;
      }
      list.push_back(args[++i]);
      while (known.more && i + 1 < args.size() && !is_option(args[i + 1]) && known.more(args[i + 1]))
        list.push_back(args[++i]);
      continue;
    } else if (!listed(known.with_value, name)) {
      error = "unknown option " + name;
      return ParseOutcome::Mistake;
    }
    if (options.has(name)) {
      error = "option " + name + " given twice";
      return ParseOutcome::Mistake;
    }
    if (listed(known.flags, name)) {
      options.flags.insert(name);
    } else if (equals != std::string::npos) {
      options.values[name] = arg.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      options.values[name] = args[++i];
    } else {
      error = "option " + name + " needs a value";
      return ParseOutcome::Mistake;
    }
  }
  return help ? ParseOutcome::Help : ParseOutcome::Run;
}
