// QVADMIN replay: the messages of past activity logs through a candidate rule
// tree, on the checker's own engine, and every verdict that would change.
#pragma once

#include "admin/command.h"

extern const Usage kReplayUsage;

// Exit code as diff's: 0 when no message's verdict changes, 1 when some do,
// 2 for a command-line mistake or a log that cannot be read.
int run_replay(CommandLine& line);
