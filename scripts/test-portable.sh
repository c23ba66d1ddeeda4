#!/usr/bin/env bash
# Builds the programs with the vector forms of their inner loops switched off
# (-DVECTOR_SCAN=OFF) into build-portable/ and runs the tests of every module
# that has such forms: the analyser's unit tests, the replay of the scanner's
# fuzz corpus and the analyser's end-to-end cases; the byte scan of the
# activity log reader and the tests of the vector sets. The plain loops,
# which an x86-64 build tries only beside the vector ones, are then built and
# tested alone. Fails when a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset portable >/dev/null
cmake --build --preset portable --target analyser_tests replay_scan veskol admin_activity_log_tests common_tests
build-portable/analyser/analyser_tests --gtest_brief=1
build-portable/admin/activity_log/admin_activity_log_tests --gtest_brief=1
build-portable/common/common_tests --gtest_brief=1 --gtest_filter='VectorSets.*'
build-portable/tests/replay_scan fuzz/corpus/scan >/dev/null
ctest --test-dir build-portable --output-on-failure --no-tests=error -R '^analyser_e2e$'
echo "portable loops: all passed"
