#!/usr/bin/env bash
# VESKOL beside `cat log > /dev/null`, `wc -l` and `wc -w` on the same
# generated log (1 GB by default): the medians, VESKOL's ratios to the goals
# (at most 2 times cat, 1.5 times wc -l), and VESKOL's peak resident memory on
# 10 MB and on the big log. With WINDOWS_BUILD=build-win (a build made by
# scripts/test-windows.sh, whose Wine prefix it uses) VESKOL.EXE runs under
# Wine beside them. The logs live in a scratch directory under /tmp, removed
# at the end. BEFORE=DIR (and WINDOWS_BEFORE=DIR) run an earlier build's
# VESKOL (VESKOL.EXE) beside, for a comparison in one run.
# Usage: [BEFORE=DIR] [WINDOWS_BUILD=DIR [WINDOWS_BEFORE=DIR]] bench/analyser_bench.sh BUILD_DIR [SIZE, e.g. 1G or 200M] [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [SIZE] [RUNS]}" && pwd)
size=${2:-1G}
runs=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/veskol_bench.XXXXXX)
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

extra=()
[ -n "${BEFORE:-}" ] && extra+=(--before-exe "$(cd "$BEFORE" && pwd)/analyser/VESKOL")
if [ -n "${WINDOWS_BUILD:-}" ]; then
  . "$here/wine.sh"
  start_wine "$WINDOWS_BUILD"
  extra+=(--windows-exe "$win/analyser/VESKOL.EXE" --launcher "$wine")
  [ -n "${WINDOWS_BEFORE:-}" ] && extra+=(--windows-before-exe "$(cd "$WINDOWS_BEFORE" && pwd)/analyser/VESKOL.EXE")
fi

python3 "$here/make_log.py" 10M "$work/small.log"
python3 "$here/make_log.py" "$size" "$work/dec.log"
cd "$work"
python3 "$here/measure.py" --exe "$build/analyser/VESKOL" "${extra[@]}" --runs "$runs" small.log dec.log
