#include "admin/token/token.h"

#include <string>

#include "admin/options.h"
#include "admin/token/sha256.h"
#include "admin/token/token_file.h"
#include "common/host.h"

namespace {

constexpr char kUsage[] = "usage: QVADMIN token add --token-file FILE NAME [SCOPE]\n";

int refuse(CommandLine& line, const std::string& why) {
  line.err.print("QVADMIN token: " + why + "\n" + kUsage);
  return kExitUsage;
}

}  // namespace

int run_token(CommandLine& line) {
  Options options;
  std::string error;
  if (!parse_options(line.args, {{"--token-file"}, {}}, options, error)) return refuse(line, error);
  const std::vector<std::string>& words = options.words;
  if (words.empty() || words[0] != "add") return refuse(line, "give the word add");
  if (!options.has("--token-file")) return refuse(line, "give --token-file");
  if (words.size() < 2 || words.size() > 3) return refuse(line, "give a NAME and at most a SCOPE");
  const std::string& name = words[1];
  const std::string scope = words.size() == 3 ? words[2] : "*";
  if (!valid_token_name(name)) return refuse(line, "a NAME holds 1 to 64 letters, digits and - _ . @");
  if (!known_token_scope(scope)) return refuse(line, "SCOPE " + scope + " is unknown: this version knows * alone");

  const std::string path = host_path_argument(options.value("--token-file")->c_str());
  const TokenFile file = read_token_file(path);
  for (const TokenLine& token : file.tokens)
    if (token.name == name)
      return refuse(line, "the name " + name + " is taken, at line " + std::to_string(token.line) + " of " + path);
  const std::string token = new_token();
  if (token.empty()) return refuse(line, "the system gives no random bytes");
  // A last line without its line end gets one first.
  const std::string text = std::string(file.ends_open ? "\r\n" : "") + name + " " + scope + " " + sha256_hex(token) + "\r\n";
  if (!host_append(path.c_str(), text.data(), text.size())) return refuse(line, "cannot append to " + path);
  line.out.print("Token " + name + " (scope " + scope + "), shown this once:\n\n    " + token +
                 "\n\nIts SHA-256 is now in " + path + ". Log in by opening\n    http://HOST:PORT/login?token=" + token +
                 "\nwith the console's address (127.0.0.1:8025 unless QVADMIN serve was given --listen).\n");
  return 0;
}
