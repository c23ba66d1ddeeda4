// A plain model of how the checker sees a file, for the fuzz oracles: the
// bytes in text mode cut into the pieces that a read of at most 99
// characters gives, and each piece as it is examined.
#pragma once

#include <string>
#include <vector>

// The bytes as text mode reads them: Ctrl-Z ends the file, CR LF is one line end.
inline std::string text_mode(std::string bytes) {
  const std::size_t ctrl_z = bytes.find('\x1a');
  if (ctrl_z != std::string::npos) bytes.resize(ctrl_z);
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) text += bytes[i];
  return text;
}

// A piece ends after a line end or after max_chars characters.
inline std::vector<std::string> text_pieces(const std::string& bytes, std::size_t max_chars = 99) {
  const std::string text = text_mode(bytes);
  std::vector<std::string> pieces;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t end = text.find('\n', i);
    end = end == std::string::npos || end - i >= max_chars ? i + max_chars : end + 1;
    if (end > text.size()) end = text.size();
    pieces.push_back(text.substr(i, end - i));
    i = end;
  }
  return pieces;
}

// The piece as a zero-ended text, upper-cased and cut at its first control
// character.
inline std::string examined(const std::string& piece) {
  std::string out;
  for (char c : piece) {
    if (c == '\0' || (static_cast<unsigned char>(c) >= 1 && static_cast<unsigned char>(c) <= 31)) break;
    out += c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

// The leading bytes of the file that text mode reads as its first n
// characters. The cut must keep the file's own bytes: writing back the text
// as read would turn CR CR LF into CR LF, which reads as one character less
// and moves the 99-character piece boundaries.
inline std::string bytes_read_as(const std::string& bytes, std::size_t n) {
  std::size_t i = 0;
  for (std::size_t seen = 0; seen < n; ++i)
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) ++seen;
  return bytes.substr(0, i);
}
