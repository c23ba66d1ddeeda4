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

bool is_activity_log_name(const std::string& path) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return wildcard_match("QEL????.LOG", name.c_str());
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

namespace {

// The logs read so far, so that a log named twice (by another path, a link,
// a wildcard, standard input redirected from it) is read once.
class ReadOnce {
 public:
  // The name under which the file was read before, or nullptr.
  const std::string* before(const std::string& name, std::FILE* file) {
    FileIdentity identity;
    if (!host_file_identity(file, identity)) {
      if (name != kStandardInput) return nullptr;
      // A pipe: standard input is read once all the same.
      identity = {~0ull, ~0ull};
    }
    for (const auto& [seen, seen_name] : seen_)
      if (seen == identity) return &seen_name;
    seen_.emplace_back(identity, name);
    return nullptr;
  }

 private:
  std::vector<std::pair<FileIdentity, std::string>> seen_;
};

}  // namespace

void read_logs(const std::vector<std::string>& words, const std::string& command, Console& err, std::FILE* in,
               const std::function<void(const std::string& path, std::FILE* file, FileHandle owned)>& read,
               const std::function<void(const std::string& path)>& unreadable) {
  const LogFiles logs = log_files(words);
  for (const std::string& pattern : logs.unmatched) {
    unreadable(pattern);
    err.print(command + ": no log matches " + host_native_path(pattern.c_str()) + "\n");
  }
  ReadOnce once;
  auto read_once = [&](const std::string& log, std::FILE* file, FileHandle owned) {
    if (const std::string* before = once.before(log, file))
      err.print(command + ": " + host_native_path(log.c_str()) + ": the same file as " + host_native_path(before->c_str()) +
                ", read once\n");
    else
      read(log, file, std::move(owned));
  };
  for (const std::string& log : logs.paths) {
    if (log == "-") {
      if (in) {
        read_once(kStandardInput, in, FileHandle());
      } else {
        unreadable(kStandardInput);
        err.print(command + ": standard input cannot be read\n");
      }
      continue;
    }
    FileHandle file = FileHandle::open_read(log.c_str());
    if (!file) {
      unreadable(log);
      const std::string why = host_error_text();
      err.print(command + ": " + host_native_path(log.c_str()) +
                     (readable_directory(log) ? ": a directory, not a log\n" : ": cannot be read: " + why + "\n"));
      continue;
    }
    std::FILE* stream = file.get();
    read_once(log, stream, std::move(file));
  }
}

void read_logs(const std::vector<std::string>& words, const std::string& command, Console& err, std::FILE* in,
               const std::function<void(const std::string& path, std::FILE* file)>& read,
               const std::function<void(const std::string& path)>& unreadable) {
  read_logs(words, command, err, in, [&](const std::string& path, std::FILE* file, FileHandle) { read(path, file); },
            unreadable);
}

bool readable_directory(const std::string& path) {
  std::vector<DirectoryEntry> entries;
  return host_list_directory(path.c_str(), entries);
}
