#!/usr/bin/env bash
# Runs the checker on every bundled example message, the way the mail filter
# does, and shows each verdict and the activity-log lines the run wrote.
# Usage: examples/run-checker.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: run-checker.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# Work on a copy: the runs write their log beside the program. The envelope
# file's name is derived at the first "." of the message path, so the copy's
# path must hold no other ".".
scratch=$(mktemp -d /tmp/quorvant-examples-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cp -R "$here/checker/." "$scratch/"
program="$scratch/program/QUORVANT"
cp "$build/checker/QUORVANT" "$program"

meaning() {
  case $1 in
    1) echo "whitelisted" ;;
    100) echo "blacklisted" ;;
    0) echo "no verdict" ;;
    *) echo "unexpected" ;;
  esac
}

# REDIRECT lines name their targets relative to the current directory.
cd "$scratch/program"
for message in "$scratch"/spool/D*.SMD; do
  log=$(ls "$scratch"/program/QEL*.LOG 2>/dev/null | head -n 1 || true)
  before=0
  [ -n "$log" ] && before=$(wc -c <"$log")
  set +e
  "$program" "$message"
  code=$?
  set -e
  echo "$(basename "$message"): exit code $code ($(meaning $code))"
  log=$(ls "$scratch"/program/QEL*.LOG 2>/dev/null | head -n 1 || true)
  if [ -n "$log" ]; then
    tail -c +$((before + 1)) "$log" | tr -d '\r' | sed "s/^/    $(basename "$log"): /"
  fi
done
