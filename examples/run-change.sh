#!/usr/bin/env bash
# QVADMIN's rule changes on the bundled examples (in a scratch copy): a rule
# added with a preview of what it changes in the checker's own log, the
# history, the rollback that gives the file back; then a candidate tree
# promoted and rolled back.
# Usage: examples/run-change.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: run-change.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

# The spool path must hold no "." but the message file's.
scratch=$(mktemp -d /tmp/qvadmin-change-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cp -R "$here/checker/." "$scratch/"
cp "$build/checker/QUORVANT" "$build/admin/QVADMIN" "$scratch/program/"
cd "$scratch/program"
for message in "$scratch"/spool/D*.SMD; do
  ./QUORVANT "$message" || true
done
log=$(ls QEL*.LOG)

run() {  # shows the command and its output, then its exit code
  echo "\$ QVADMIN $*"
  set +e
  ./QVADMIN "$@" | tr -d '\r'
  local code=${PIPESTATUS[0]}
  set -e
  echo "(exit code $code)"
  echo
}

# Joe's mail to example.org is blacklisted by the domain's file; a rule
# before its first one lets it through.
run add --first --preview "$log" @example.org WHITELIST FROM joe@example.com
run history
run rollback --yes
if diff -r "$here/checker/program/EXAMPLE.ORG" EXAMPLE.ORG >/dev/null; then
  echo "The domain's rule file holds its bytes of before the add again."
  echo
fi

# A candidate tree: a copy of the live one with the server-wide file STRICT.
mkdir ../candidate
cp -R ./*.QUORVANT EXAMPLE.ORG SHARED ../candidate/
printf 'STRICT\r\n' >>"../candidate/\$default\$.QUORVANT"
run promote --rules ../candidate "$log"
run promote --rules ../candidate --yes
run rollback --yes
