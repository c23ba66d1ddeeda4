// VESKOL: counts the tests that the mail filter's log reports as failed.
#include "common/console.h"
#include "analyser/driver.h"
#include "common/program.h"

namespace {

int run(int argc, char** argv) {
  StreamConsole console(stdout);
  return run_analyser(argc, argv, console);
}

}  // namespace

int main(int argc, char** argv) { return run_program(argc, argv, run, PathWords::All, 0); }
