#include "admin/rule_tree/rule_tree.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "admin/rule_tree/rule_overlay.h"
#include "checker/message_check.h"
#include "common/file.h"
#include "common/host.h"
#include "common/text.h"
#include "common/text_file.h"

namespace {

constexpr std::string_view kExtension = kRuleFileExtension;

bool is_default_name(const std::string& name) { return same_ignoring_case(name, kDefaultRuleFile); }

class NoRuleFiles : public RuleSource {
 public:
  std::unique_ptr<RuleLineReader> open(const char*) override { return nullptr; }
};

class CascadeRecorder : public CheckObserver {
 public:
  std::array<std::string, kCascadeLevels> paths;
  void cascade_file(CascadeLevel level, const std::string& path) override {
    paths[static_cast<std::size_t>(level)] = path;
  }
};

class Walker {
 public:
  Walker(const std::string& program_directory, RuleTree& tree, const RuleOverlay* overlay)
      : program_(program_directory), tree_(tree), overlay_(overlay) {}

  // names: the path below the program directory, one name a level.
  bool walk(const std::string& directory, bool through_link) {
    std::vector<DirectoryEntry> entries;
    if (!list(directory, entries)) {
      if (!names_.empty()) tree_.unreadable_directories.push_back(directory);
      return false;
    }
    walk_entries(directory, entries, through_link);
    return true;
  }

 private:
  bool list(const std::string& directory, std::vector<DirectoryEntry>& entries) const {
    if (!host_list_directory(directory.c_str(), entries)) return false;
    if (overlay_) overlay_->adjust_listing(directory, entries);
    return true;
  }

  void walk_entries(const std::string& directory, const std::vector<DirectoryEntry>& entries, bool through_link) {
    for (const DirectoryEntry& entry : entries) {
      if (names_.empty() && same_ignoring_case(entry.name, kHistoryFolder)) continue;
      names_.push_back(entry.name);
      const std::string path = directory + entry.name;
      if (is_rule_file_name(entry.name)) consider(path, entry.is_file);
      if (entry.is_directory && !through_link) {
        walk(path + "\\", false);
      } else if (!entry.is_directory && !entry.is_file && names_.size() == 1) {
        // A domain folder may be a link to another one; its files are read
        // through it, but nothing below them.
        std::vector<DirectoryEntry> probe;
        if (list(path, probe)) walk_entries(path + "\\", probe, true);
      }
      names_.pop_back();
    }
  }

  bool same_file(const std::string& a, const std::string& b) const { return keys_.key(a) == keys_.key(b); }

  void consider(const std::string& path, bool regular) {
    TreeFile file;
    file.path = path;
    file.regular = regular;
    const std::string& name = names_.back();
    const std::string stem = name.substr(0, name.size() - kExtension.size());
    if (names_.size() == 1 && is_default_name(name)) {
      const Cascade c = cascade_for(program_, "A@B");
      if (!c.recipient.empty() && same_file(c.path(CascadeLevel::Program), path)) {
        file.anyone = true;
        file.path = c.path(CascadeLevel::Program);
      }
    } else if (names_.size() == 2 && is_default_name(name)) {
      const Cascade one = cascade_for(program_, "A@" + names_[0]);
      const Cascade two = cascade_for(program_, "B@" + names_[0]);
      if (!one.recipient.empty() && !two.recipient.empty() && same_file(one.path(CascadeLevel::Domain), path) &&
          same_file(two.path(CascadeLevel::Domain), path)) {
        file.recipients = {one.recipient, two.recipient};
        file.path = one.path(CascadeLevel::Domain);
      }
    } else if (names_.size() == 2) {
      const Cascade c = cascade_for(program_, stem + "@" + names_[0]);
      if (!c.recipient.empty() && same_file(c.path(CascadeLevel::User), path)) {
        file.recipients = {c.recipient};
        file.path = c.path(CascadeLevel::User);
      }
    }
    if (!file.reachable()) {
      if (!regular) return;  // no rule file of the checker's, just a name
      if (names_.size() == 1)
        file.unreachable_why = "in the program directory itself the checker reads only $default$.QUORVANT";
      else if (names_.size() == 2)
        file.unreachable_why =
            "a recipient's file is DOMAIN\\USER.QUORVANT and a domain's DOMAIN\\$default$.QUORVANT, with the "
            "domain and user name of an address (letters, digits and . - _ = ! # % * only)";
      else
        file.unreachable_why = "it lies below a domain folder, where the checker never looks";
    }
    tree_.files.push_back(std::move(file));
  }

