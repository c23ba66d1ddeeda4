// The console's token file: one token a line, "NAME SCOPE SHA256-HEX", where
// the hex digits are the SHA-256 of the token; "#" begins a comment line. The
// file holds no token itself, so reading it gives nobody access.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct TokenLine {
  std::string name;
  std::string scope;  // "*": everything; a domain; an address
  std::string hash;   // 64 lower-case hex digits
  int line = 0;       // where it stands in the file, from 1
};

struct TokenFile {
  bool read = false;  // false: missing or not readable
  std::vector<TokenLine> tokens;
  std::vector<std::string> problems;  // lines that are no token line, each "line N: why"
  bool ends_open = false;             // the last line has no line end
};

// Token files beyond this size are read no further.
inline constexpr std::size_t kMaxTokenFile = 1 << 20;

TokenFile read_token_file(const std::string& path);

// The line whose hash is the token's, or nullptr. Every line is compared
// whole, whatever matches, so that the time taken tells nothing.
const TokenLine* find_token(const TokenFile& file, std::string_view token);

// A new token: 32 random bytes as 64 hex digits; empty when the system gives
// no random bytes.
std::string new_token();

// A name for a token line: 1 to 64 letters, digits and - _ . @.
bool valid_token_name(std::string_view name);
// The scopes a token may have: "*" (everything), a domain ("example.org")
// or one address ("ann@example.org").
bool known_token_scope(std::string_view scope);

// Equal texts, compared in a time that depends on their lengths alone.
bool same_secret(std::string_view a, std::string_view b);
