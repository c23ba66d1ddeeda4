#include "admin/activity_log/log_files.h"

#include "common/file.h"
#include "common/host.h"
#include "common/text.h"

bool wildcard_match(const char* pattern, const char* name) {
  // The last "*" seen and where the name stood then: on a mismatch, that
  // "*" takes one more character.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && upper_case_char(*pattern) == upper_case_char(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

LogFiles log_files(const std::vector<std::string>& words) {
  LogFiles files;
  for (const std::string& word : words) {
    const std::string path = host_path_argument(word.c_str());
    const std::size_t slash = path.rfind('\\');
    const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = path.substr(directory.size());
    if (name.find_first_of("*?") == std::string::npos) {
      files.paths.push_back(path);
      continue;
    }
    std::vector<DirectoryEntry> entries;
    bool any = false;
    if (host_list_directory(directory.c_str(), entries))
      for (const DirectoryEntry& entry : entries)
        if (entry.is_file && wildcard_match(name.c_str(), entry.name.c_str())) {
          files.paths.push_back(directory + entry.name);
          any = true;
        }
    if (!any) files.unmatched.push_back(path);
  }
  return files;
}

void read_logs(const std::vector<std::string>& words, const std::string& command, Console& err,
               const std::function<void(const std::string& path, std::FILE* file)>& read,
               const std::function<void(const std::string& path)>& unreadable) {
  const LogFiles logs = log_files(words);
  for (const std::string& pattern : logs.unmatched) {
    unreadable(pattern);
    err.print(command + ": no log matches " + pattern + "\n");
  }
  for (const std::string& log : logs.paths) {
    const FileHandle file = FileHandle::open_read(log.c_str());
    if (!file) {
      unreadable(log);
      err.print(command + ": " + log + (readable_directory(log) ? ": a directory, not a log\n" : ": cannot be read\n"));
      continue;
    }
    read(log, file.get());
  }
}

bool readable_directory(const std::string& path) {
  std::vector<DirectoryEntry> entries;
  return host_list_directory(path.c_str(), entries);
}
