// The daily activity log beside the program, and the two run-wide settings
// every writer reads: the log path and the log level.
#pragma once

#include <cstddef>
#include <string>

#include "common/host.h"

enum LogLevel { kLow = 1, kMid = 2, kHigh = 3, kDebug = 4 };

// Capacity of the checker's short texts: 99 characters and the terminator.
constexpr std::size_t kTextSize = 100;
// The log path holds 99 characters, the day's file name 11 of them.
constexpr std::size_t kMaxProgramDirectory = 88;

// "QEL%2i%2i.LOG" with month and day, spaces turned into "0", after the
// program directory (which ends with a backslash or is empty).
std::string make_log_path(const char* program_directory, const LocalTime& now);
// HH:MM:SS, 24-hour clock.
std::string start_time_text(const LocalTime& now);

// Appends the text and one line break (stored as CR LF) to the file. A log
// that cannot be opened loses the line; the run never hears of it.
void append_log_line(const char* log_path, const std::string& text);

// Run-wide settings, set at start-up by the run driver.
void set_log_path(const std::string& path);
void set_log_level(int level);
const std::string& log_path();
int log_level();

// Appends the line to the run's log when the run's level is at least threshold.
void log_at(int threshold, const std::string& text);
