#include "admin/serve/serve.h"

#include <string>

#include "admin/activity_log/log_files.h"
#include "admin/options.h"
#include "admin/rule_tree/rule_tree.h"
#include "admin/serve/server.h"
#include "admin/serve/site.h"
#include "admin/token/token_file.h"
#include "checker/limits.h"
#include "common/host.h"

namespace {

constexpr char kDefaultListen[] = "127.0.0.1:8025";

int refuse(CommandLine& line, const std::string& why) { return mistake(line, why); }

// HOST:PORT as a browser writes it in the Host header.
std::string host_text(const ListenAddress& address, unsigned short port) {
  const bool v6 = address.host.find(':') != std::string::npos;
  return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(port);
}

}  // namespace

const Usage kServeUsage = {
    "QVADMIN serve [--dir PROGRAM_DIR] [--listen HOST:PORT] [--token-file FILE] [--host NAME] [--days N]\n"
    "              [--candidate DIR]\n",
    "\n"
    "A web console on this machine: the activity of the last days with every message's\n"
    "account, the rule files with lint's findings and the messages each rule decided, the\n"
    "report and the health of the tree. It prints the address to open, with a token made\n"
    "for this run, and serves until it is stopped.\n"
    "\n"
    "  --dir PROGRAM_DIR    the directory of QUORVANT.EXE and its rule files (default: the\n"
    "                       directory of QVADMIN itself)\n"
    "  --listen HOST:PORT   where to listen (default 127.0.0.1:8025); HOST is an IP address\n"
    "                       ([::1] for IPv6) or localhost; port 0 takes a free one. An\n"
    "                       address other than the loopback needs --token-file\n"
    "  --token-file FILE    tokens made by QVADMIN token add also log in\n"
    "  --host NAME          a further Host header to answer to (a reverse proxy's name)\n"
    "  --days N             days of activity logs shown, 1 to 365 (default 30)\n"
    "  --candidate DIR      where a candidate tree is kept: a folder apart from the program\n"
    "                       directory, empty or not there yet until the Candidate page starts\n"
    "                       one (a copy of the live rule files, edited on the console,\n"
    "                       replayed against the live tree and promoted)\n"
    "\n"
    "Exit code: 2 for a mistake on the command line, a program directory that cannot be read\n"
    "or an address that cannot be used.\n",
};

int run_serve(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--dir", "--listen", "--token-file", "--host", "--days", "--candidate"}, {}}, options, code))
    return code;
  std::string error;
  if (!options.words.empty()) return refuse(line, "unexpected word " + options.words[0]);

  SiteConfig config;
  config.directory = program_directory_option(line, options.value("--dir"));
  if (const std::string* days = options.value("--days")) {
    if (days->empty() || days->size() > 3 || days->find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(*days) < 1 || std::stoi(*days) > 365)
      return refuse(line, "--days is a number from 1 to 365");
    config.days = std::stoi(*days);
  }
  if (!readable_directory(config.directory.empty() ? "." : config.directory))
    return refuse(line, "cannot read the program directory " + (config.directory.empty() ? "." : config.directory));
  if (config.directory.size() > kMaxProgramDirectory)
    line.err.print("QVADMIN serve: the program directory " + config.directory + " is longer than " +
                   std::to_string(kMaxProgramDirectory) + " characters: QUORVANT writes no log there\n");

  if (const std::string* candidate = options.value("--candidate")) {
    config.candidate = program_directory_option(line, candidate);
    // Neither inside the other: the live tree's walk would take in the
    // candidate's files, or the candidate's the live ones.
    const PathKeys keys;
    const std::string live_key = keys.key(config.directory), candidate_key = keys.key(config.candidate);
    const auto inside = [](const std::string& a, const std::string& b) {
      return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == '\\');
    };
    if (candidate->empty() || inside(live_key, candidate_key) || inside(candidate_key, live_key))
      return refuse(line, "--candidate " + *candidate + ": give a folder apart from the program directory, neither "
                          "inside the other");
  }

  ListenAddress address;
  const std::string listen = options.has("--listen") ? *options.value("--listen") : kDefaultListen;
  if (!parse_listen(listen, address, error)) return refuse(line, "--listen " + listen + ": " + error);

  if (const std::string* file = options.value("--token-file")) {
    config.token_file = host_path_argument(file->c_str());
    const TokenFile tokens = read_token_file(config.token_file);
    for (const std::string& problem : tokens.problems)
      line.err.print("QVADMIN serve: " + config.token_file + ", " + problem + ": ignored\n");
    if (tokens.tokens.empty()) {
      if (!address.loopback)
        return refuse(line, "no token in " + config.token_file + ": make one with QVADMIN token add");
      line.err.print("QVADMIN serve: no token in " + config.token_file + " yet\n");
    }
  } else if (!address.loopback) {
    return refuse(line, "a --listen address other than the loopback needs --token-file");
  }
  // Browsers name the machine in the Host header, which is checked: on every
  // address at once, only --host says what that name is.
  if (address.any && !options.has("--host"))
    return refuse(line, "--listen " + listen + " takes every address of this machine: give --host with the name "
                        "browsers use for it");
  if (address.loopback) {
    config.start_token = new_token();
    if (config.start_token.empty()) return refuse(line, "the system gives no random bytes for a token");
  }

  Site site(config);
  Server server(site, ServerLimits{});
  if (!server.listen(address, error)) return refuse(line, "cannot listen on " + listen + ": " + error);
  const std::string host = host_text(address, server.port());
  std::vector<std::string> hosts = {host};
  if (address.loopback) hosts.push_back("localhost:" + std::to_string(server.port()));
  if (server.port() == 80) hosts.push_back(host.substr(0, host.rfind(':')));
  if (const std::string* name = options.value("--host")) hosts.push_back(*name);
  site.answer_to(hosts);

  line.out.print("QVADMIN serve: the console of " + (config.directory.empty() ? std::string(".") : config.directory) +
                 " (activity of the last " + std::to_string(config.days) + " days) at http://" + host + "/\n");
  if (!address.loopback)
    line.out.print("Warning: " + address.host +
                   " is not a loopback address, and the console speaks plain HTTP: tokens and pages cross the "
                   "network unencrypted. Put a TLS reverse proxy in front of it.\n");
  if (!config.start_token.empty())
    line.out.print("Log in by opening\n    http://" + host + "/login?token=" + config.start_token + "\n");
  if (!config.token_file.empty())
    line.out.print("Tokens of " + config.token_file + " log in at http://" + host + "/login?token=TOKEN\n");
  line.out.flush();
  server.run();
  return 0;
}
