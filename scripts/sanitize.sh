#!/usr/bin/env bash
# Builds the whole suite (programs, unit tests, end-to-end tests) with
# AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs
# ctest. Fails on any failed test and on any sanitizer report, also one from a
# program run whose exit code a test did not look at: every report is written
# to build-asan/sanitizer-reports/ and the directory must stay empty. The
# build uses clang, so that with the release build (g++) every line of the
# suite is compiled by both compilers.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset sanitizers >/dev/null
cmake --build --preset sanitizers

reports="$PWD/build-asan/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
chmod 1777 "$reports"  # runs as the user nobody report here too
# Exit code 86 is none of the programs' own, so a report also shows as a
# wrong exit code; the end-to-end drivers read SANITIZED to relax their
# address-space limit (the sanitizers reserve terabytes of it).
export ASAN_OPTIONS="log_path=$reports/asan:exitcode=86:detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="log_path=$reports/ubsan:exitcode=86:print_stacktrace=1:halt_on_error=1"
export SANITIZED=1
status=0
ctest --preset sanitizers || status=1

if [ -n "$(ls -A "$reports")" ]; then
  echo "sanitizer reports:"
  for f in "$reports"/*; do echo "--- $f"; head -40 "$f"; done
  status=1
fi
exit $status
