// Text from logs and rule files (senders' text among it) in HTML pages.
#pragma once

#include <string>
#include <string_view>

// The text as HTML text, fit for element content and quoted attribute values:
// markup characters as entities, control bytes as U+FFFD, other bytes above
// 127 as the characters of those numbers (the logs hold no encoding).
// With keep_line_ends, "\n" stays as it is (for preformatted text).
std::string html_escape(std::string_view text, bool keep_line_ends = false);
