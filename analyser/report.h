// The report: the tests by message failures, with their shares of all
// messages and recipients, on the console and in "veskol.txt" beside the log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analyser/failed_tests.h"
#include "analyser/log_scan.h"
#include "common/console.h"

// count * 100 / total, cut toward zero; 0 when the total is 0.
std::int64_t share(std::int64_t count, std::int64_t total);

// Slot numbers by descending message fail count; equal counts keep slot order.
std::vector<int> report_order(const FailedTests& table);

// The report's lines, each with its own line ends, in order.
std::vector<std::string> report_lines(const char* log_path, const FailedTests& table, const ScanTotals& totals);

// Prints the report and puts it in place of the report file in one step.
// When the new file cannot be created (or "veskol.txt" is a directory or a
// device) the report goes to the console alone; when writing or replacing
// fails, the earlier report stays whole and the console ends with a line that
// says so.
void write_report(const char* log_path, const FailedTests& table, const ScanTotals& totals, Console& console);