  const std::string& program_;
  RuleTree& tree_;
  const RuleOverlay* overlay_;
  std::vector<std::string> names_;
  PathKeys keys_;
};

}  // namespace

bool is_rule_file_name(const std::string& name) {
  return name.size() > kExtension.size() &&
         same_ignoring_case(std::string_view(name).substr(name.size() - kExtension.size()), kExtension);
}

bool holds_rule_files(const std::string& program_directory) {
  std::vector<DirectoryEntry> entries, below;
  if (!host_list_directory(program_directory.empty() ? "." : program_directory.c_str(), entries)) return false;
  for (const DirectoryEntry& entry : entries)
    if (is_rule_file_name(entry.name)) return true;
  for (const DirectoryEntry& entry : entries)
    if (entry.is_directory && host_list_directory((program_directory + entry.name).c_str(), below))
      for (const DirectoryEntry& name : below)
        if (is_rule_file_name(name.name)) return true;
  return false;
}

Cascade cascade_for(const std::string& program_directory, const std::string& address) {
  return cascade_of_envelope(program_directory, "S<SENDER@EXAMPLE.INVALID>\r\nR<" + address + ">\r\n");
}

Cascade cascade_of_envelope(const std::string& program_directory, const std::string& envelope) {
  TextReader envelope_reader(envelope.data(), envelope.size());
  TextReader message_reader("", 0);
  NoRuleFiles files;
  CascadeRecorder recorder;
  const MessageCheck check =
      check_envelope(program_directory, "LINT", envelope_reader, message_reader, "", files, recorder);
  return Cascade{check.outcome == EnvelopeOutcome::Found ? check.envelope.recipient : "", recorder.paths};
}

bool walk_rule_tree(const std::string& program_directory, RuleTree& tree, const RuleOverlay* overlay) {
  return Walker(program_directory, tree, overlay).walk(program_directory, false);
}

std::string file_identity_key(const std::string& path) {
  FileIdentity identity;
  const FileHandle file = FileHandle::open_read(path.c_str());
  if (!file || !host_file_identity(file.get(), identity)) return {};
  std::string key = std::to_string(identity.volume);
  key += ':';
  key += std::to_string(identity.index);
  return key;
}

PathKeys::PathKeys() {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  if (!error) cwd_ = host_path_argument(current.string().c_str());
}

std::string PathKeys::key(const std::string& path) const {
  const auto has_drive = [](const std::string& p) { return p.size() >= 2 && p[1] == ':'; };
  std::string full;
  if (has_drive(path))
    full = path;
  else if (!path.empty() && path[0] == '\\')
    full = (has_drive(cwd_) && path.compare(0, 2, "\\\\") != 0 ? cwd_.substr(0, 2) : "") + path;
  else
    full = cwd_ + "\\" + path;

  std::string key;
  std::size_t i = 0;
  if (has_drive(full)) {
    key = full.substr(0, 2);
    i = 2;
  }
  std::vector<std::string> names;
  while (i <= full.size()) {
    std::size_t end = full.find('\\', i);
    if (end == std::string::npos) end = full.size();
    const std::string name = full.substr(i, end - i);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    i = end + 1;
  }
  for (const std::string& name : names) key += "\\" + name;
  return upper_case(key);
}
