#include "admin/command.h"

#include "common/host.h"

std::string usage_text(const Usage& usage) {
  std::string text = "usage: ";
  for (const char* p = usage.synopsis; *p; ++p) {
    text += *p;
    if (*p == '\n' && p[1]) text += "       ";
  }
  return text + "\n" + usage.details;
}

bool read_options(CommandLine& line, const KnownOptions& known, Options& options, int& code) {
  std::string error;
  switch (parse_options(line.args, known, options, error)) {
    case ParseOutcome::Run:
      return true;
    case ParseOutcome::Help:
      line.out.print(usage_text(line.usage));
      code = 0;
      return false;
    case ParseOutcome::Mistake:
      break;
  }
  code = mistake(line, error);
  return false;
}

int mistake(CommandLine& line, const std::string& message) {
  line.err.print(line.command + ": " + message + "\nTry \"" + line.command + " --help\" for the usage.\n");
  return kExitUsage;
}

std::string program_directory_option(const CommandLine& line, const std::string* dir_word) {
  if (!dir_word) return line.own_directory;
  std::string dir = host_path_argument(dir_word->c_str());
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  return dir;
}
