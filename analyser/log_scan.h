// The scan of the mail filter's log: finds the entries
//   <key> Tests failed [weight=N] NAME=... NAME=... <end token>
// in the log's stream of white-space separated tokens and counts them.
//
// Tokens are runs of bytes other than space, TAB, LF, CR, VT and FF; a longer
// run than 100 bytes is read as 100-byte pieces and a last shorter one, and a
// zero byte ends a token's text (the rest of the piece is read and ignored).
// Byte 26 ends the log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "common/console.h"
#include "analyser/test_table.h"

struct ScanTotals {
  std::int64_t recipients = 0;  // entries
  std::int64_t messages = 0;    // entries whose key differs from the last closed entry's
};

inline constexpr std::size_t kScanReadSize = 256 * 1024;

// Scans the whole log, or the first scan_limit "Tests" markers when the limit
// is above 0. Prints the progress numbers and the names of tests it adds.
// read_size is how much each read asks for (small sizes are for tests).
void scan_log(std::FILE* log, std::int32_t scan_limit, TestTable& table, ScanTotals& totals,
              Console& console, std::size_t read_size = kScanReadSize);

// Opens and scans the log at a path text. False, after telling the console,
// when the log cannot be opened.
bool scan_log_path(const char* path, std::int32_t scan_limit, TestTable& table, ScanTotals& totals,
                   Console& console);

// Index of the first "Tests" in the bytes, or size when there is none.
std::size_t find_marker_text(const char* bytes, std::size_t size);
