#include "admin/token/token_file.h"

#include <cstdio>

#include "common/sha256.h"
#include "common/file.h"
#include "common/host.h"

namespace {

std::vector<std::string> words_of(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

bool hex_digest(std::string& text) {
  if (text.size() != 64) return false;
  for (char& c : text) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

void add_line(TokenFile& file, std::string_view text, int number) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  std::vector<std::string> words = words_of(text);
  if (words.empty() || words[0][0] == '#') return;
  const std::string where = "line " + std::to_string(number) + ": ";
  if (words.size() != 3)
    file.problems.push_back(where + "not NAME SCOPE SHA256-HEX");
  else if (!valid_token_name(words[0]))
    file.problems.push_back(where + "a name holds 1 to 64 letters, digits and - _ . @");
  else if (!hex_digest(words[2]))
    file.problems.push_back(where + "the hash is not 64 hex digits");
  else
    file.tokens.push_back({words[0], words[1], words[2], number});
}

}  // namespace

TokenFile read_token_file(const std::string& path) {
  TokenFile file;
  const FileHandle f = FileHandle::open_read(path.c_str());
  if (!f) return file;
  std::string bytes(kMaxTokenFile, '\0');
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f.get()));
  const bool more = std::fgetc(f.get()) != EOF;
  file.read = true;
  int number = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    add_line(file, std::string_view(bytes).substr(start, end - start), ++number);
    start = end + 1;
  }
  file.ends_open = !bytes.empty() && bytes.back() != '\n';
  if (more) file.problems.push_back("the file is longer than " + std::to_string(kMaxTokenFile) + " bytes: the rest is not read");
  return file;
}

const TokenLine* find_token(const TokenFile& file, std::string_view token) {
  const std::string hash = sha256_hex(token);
  const TokenLine* found = nullptr;
  for (const TokenLine& line : file.tokens)
    if (same_secret(line.hash, hash) && !found) found = &line;
  return found;
}

std::string new_token() {
  unsigned char bytes[32];
  if (!host_random_bytes(bytes, sizeof bytes)) return "";
  constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

bool valid_token_name(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (const char c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
          c == '.' || c == '@'))
      return false;
  return true;
}

namespace {

// A domain: labels of letters, digits and "-", joined by dots.
bool domain_name(std::string_view text) {
  if (text.empty() || text.size() > 253) return false;
  std::size_t label = 0;
  for (const char c : text) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-') {
      if (++label > 63) return false;
    } else {
      return false;
    }
  }
  return label > 0;
}

// The part before the "@" of an address, in the characters a FROM rule tests.
bool local_part(std::string_view text) {
  if (text.empty() || text.size() > 64) return false;
  for (const char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          std::string_view(".-_=!#%+").find(c) != std::string_view::npos))
      return false;
  return true;
}

}  // namespace

bool known_token_scope(std::string_view scope) {
  if (scope == "*") return true;
  const std::size_t at = scope.find('@');
  if (at == std::string_view::npos) return domain_name(scope);
  return local_part(scope.substr(0, at)) && domain_name(scope.substr(at + 1));
}

bool same_secret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char differ = 0;
  for (std::size_t i = 0; i < a.size(); ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  return differ == 0;
}
