#!/usr/bin/env bash
# Builds everything natively and runs the whole test suite through CTest; then,
# when mingw-w64 and Wine are installed, builds the Windows executables and runs
# the end-to-end suite against them under Wine.
# REQUIRE_WINE=1 turns a skipped Windows suite into a failure (CI sets it).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset release

scripts/test-windows.sh
