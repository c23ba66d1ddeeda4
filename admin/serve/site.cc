#include "admin/serve/site.h"

#include <cstring>

#include "admin/change/history.h"
#include "admin/rule_tree/rule_tree.h"

namespace {

std::uint64_t random_seed() {
  std::uint64_t seed = 0;
  host_random_bytes(reinterpret_cast<unsigned char*>(&seed), sizeof seed);
  return seed;
}

}  // namespace

Site::Site(SiteConfig config)
    : config_(std::move(config)), index_(config_.directory, config_.days, random_seed()) {
  refresh_index();
}

void Site::refresh_index() { index_.refresh(host_local_time()); }

ActivityAnswer Site::activity(const ActivityFilter& filter, const Scope& scope, std::size_t first, std::size_t count) {
  HostThreadLockHold hold(index_lock_);
  refresh_index();
  return index_.query(filter, scope, first, count);
}

std::optional<LoggedLine> Site::message(const std::string& log, std::uint64_t offset) {
  HostThreadLockHold hold(index_lock_);
  refresh_index();
  return index_.message(log, offset);
}

std::vector<IndexedLog> Site::logs() {
  HostThreadLockHold hold(index_lock_);
  return index_.logs();
}

Site::IndexSize Site::index_size() {
  HostThreadLockHold hold(index_lock_);
  return {index_.messages(), index_.bytes(), index_.full()};
}

std::vector<std::string> Site::log_paths(int days) {
  std::vector<std::string> paths;
  for (const IndexedLog& log : logs()) {
    if (days-- <= 0) break;
    if (log.present) paths.push_back(config_.directory + log.name);
  }
  return paths;
}

std::string Site::log_of_day(const std::string& day) {
  if (day.size() != 4 || day.find_first_not_of("0123456789") != std::string::npos) return "";
  for (const IndexedLog& log : logs())
    if (day_of_log(log.name) == day) return log.name;
  return "";
}

std::string day_of_log(const std::string& log_name) { return log_name.size() > 7 ? log_name.substr(3, 4) : ""; }

bool on_candidate(const PageContext& context) {
  return field(context.query, "tree") == "candidate" && !context.site.config().candidate.empty();
}

const std::string& tree_of(const PageContext& context) {
  return on_candidate(context) ? context.site.config().candidate : context.site.config().directory;
}

ChangeTrees change_trees(const PageContext& context) { return {context.site.config().directory, tree_of(context)}; }

std::vector<std::pair<std::string, std::string>> with_tree(const PageContext& context,
                                                           std::vector<std::pair<std::string, std::string>> fields) {
  if (on_candidate(context)) fields.emplace_back("tree", "candidate");
  return fields;
}

std::string tree_input(const PageContext& context) {
  return on_candidate(context) ? "<input type=\"hidden\" name=\"tree\" value=\"candidate\"/>\n" : "";
}

bool candidate_there(const std::string& directory) {
  return !directory.empty() &&
         (holds_rule_files(directory) || host_file_kind(history_folder(directory).c_str()) == FileKind::Other);
}
