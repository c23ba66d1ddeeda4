// VESKOL: counts the tests that the mail filter's log reports as failed.
#include "analyser/driver.h"
#include "common/program.h"

int main(int argc, char** argv) { return run_program(argc, argv, run_analyser, PathWords::All, kExitDone); }
