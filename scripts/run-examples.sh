#!/usr/bin/env bash
# Builds the programs (showing the build's progress) and runs them on the
# bundled examples: the checker on the example messages, the analyser on the
# sample filter log, then QVADMIN's explain, lint, replay and report.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== building the programs into build/"
cmake --preset release >/dev/null
cmake --build --preset release --target quorvant veskol qvadmin
for demo in checker analyser admin lint replay; do
  echo
  echo "== examples/run-$demo.sh"
  "examples/run-$demo.sh" build
done
