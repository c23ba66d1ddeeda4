// QVADMIN report: what the checker did, per day and in total, from its
// activity logs; on the console, and with --html as a page.
#pragma once

#include "admin/command.h"

extern const Usage kReportUsage;

// 0, or 2 for a command-line mistake, a log that cannot be read or a page
// that cannot be written.
int run_report(CommandLine& line);
