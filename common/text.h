// In-place operations on zero-ended texts held in caller-owned buffers.
// Every comparison the programs make is a plain byte comparison; case is
// folded only by upper_case_text, and only for the bytes a to z.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// Byte classes. A space is the byte 32 only; a TAB is not a space.
bool is_control_char(unsigned char c);  // bytes 1 to 31

// The bytes an address is made of: A-Z, 0-9 and . - _ = ! # % *
inline constexpr std::array<bool, 256> kAddressChars = [] {
  std::array<bool, 256> table{};
  for (int c = 'A'; c <= 'Z'; ++c) table[c] = true;
  for (int c = '0'; c <= '9'; ++c) table[c] = true;
  for (const char c : {'.', '-', '_', '=', '!', '#', '%', '*'}) table[static_cast<unsigned char>(c)] = true;
  return table;
}();
inline bool is_address_char(unsigned char c) { return kAddressChars[c]; }

// The bytes a to z upper-cased; every other byte stays as it is.
inline char upper_case_char(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char* upper_case_text(char* text);
std::string upper_case(std::string_view text);
bool same_ignoring_case(std::string_view a, std::string_view b);
char* cut_at_control_char(char* text);
char* normalise_line(char* text);  // upper_case_text, then cut_at_control_char
char* trim_spaces(char* text);
// The text without the spaces trim_spaces takes from its ends.
std::string_view trimmed(std::string_view text);
char* directory_part(char* path);
// Ends the text after the address around its last "@" and gives the address,
// a part of the same buffer; a text without "@" becomes "~BAD" (the buffer
// must hold at least five bytes).
char* extract_address(char* text);
// The address around the "@" at position at, the last of the text: the run of
// address characters on both sides of it, never the text's first character
// (callers hand over whole lines that begin with a keyword) unless that is
// the "@".
std::string_view address_around(std::string_view text, std::size_t at);
// Small queries used by the readers and the rule code.
bool begins_with(const char* text, const char* prefix);
bool contains(const char* text, const char* word);
// Position of the first occurrence of word in text, or -1.
long position_of(const char* text, const char* word);
// True when the first occurrence of word in text begins at pos.
bool stands_at(const char* text, const char* word, long pos);
// The text with every byte below 32 and byte 127 shown as "?", so that text
// from a sender never acts on a terminal (escape sequences) or forges a line;
// with keep_tabs, tabs stay as they are.
std::string printable(std::string_view text, bool keep_tabs = false);
// Copies src into dst, keeping at most capacity - 1 bytes and the terminator.
void copy_text(char* dst, std::size_t capacity, const char* src);
