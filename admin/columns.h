// Text columns as VESKOL lays out its table: labels right-aligned in a field
// of 25 characters (or of the longest label), a TAB, then numbers
// right-aligned in fields of 7.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kLabelWidth = 25;
inline constexpr std::size_t kNumberWidth = 7;

// Right-aligned in width characters; a longer text stays whole.
std::string right(std::string_view text, std::size_t width);
std::string right(long number, std::size_t width = kNumberWidth);
// The label field's width for these labels: 25, or the longest label.
std::size_t label_width(const std::vector<std::string>& labels);

// The pieces one after another (appending piece by piece keeps GCC's
// -Wrestrict quiet where "text" + std::string would not).
std::string join(std::initializer_list<std::string_view> pieces);
