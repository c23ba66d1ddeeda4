// The test names declared in the mail filter's GLOBAL.CFG.
#pragma once

#include <cstdio>
#include <string>

#include "analyser/failed_tests.h"
#include "common/console.h"

// The configuration argument upper-cased; when "GLOBAL.CFG" does not occur in
// it, it names the directory and the file name is appended.
std::string complete_config_path(const char* argument);

// Adds the first word of every line that is not a comment, an empty line or a
// filter directive to the table, upper-cased, in file order.
void read_config_names(std::FILE* file, FailedTests& table, Console& console);

// The same for a path; a file that cannot be opened adds nothing, silently.
void load_config_names(const char* path, FailedTests& table, Console& console);
