// QUORVANT: the per-message whitelist and blacklist test. The exit code is
// the verdict: 1 whitelisted, 100 blacklisted, 0 none.
#include "checker/driver.h"
#include "checker/message_check.h"
#include "common/program.h"

int main(int argc, char** argv) { return run_program(argc, argv, run_checker, PathWords::All, kExitNoVerdict); }
