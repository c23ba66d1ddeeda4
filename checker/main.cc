// QUORVANT: the per-message whitelist and blacklist test. The exit code is
// the verdict: 1 whitelisted, 100 blacklisted, 0 none.
#include "checker/run.h"
#include "common/host.h"

int main(int argc, char** argv) {
  host_open_standard_streams();
  try {
    host_prepare_console();
    host_prepare_arguments(argc, argv);
    return run(argc, argv);
  } catch (...) {
    return 0;
  }
}
