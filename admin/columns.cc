#include "admin/columns.h"

#include <algorithm>

std::string right(std::string_view text, std::size_t width) {
  std::string out;
  if (text.size() < width) out.assign(width - text.size(), ' ');
  out += text;
  return out;
}

std::string right(long number, std::size_t width) { return right(std::to_string(number), width); }

std::size_t label_width(const std::vector<std::string>& labels) {
  std::size_t width = kLabelWidth;
  for (const std::string& label : labels) width = std::max(width, label.size());
  return width;
}

std::string join(std::initializer_list<std::string_view> pieces) {
  std::size_t size = 0;
  for (const std::string_view piece : pieces) size += piece.size();
  std::string text;
  text.reserve(size);
  for (const std::string_view piece : pieces) text += piece;
  return text;
}
