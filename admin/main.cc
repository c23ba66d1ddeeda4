// QVADMIN: the administrators' tool. Explains QUORVANT's verdicts on the
// checker's own code.
#include "admin/command.h"
#include "admin/driver.h"
#include "common/program.h"

int main(int argc, char** argv) { return run_program(argc, argv, run_admin, PathWords::None, kExitUsage); }
