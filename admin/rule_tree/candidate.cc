#include "admin/rule_tree/candidate.h"

#include <cstring>
#include <optional>
#include <unordered_map>

#include "common/host.h"
#include "common/text.h"

namespace {

bool is_separator(char c) { return c == '\\' || c == '/'; }

}  // namespace

struct DirectoryMap::Seen {
  std::optional<FileIdentity> from;  // none: from names no directory on the host
  std::unordered_map<std::string, std::string> mapped;
};

std::string DirectoryMap::operator()(const char* path) const {
  const std::size_t n = from.size();
  if (n == 0) return path;
  if (std::strlen(path) >= n && same_ignoring_case(std::string_view(path, n), from)) return to + (path + n);
  if (!seen_) {
    seen_ = std::make_shared<Seen>();
    if (FileIdentity identity; host_directory_identity(from.c_str(), identity)) seen_->from = identity;
  }
  if (!seen_->from) return path;
  const auto found = seen_->mapped.find(path);
  if (found != seen_->mapped.end()) return found->second;
  // Any prefix that names the live directory on the host: from and the path
  // may each be relative or absolute, so their component counts say nothing.
  // A rule's path text is short (under 100 characters), and each path is
  // looked at once.
  std::string result = path;
  const std::string_view text(path);
  for (std::size_t end = 0; end < text.size(); ++end) {
    if (!is_separator(text[end])) continue;
    FileIdentity identity;
    if (host_directory_identity(std::string(text.substr(0, end + 1)).c_str(), identity) && identity == *seen_->from) {
      result = to + std::string(text.substr(end + 1));
      break;
    }
  }
  if (seen_->mapped.size() >= 1 << 16) seen_->mapped.clear();
  return seen_->mapped.emplace(path, std::move(result)).first->second;
}

DirectoryMap candidate_map(const std::string& live, const std::string& candidate) {
  if (live.empty() || same_ignoring_case(live, candidate)) return {};
  return {live, candidate};
}

bool is_relative_path(std::string_view path) {
  if (path.empty()) return true;
  if (is_separator(path[0])) return false;
  return !(path.size() >= 2 && path[1] == ':' && ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')));
}

std::string StartDirectorySource::resolve(const char* path) const {
  const std::string_view text(path);
  if (start_.empty() || !is_relative_path(text) ||
      (!program_.empty() && text.size() >= program_.size() && same_ignoring_case(text.substr(0, program_.size()), program_)))
    return path;
  return start_ + path;
}
