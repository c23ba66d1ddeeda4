// The scan of the mail filter's log: finds the entries
//   <key> Tests failed [weight=N] NAME=... NAME=... <end token>
// in the log's stream of tokens (token_scanner.h) and counts them.
#pragma once

#include <cstdint>
#include <cstdio>

#include "analyser/failed_tests.h"
#include "analyser/token_scanner.h"
#include "common/console.h"

struct ScanTotals {
  std::int64_t recipients = 0;  // entries
  std::int64_t messages = 0;    // entries whose key differs from the last closed entry's
};

// Scans the whole log, or the first scan_limit "Tests" markers when the limit
// is above 0. Prints the progress numbers and the names of tests it adds.
// The settings choose how the log is read (tests try every way). Given again,
// a second stream of the same log (both at its start), a big log is scanned
// by two threads, with the same outcome.
void scan_log(std::FILE* log, std::int32_t scan_limit, FailedTests& table, ScanTotals& totals,
              Console& console, const ScanSettings& settings = {}, std::FILE* again = nullptr);

// Opens and scans the log at a path text. False, after telling the console,
// when the log cannot be opened.
bool scan_log_path(const char* path, std::int32_t scan_limit, FailedTests& table, ScanTotals& totals,
                   Console& console);
