#include "admin/explain/explain_sources.h"

#include <utility>

#include "checker/message_check.h"
#include "common/file.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

class OverlayLineReader : public RuleLineReader {
 public:
  OverlayLineReader(FileHandle file, std::string appended)
      : file_(std::move(file)), text_(file_.get(), std::move(appended)), lines_(text_) {}
  bool next(RuleLine& line) override { return lines_.next(line); }

 private:
  FileHandle file_;
  TextReader text_;
  TextRuleLineReader lines_;
};

// The bytes alone, for a day whose log the run would have made.
class AppendedLineReader : public RuleLineReader {
 public:
  explicit AppendedLineReader(std::string appended)
      : appended_(std::move(appended)), text_(appended_.data(), appended_.size()), lines_(text_) {}
  bool next(RuleLine& line) override { return lines_.next(line); }

 private:
  std::string appended_;
  TextReader text_;
  TextRuleLineReader lines_;
};

// The last component without the trailing dots and spaces Windows drops.
std::string_view file_name(std::string_view path) {
  path = path.substr(path.find_last_of("\\/") + 1);
  while (!path.empty() && (path.back() == '.' || path.back() == ' ')) path.remove_suffix(1);
  return path;
}

}  // namespace

ExplainSources::ExplainSources(const std::string& program_directory, const std::string& start_directory,
                               DirectoryMap candidate, const LocalTime& now, const std::string& appended)
    : candidate_(disk_, std::move(candidate)),
      start_(candidate_, program_directory, start_directory),
      program_directory_(program_directory),
      log_path_(make_log_path(program_directory.c_str(), now)),
      appended_(appended) {
  const FileHandle log = FileHandle::open_read(log_path_.c_str());
  if (FileIdentity identity; log && host_file_identity(log.get(), identity)) log_ = identity;
}

bool ExplainSources::names_day_log(const std::string& path, std::FILE* file) const {
  if (FileIdentity identity; log_ && file) return host_file_identity(file, identity) && identity == *log_;
  if (log_ || file) return false;
  // No log yet: the path names the one the run makes when it ends in the
  // log's name in the program directory.
  FileIdentity directory, program;
  const std::size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return same_ignoring_case(file_name(path), file_name(log_path_)) &&
         host_directory_identity(folder.c_str(), directory) &&
         host_directory_identity(program_directory_.c_str(), program) && directory == program;
}

std::unique_ptr<RuleLineReader> ExplainSources::open(const char* path) {
  const std::string resolved = start_.resolve(path);
  FileHandle file = FileHandle::open_read(resolved.c_str());
  if (names_day_log(resolved, file.get())) {
    if (file) return std::make_unique<OverlayLineReader>(std::move(file), appended_);
    if (!appended_.empty()) return std::make_unique<AppendedLineReader>(appended_);
    return nullptr;
  }
  return start_.open(path);
}

std::string ExplainSources::read_path(const std::string& path) const {
  return candidate_.map()(start_.resolve(path.c_str()).c_str());
}

std::string ExplainSources::shown(const std::string& path) const { return host_native_path(read_path(path).c_str()); }
