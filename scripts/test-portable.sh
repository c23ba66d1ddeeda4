#!/usr/bin/env bash
# Builds the analyser with the vector inner loops of its log scanner switched
# off (-DVECTOR_SCAN=OFF) into build-portable/ and runs the analyser's unit
# tests, the replay of the scanner's fuzz corpus and the analyser's
# end-to-end cases: the plain loops, which an x86-64 build tries only beside
# the vector ones, are then built and tested alone. Fails when a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-portable -G Ninja -DCMAKE_BUILD_TYPE=Release -DVECTOR_SCAN=OFF >/dev/null
cmake --build build-portable -j2 --target analyser_tests replay_scan veskol
build-portable/analyser/analyser_tests --gtest_brief=1
build-portable/tests/replay_scan fuzz/corpus/scan >/dev/null
ctest --test-dir build-portable --output-on-failure --no-tests=error -R '^analyser_e2e$'
echo "portable scanner: all passed"
