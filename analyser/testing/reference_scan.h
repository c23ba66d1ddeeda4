// The log scan written the plain way, one token at a time, each step on its
// own: the yardstick that the fast scanner must agree with.
#pragma once

#include <cstdint>
#include <cstdio>

#include "analyser/failed_tests.h"
#include "analyser/log_scan.h"
#include "common/console.h"

void reference_scan_log(std::FILE* log, std::int32_t scan_limit, FailedTests& table, ScanTotals& totals,
                        Console& console);
