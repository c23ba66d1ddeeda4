#include "admin/output/output_file.h"

#include "admin/activity_log/log_files.h"
#include "common/file.h"

OutputFile::OutputFile(std::string path, std::string marker) : path_(std::move(path)) {
  if (is_activity_log_name(path_)) {
    refusal_ = "a name of the checker's activity logs (QEL????.LOG): give the file a name of its own";
    return;
  }
  const FileHandle file = FileHandle::open_read(path_.c_str());
  if (!file) {
    if (!host_error_is_missing()) refusal_ = "it cannot be looked at: " + host_error_text();
    return;
  }
  exists_ = host_file_identity(file.get(), identity_);
  std::string head(kMarkerSearch, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file.get()));
  if (head.find(marker) == std::string::npos)
    refusal_ = "an existing file that QVADMIN did not write: QVADMIN replaces only a file it made";
}

void OutputFile::reading(std::FILE* file) {
  FileIdentity read;
  if (exists_ && refusal_.empty() && host_file_identity(file, read) && read == identity_)
    refusal_ = "it is one of the files being read";
}

bool OutputFile::write(const std::string& bytes, std::string& why) {
  why = refusal_;
  if (!why.empty()) return false;
  if (host_replace_file(path_.c_str(), bytes.data(), bytes.size(), Permissions::Keep) == ReplaceOutcome::Replaced)
    return true;
  why = host_error_text();
  return false;
}
