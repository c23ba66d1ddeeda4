#!/usr/bin/env bash
# Shows QVADMIN on the bundled examples (in a scratch copy): explain of one
# example message, which a REDIRECT whitelists.
# Usage: examples/run-admin.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: run-admin.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# QVADMIN goes beside the rule files, as beside QUORVANT.EXE on a server;
# the spool path must hold no "." but the message file's.
scratch=$(mktemp -d /tmp/qvadmin-examples-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cp -R "$here/checker/." "$scratch/"
cp "$build/admin/QVADMIN" "$scratch/program/QVADMIN"
# REDIRECT lines name their targets relative to the current directory.
cd "$scratch/program"

echo "\$ QVADMIN explain $scratch/spool/D7C20.SMD"
set +e
./QVADMIN explain "$scratch/spool/D7C20.SMD" | tr -d '\r'
code=$?
set -e
echo "(exit code $code, the checker's own for this message)"
