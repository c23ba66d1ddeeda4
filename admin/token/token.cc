#include "admin/token/token.h"

#include <string>

#include "admin/options.h"
#include "common/sha256.h"
#include "admin/token/token_file.h"
#include "common/host.h"

const Usage kTokenUsage = {
    "QVADMIN token add --token-file FILE NAME [SCOPE]\n",
    "\n"
    "Makes a random token for the web console (QVADMIN serve --token-file FILE), prints it\n"
    "once, and appends its line \"NAME SCOPE SHA256-HEX\" to FILE, which is made when missing.\n"
    "The file holds the token's SHA-256, never the token.\n"
    "\n"
    "  --token-file FILE  the token file\n"
    "  NAME               1 to 64 letters, digits and - _ . @, not yet in the file\n"
    "  SCOPE              what the token opens: * (everything, the default), a domain\n"
    "                     (example.org: its mail, its domain file and its users' files) or an\n"
    "                     address (ann@example.org: that user's mail and own file)\n"
    "\n"
    "Exit code: 0, or 2 for a mistake on the command line or a file that cannot be written.\n",
};

int run_token(CommandLine& line) {
  Options options;
  if (int code; !read_options(line, {{"--token-file"}, {}}, options, code)) return code;
  const auto refuse = [&](const std::string& why) { return mistake(line, why); };
  const std::vector<std::string>& words = options.words;
  if (words.empty() || words[0] != "add") return refuse("give the word add");
  if (!options.has("--token-file")) return refuse("give --token-file");
  if (words.size() < 2 || words.size() > 3) return refuse("give a NAME and at most a SCOPE");
  const std::string& name = words[1];
  const std::string scope = words.size() == 3 ? words[2] : "*";
  if (!valid_token_name(name)) return refuse("a NAME holds 1 to 64 letters, digits and - _ . @");
  if (!known_token_scope(scope)) return refuse("SCOPE " + scope + " is not *, a domain or an address");

  const std::string path = host_path_argument(options.value("--token-file")->c_str());
  const TokenFile file = read_token_file(path);
  for (const TokenLine& token : file.tokens)
    if (token.name == name)
      return refuse("the name " + name + " is taken, at line " + std::to_string(token.line) + " of " + path);
  const std::string token = new_token();
  if (token.empty()) return refuse("the system gives no random bytes");
  // A last line without its line end gets one first.
  const std::string text = std::string(file.ends_open ? "\r\n" : "") + name + " " + scope + " " + sha256_hex(token) + "\r\n";
  if (!host_append(path.c_str(), text.data(), text.size())) return refuse("cannot append to " + path);
  line.out.print("Token " + name + " (scope " + scope + "), shown this once:\n\n    " + token +
                 "\n\nIts SHA-256 is now in " + path + ". Log in by opening\n    http://HOST:PORT/login?token=" + token +
                 "\nwith the console's address (127.0.0.1:8025 unless QVADMIN serve was given --listen).\n");
  return 0;
}
