#!/usr/bin/env bash
# Builds dist/quorvant-veskol-windows.zip for administrators: the three Windows
# executables, README-WINDOWS.txt, the example rule files and the example
# messages (SPOOL\, for README-WINDOWS.txt's commands), every text file with
# CR LF line ends. Needs mingw-w64 and zip.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
exes=(build-win/checker/QUORVANT.EXE build-win/analyser/VESKOL.EXE build-win/admin/QVADMIN.EXE)
scripts/check-imports.sh "${exes[@]}" >/dev/null || {
  scripts/check-imports.sh "${exes[@]}" >&2
  exit 1
}

name=quorvant-veskol-windows
stage=dist/$name
rm -rf "$stage" "dist/$name.zip"
mkdir -p "$stage/examples"
cp "${exes[@]}" "$stage/"

crlf() {  # source, target: the text with every line ended by CR LF
  mkdir -p "$(dirname "$2")"
  sed -e 's/\r$//' -e 's/$/\r/' "$1" >"$2"
}
crlf packaging/README-WINDOWS.txt "$stage/README-WINDOWS.txt"
# The example REDIRECT targets get the full path of the program directory
# that README-WINDOWS.txt suggests, C:\QUORVANT\.
(cd examples/checker/program && find . -type f -iname '*.QUORVANT' | sort) | while read -r rule; do
  awk '$1 == "REDIRECT" && $3 !~ /^[A-Za-z]:/ { $3 = "C:\\QUORVANT\\" $3 } { print }' \
    "examples/checker/program/$rule" >"dist/rule.tmp"
  crlf dist/rule.tmp "$stage/examples/${rule#./}"
done
rm -f dist/rule.tmp
# The example messages and envelopes, as the mail filter writes them.
mkdir -p "$stage/SPOOL"
cp examples/checker/spool/* "$stage/SPOOL/"

(cd dist && zip -q -r -X "$name.zip" "$name")
echo "dist/$name.zip:"
python3 -m zipfile -l "dist/$name.zip"
