#!/usr/bin/env bash
# QVADMIN replay and report on a month of activity logs (1,000,000 result
# lines in 30 daily logs by default, made by make_qel.py for the checker
# benchmark's tree of three 501-line rule files), each against its peer in the
# same run: replay against `grep -c -F -f PATTERNS` on the same logs (PATTERNS
# holds every rule text of the tree), report against `wc -l` of them. Prints
# the medians, the ratios and the peak resident memory of both commands; then
# replay once more against a tree whose three files all differ.
# Usage: bench/replay_bench.sh BUILD_DIR [LINES] [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: replay_bench.sh BUILD_DIR [LINES] [RUNS]}" && pwd)
lines=${2:-1000000}
runs=${3:-7}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/qvadmin-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

"$here/make_rule_tree.sh" "$scratch/prog"
"$here/make_rule_tree.sh" "$scratch/distinct" distinct
python3 "$here/make_qel.py" "$scratch/prog" "$scratch/logs" "$lines" 30

cd "$scratch"
python3 - "$build/admin/QVADMIN" "$runs" <<'PY'
import glob, os, statistics, subprocess, sys, time
qvadmin, runs = sys.argv[1], int(sys.argv[2])
logs = sorted(glob.glob("logs/QEL*.LOG"))
size = sum(os.path.getsize(p) for p in logs)
for p in logs:  # into the page cache: every contender reads from memory
    open(p, "rb").read()

def timed(cmd):
    start = time.perf_counter()
    # Into a file: GNU grep stops at its first match when it writes to /dev/null.
    with open("out.txt", "wb") as out:
        subprocess.run(cmd, stdout=out, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start

def peak_kb(cmd):
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return int(proc.stderr.split()[-1])

pairs = {
    "replay": ([qvadmin, "replay", "--dir", "prog"] + logs, ["grep", "-c", "-F", "-f", "logs/PATTERNS"] + logs,
               "grep -c -F -f PATTERNS"),
    "report": ([qvadmin, "report"] + logs, ["wc", "-l"] + logs, "wc -l"),
}
lines = sum(1 for p in logs for _ in open(p, "rb"))
print(f"{len(logs)} logs, {lines} lines, {size / 1e6:.0f} MB; {runs} runs each, taking turns; medians")
for name, (ours, peer, peer_name) in pairs.items():
    a, b = [], []
    for _ in range(runs):
        a.append(timed(ours))
        b.append(timed(peer))
    ma, mb = statistics.median(a), statistics.median(b)
    print(f"  QVADMIN {name:7s} {ma:7.3f} s   {peer_name:24s} {mb:7.3f} s   ratio {ma / mb:5.2f}"
          f"   peak memory {peak_kb(ours) / 1024:5.1f} MB")
distinct = [qvadmin, "replay", "--dir", "distinct"] + logs
times = [timed(distinct) for _ in range(runs)]
print(f"  QVADMIN replay against three different files: {statistics.median(times):.3f} s")
PY
