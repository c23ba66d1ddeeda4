// QVADMIN serve: the web console.
#pragma once

#include "admin/command.h"

extern const Usage kServeUsage;

// Serves until SIGINT or SIGTERM (Ctrl+C), then 0; 2 for a command-line
// mistake, a program directory that cannot be read or an address that cannot
// be bound.
int run_serve(CommandLine& line);
