#!/usr/bin/env bash
# Times the checker on one message whose cascade reads three rule files of
# 501 lines that all miss (user, domain and program file), against the same
# binary in a program directory without rule files and against /bin/true, at
# the log levels LOW, MID and HIGH. Prints the medians and the ratio of a run
# with the rule files to one without them (the goal: at most 1.2).
# BEFORE=DIR runs that build's checker beside this one, in the same run; with
# WINDOWS_BUILD=DIR (a build made by scripts/test-windows.sh, whose Wine
# prefix it uses) QUORVANT.EXE runs under Wine at MID too, and
# WINDOWS_BEFORE=DIR adds that build's QUORVANT.EXE.
# Usage: [BEFORE=DIR] [WINDOWS_BUILD=DIR [WINDOWS_BEFORE=DIR]] bench/checker_bench.sh BUILD_DIR [RUNS] [WINE_RUNS]
set -euo pipefail
build=$(cd "${1:?usage: checker_bench.sh BUILD_DIR [RUNS] [WINE_RUNS]}" && pwd)
runs=${2:-400}
wine_runs=${3:-40}
here=$(cd "$(dirname "$0")" && pwd)

scratch=$(mktemp -d /tmp/quorvant-bench-XXXXXX)
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$scratch/spool"
printf 'Received: from mx\r\nSubject: An ordinary message\r\n\r\nbody\r\n' >"$scratch/spool/D5F1A.SMD"
printf 'S<joe@example.com>\r\nR<ann@example.org>\r\n' >"$scratch/spool/_5F1A.~MD"

# Each checker in a program directory with the three files of 501 lines,
# none of which hits the message, and in one without rule files.
contenders=()  # name, program (relative to the scratch directory), launcher
place() {  # name, executable, launcher
  local dir=$scratch/$1 exe
  exe=$(basename "$2")
  mkdir -p "$dir/rules" "$dir/none"
  "$here/make_rule_tree.sh" "$dir/rules"
  cp "$2" "$dir/rules/$exe"
  cp "$2" "$dir/none/$exe"
  contenders+=("$1" "$dir/rules/$exe" "$dir/none/$exe" "$3")
}
place after "$build/checker/QUORVANT" ""
[ -n "${BEFORE:-}" ] && place before "$(cd "$BEFORE" && pwd)/checker/QUORVANT" ""
if [ -n "${WINDOWS_BUILD:-}" ]; then
  . "$here/wine.sh"
  start_wine "$WINDOWS_BUILD"
  place after.exe "$win/checker/QUORVANT.EXE" "$wine"
  [ -n "${WINDOWS_BEFORE:-}" ] && place before.exe "$(cd "$WINDOWS_BEFORE" && pwd)/checker/QUORVANT.EXE" "$wine"
fi

python3 - "$scratch" "$runs" "$wine_runs" "${contenders[@]}" <<'PY'
import os, statistics, sys, time
scratch, runs, wine_runs = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rest = sys.argv[4:]
contenders = [rest[i:i + 4] for i in range(0, len(rest), 4)]
message = os.path.join(scratch, "spool", "D5F1A.SMD")

def once(argv):
    """Wall-clock time, and the processor time (user and system) of the
    process and its children: the steadier of the two on a busy machine."""
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ)
    _, status, usage = os.wait4(pid, 0)
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime, os.waitstatus_to_exitcode(status)

def command(program, launcher, word):
    return ([launcher] if launcher else []) + [program, word, message]

print("medians per message, the contenders taking turns run by run: wall-clock time, then processor time;")
print("ratio: a run with the three rule files to one without (goal: at most 1.2); cost: their difference")
print(f"{'checker':10} {'level':6} {'rule files':>11} {'none':>9} {'/bin/true':>9} {'ratio':>6} {'cost':>7}"
      f"   {'rule files':>10} {'none':>9} {'ratio':>6} {'cost':>7}")
for word in ("LOW", "MID", "HIGH"):
    for name, rules, none, launcher in contenders:
        if launcher and word != "MID":
            continue  # under Wine its start-up dominates: one level is enough
        n = wine_runs if launcher else runs
        times = {"rules": [], "none": [], "true": []}
        for _ in range(max(3, n // 20)):  # warm the caches
            once(command(rules, launcher, word)); once(command(none, launcher, word))
        for _ in range(n):
            result = once(command(rules, launcher, word))
            assert result[2] == 0, f"unexpected verdict {result[2]}"
            times["rules"].append(result)
            times["none"].append(once(command(none, launcher, word)))
            times["true"].append(once(["/bin/true"]))
        wall = {k: statistics.median(t[0] for t in v) for k, v in times.items()}
        cpu = {k: statistics.median(t[1] for t in v) for k, v in times.items()}
        print(f"{name:10} {word:6} {wall['rules'] * 1e6:9.0f}us {wall['none'] * 1e6:7.0f}us {wall['true'] * 1e6:7.0f}us"
              f" {wall['rules'] / wall['none']:6.2f} {(wall['rules'] - wall['none']) * 1e6:5.0f}us"
              f"   {cpu['rules'] * 1e6:8.0f}us {cpu['none'] * 1e6:7.0f}us {cpu['rules'] / cpu['none']:6.2f}"
              f" {(cpu['rules'] - cpu['none']) * 1e6:5.0f}us", flush=True)
PY
