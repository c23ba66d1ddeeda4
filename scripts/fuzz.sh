#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each one for
# FUZZ_SECONDS (default 60) on a scratch copy of its seed corpus in
# fuzz/corpus/<target>/. Fails when any target reports a finding (crash, hang,
# sanitizer report or failed oracle); the input is kept in build-fuzz/findings/.
# Prints each target's executions per second and the coverage it reached.
# Usage: scripts/fuzz.sh [target ...]   (default: every target with a corpus)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
cmake --preset fuzzing >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
cmake --build --preset fuzzing --target "${targets[@]/#/fuzz_}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
findings="build-fuzz/findings"
mkdir -p "$findings"
failed=0
summary=""
for t in "${targets[@]}"; do
  cp -r "fuzz/corpus/$t" "$work/$t"
  log="$work/$t.log"
  echo "== fuzz_$t for ${seconds}s"
  if (cd "$work" && "$OLDPWD/build-fuzz/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$OLDPWD/$findings/$t-" \
        "$work/$t") >"$log" 2>&1; then
    status=ok
  else
    status=FINDING
    failed=1
    grep -E 'oracle failed|ERROR|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -1 || true)
  units=$(grep -Eo 'corp: [0-9]+' "$log" | tail -1 || true)
  summary+=$(printf '%-16s %-8s %8s exec/s   %s   %s' "fuzz_$t" "$status" "${execs:-?}" "${cov:-cov: ?}" "${units:-}")$'\n'
done
echo
printf '%s' "$summary"
exit $failed
