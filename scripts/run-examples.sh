#!/usr/bin/env bash
# Builds the programs (showing the build's progress) and runs them on the
# bundled examples: the checker on the example messages, the analyser on the
# sample filter log, then QVADMIN's explain, lint, replay and report, and
# its rule changes (add with a preview, rollback, promote).
set -euo pipefail
cd "$(dirname "$0")/.."

echo "== building the programs into build/"
cmake --preset release >/dev/null
cmake --build --preset release --target quorvant veskol qvadmin
for demo in checker analyser admin lint replay change; do
  echo
  echo "== examples/run-$demo.sh"
  "examples/run-$demo.sh" build
done
