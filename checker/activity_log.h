// The daily activity log beside the program.
#pragma once

#include <optional>
#include <string>

#include "common/host.h"

enum class LogLevel { Low = 1, Mid = 2, High = 3, Debug = 4 };

// The level a word (upper case) names: only its start is compared, so
// LOWEST counts as LOW. None for any other word.
std::optional<LogLevel> log_level_word(const char* word);

// "QEL%2i%2i.LOG" with month and day, spaces turned into "0", after the
// program directory (which ends with a backslash or is empty).
std::string make_log_path(const char* program_directory, const LocalTime& now);
// HH:MM:SS, 24-hour clock.
std::string start_time_text(const LocalTime& now);

// Appends the text and one line break (stored as CR LF) to the file. A log
// that cannot be opened loses the line; the run never hears of it.
void append_log_line(const char* log_path, const std::string& text);
