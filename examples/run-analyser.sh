#!/usr/bin/env bash
# Runs the log analyser on the sample filter log and GLOBAL.CFG (in a scratch
# copy) and shows the report it prints and writes to veskol.txt.
# Usage: examples/run-analyser.sh BUILD_DIR
set -euo pipefail
exe=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)/analyser/VESKOL
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/veskol_example.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$here/analyser/dec0101.log" "$here/analyser/GLOBAL.CFG" "$work/"
cd "$work"

echo '$ VESKOL dec0101.log .        (the log, then the directory of GLOBAL.CFG)'
"$exe" dec0101.log . | tr -d '\r'
echo
echo '--- veskol.txt, written beside the log ---'
tr -d '\r' < veskol.txt
