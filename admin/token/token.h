// QVADMIN token add: a new token for the web console, printed once, its hash
// appended to the token file.
#pragma once

#include "admin/command.h"

extern const Usage kTokenUsage;

// 0 when the token was made and its line appended; 2 for a command-line
// mistake or a token file that cannot be written.
int run_token(CommandLine& line);
