#!/usr/bin/env bash
# Runs QVADMIN lint on the bundled example rule files, which lint clean, and
# on an example file full of the mistakes lint finds.
# Usage: examples/run-lint.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: run-lint.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# Lint only reads. REDIRECT lines name their targets relative to the
# directory QUORVANT is started in, the program directory: lint runs there.
cd "$here/checker/program"
run() {
  echo "\$ QVADMIN $*"
  set +e
  "$build/admin/QVADMIN" "$@" | tr -d '\r'
  local code=${PIPESTATUS[0]}
  set -e
  echo "(exit code $code)"
  echo
}
run lint --dir .
run lint --dir . --notes
run lint ../mistakes/ANN.QUORVANT
