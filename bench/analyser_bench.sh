#!/usr/bin/env bash
# VESKOL against `wc -w` on the same generated log (1 GB by default): both
# medians, the ratio, and VESKOL's peak resident memory on 10 MB and on the
# big log. The logs live in a scratch directory under /tmp, removed at the end.
# Usage: bench/analyser_bench.sh BUILD_DIR [SIZE, e.g. 1G or 200M] [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [SIZE] [RUNS]}" && pwd)
size=${2:-1G}
runs=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/veskol_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

python3 "$here/make_log.py" 10M "$work/small.log"
python3 "$here/make_log.py" "$size" "$work/dec.log"
cd "$work"
python3 "$here/measure.py" --exe "$build/analyser/VESKOL" --runs "$runs" small.log dec.log
