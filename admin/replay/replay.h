// QVADMIN replay: the messages of past activity logs through a candidate rule
// tree, on the checker's own engine, and every verdict that would change.
#pragma once

#include <string>
#include <vector>

#include "admin/command.h"
#include "admin/replay/replay_hits.h"

// Exit code as diff's: 0 when no message's verdict changes, 1 when some do,
// 2 for a command-line mistake or a log that cannot be read.
int run_replay(CommandLine& line);

// What `QVADMIN replay --dir DIRECTORY --hits LOG...` lists after its summary:
// every rule, STRICT and NO DOMAIN line of the tree below the directory (and
// of the files its REDIRECTs reach) with the messages of the logs it decided.
// Logs that cannot be read add nothing.
std::vector<HitLine> replay_hits(const std::string& directory, const std::vector<std::string>& logs);
