#!/usr/bin/env bash
# Builds both programs and runs them on the bundled examples.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build >/dev/null
for demo in examples/run-*.sh; do
  [ -x "$demo" ] && "$demo" build
done
