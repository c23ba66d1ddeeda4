#!/usr/bin/env bash
# QVADMIN on the bundled examples: the checker runs on every example message
# and leaves its activity log; replay then shows what a changed rule tree
# would have done to those messages, and report summarises the log, on the
# console and as an HTML page (kept in the build directory).
# Usage: examples/run-replay.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: run-replay.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# Work on a copy; its path must hold no "." (the envelope file's name is
# derived at the first "." of the message path).
scratch=$(mktemp -d /tmp/quorvant-replay-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cp -R "$here/checker/." "$scratch/"
cp "$build/checker/QUORVANT" "$build/admin/QVADMIN" "$scratch/program/"

cd "$scratch/program"
for message in "$scratch"/spool/D*.SMD; do
  ./QUORVANT "$message" || true
done
log=$(ls QEL*.LOG)

# The candidate: the live tree with two changes. Joe is let through at
# example.org, and the server-wide file turns STRICT.
cp -R "$scratch/program" "$scratch/candidate"
rm "$scratch/candidate/"{QUORVANT,QVADMIN,QEL*.LOG}
printf 'WHITELIST FROM JOE@EXAMPLE.COM\r\n' | cat - "$scratch/program/EXAMPLE.ORG/\$default\$.QUORVANT" \
  >"$scratch/candidate/EXAMPLE.ORG/\$default\$.QUORVANT"
printf 'STRICT\r\n' >>"$scratch/candidate/\$default\$.QUORVANT"

# From the candidate directory, so that relative REDIRECT words (such as
# BOB.QUORVANT's) are read there, as the checker reads them from its own.
cd "$scratch/candidate"
echo "\$ ../program/QVADMIN replay --rules . --hits ../program/$log"
../program/QVADMIN replay --rules . --hits "../program/$log" || true
echo
page="$build/qvadmin-report.html"
# QVADMIN replaces only a page that it marked as its own, and pages of older
# builds carry no mark.
rm -f "$page"
echo "\$ ../program/QVADMIN report --html $page ../program/$log"
../program/QVADMIN report --html "$page" "../program/$log"
