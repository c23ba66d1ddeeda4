#include "common/text.h"

#include <cstring>

bool is_control_char(unsigned char c) { return c >= 1 && c <= 31; }

char* upper_case_text(char* text) {
  for (char* p = text; *p; ++p) *p = upper_case_char(*p);
  return text;
}

std::string upper_case(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = upper_case_char(c);
  return upper;
}

bool same_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper_case_char(a[i]) != upper_case_char(b[i])) return false;
  return true;
}

char* cut_at_control_char(char* text) {
  for (char* p = text; *p; ++p)
    if (is_control_char(static_cast<unsigned char>(*p))) {
      *p = '\0';
      break;
    }
  return text;
}

char* normalise_line(char* text) { return cut_at_control_char(upper_case_text(text)); }

// At most 201 spaces are removed from each end; a longer run keeps the rest.
char* trim_spaces(char* text) {
  constexpr int kMaxRemovals = 201;
  std::size_t lead = 0;
  while (lead < kMaxRemovals && text[lead] == ' ') ++lead;
  if (lead > 0) std::memmove(text, text + lead, std::strlen(text + lead) + 1);
  std::size_t len = std::strlen(text);
  for (int removed = 0; removed < kMaxRemovals && len > 0 && text[len - 1] == ' '; ++removed)
    text[--len] = '\0';
  return text;
}

char* directory_part(char* path) {
  char* last = std::strrchr(path, '\\');
  if (last)
    last[1] = '\0';
  else
    path[0] = '\0';
  return path;
}

char* extract_address(char* text) {
  char* at = std::strrchr(text, '@');
  if (!at) {
    std::memcpy(text, "~BAD", 5);
    return text;
  }
  const long a = at - text;
  // The first character of the text is never part of the address: callers
  // hand over whole lines that begin with a keyword.
  long start = a;
  if (a >= 2) {
    start = 1;
    for (long i = a - 1; i >= 1; --i)
      if (!is_address_char(static_cast<unsigned char>(text[i]))) {
        start = i + 1;
        break;
      }
  }
  char* end = at + 1;
  while (is_address_char(static_cast<unsigned char>(*end))) ++end;
  *end = '\0';
  return text + start;
}

bool begins_with(const char* text, const char* prefix) {
  return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

bool contains(const char* text, const char* word) { return std::strstr(text, word) != nullptr; }

long position_of(const char* text, const char* word) {
  const char* hit = std::strstr(text, word);
  return hit ? hit - text : -1;
}

bool stands_at(const char* text, const char* word, long pos) { return position_of(text, word) == pos; }

std::string printable(std::string_view text, bool keep_tabs) {
  std::string shown(text);
  for (char& c : shown)
    if ((static_cast<unsigned char>(c) < 32 && !(keep_tabs && c == '\t')) || c == 127) c = '?';
  return shown;
}

void copy_text(char* dst, std::size_t capacity, const char* src) {
  if (capacity == 0) return;
  std::size_t n = std::strlen(src);
  if (n > capacity - 1) n = capacity - 1;
  std::memmove(dst, src, n);
  dst[n] = '\0';
}
