#include "common/program.h"

#include "common/host.h"

int run_program(int argc, char** argv, int (*body)(int, char**), PathWords paths, int failure_exit_code) {
  host_open_standard_streams();
  try {
    host_prepare_console();
    if (paths == PathWords::All) host_prepare_arguments(argc, argv);
    return body(argc, argv);
  } catch (...) {
    return failure_exit_code;
  }
}
