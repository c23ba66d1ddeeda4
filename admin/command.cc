#include "admin/command.h"

#include "common/host.h"

std::string program_directory_option(const CommandLine& line, const std::string* dir_word) {
  if (!dir_word) return line.own_directory;
  std::string dir = host_path_argument(dir_word->c_str());
  if (!dir.empty() && dir.back() != '\\') dir += '\\';
  return dir;
}
