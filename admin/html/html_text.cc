#include "admin/html/html_text.h"

std::string html_escape(std::string_view text, bool keep_line_ends) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (c == '\n' && keep_line_ends)
          out += ch;
        else if (c < 32)
          out += "&#xFFFD;";
        else if (c > 126)
          out += "&#" + std::to_string(c) + ";";
        else
          out += ch;
    }
  }
  return out;
}
