// VESKOL: counts the tests that the mail filter's log reports as failed.
#include "analyser/console.h"
#include "analyser/driver.h"
#include "common/host.h"

int main(int argc, char** argv) {
  host_open_standard_streams();
  host_prepare_arguments(argc, argv);
  host_prepare_console();
  StdoutConsole console;
  return run_analyser(argc, argv, console);
}
