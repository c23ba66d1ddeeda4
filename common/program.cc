#include "common/program.h"

#include <cstdio>

#include "common/host.h"

int run_program(int argc, char** argv, Driver driver, PathWords paths, int failure_exit_code) {
  host_open_standard_streams();
  try {
    host_prepare_console();
    if (paths == PathWords::All) host_prepare_arguments(argc, argv);
    StreamConsole out(stdout), err(stderr);
    const int code = driver(argc, argv, out, err, host_standard_input());
    out.flush();
    err.flush();
    return code;
  } catch (...) {
    return failure_exit_code;
  }
}
