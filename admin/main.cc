// QVADMIN: the administrators' tool. Explains QUORVANT's verdicts on the
// checker's own code.
#include "admin/driver.h"
#include "admin/command.h"
#include "common/console.h"
#include "common/host.h"
#include "common/program.h"

namespace {

int run(int argc, char** argv) {
  StreamConsole out(stdout);
  StreamConsole err(stderr);
  const int code = run_admin(argc, argv, out, err, host_standard_input());
  out.flush();
  err.flush();
  return code;
}

}  // namespace

int main(int argc, char** argv) { return run_program(argc, argv, run, PathWords::None, kExitUsage); }
