// QVADMIN add, remove, show, promote, rollback and history: rule changes
// that cannot go wrong, on the module in admin/change/. Exit codes: 0 done,
// 1 refused (the reason on standard output), 2 a command-line mistake or a
// failure (on standard error).
#pragma once

#include "admin/command.h"

extern const Usage kAddUsage, kRemoveUsage, kShowUsage, kPromoteUsage, kRollbackUsage, kHistoryUsage;

int run_add(CommandLine& line);
int run_remove(CommandLine& line);
int run_show(CommandLine& line);
int run_promote(CommandLine& line);
int run_rollback(CommandLine& line);
int run_history(CommandLine& line);
