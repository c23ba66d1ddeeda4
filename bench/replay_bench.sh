#!/usr/bin/env bash
# QVADMIN replay and report on a month of activity logs (1,000,000 result
# lines in 30 daily logs by default, made by make_qel.py for the checker
# benchmark's tree of three 501-line rule files), each against its peer in the
# same run: replay against `grep -c -F -f PATTERNS` on the same logs (PATTERNS
# holds every rule text of the tree), report against `wc -l` of them; then
# report again on a month where 40% of the lines are blacklisted (from 90,000
# sender addresses, to 5,000 users in 300 domains), where its rankings count
# many names. Prints the medians of wall-clock and processor time (the
# steadier on a busy machine), the ratios (goals: replay at most 3 times grep,
# report at most 3 times wc -l) and the peak resident memory; then replay once
# more against a tree whose three files all differ.
# BEFORE=DIR runs that build's QVADMIN beside this one; WINDOWS_BUILD=DIR (a
# build made by scripts/test-windows.sh, whose Wine prefix it uses) adds
# QVADMIN.EXE under Wine, and WINDOWS_BEFORE=DIR that build's QVADMIN.EXE.
# Usage: [BEFORE=DIR] [WINDOWS_BUILD=DIR [WINDOWS_BEFORE=DIR]] bench/replay_bench.sh BUILD_DIR [LINES] [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: replay_bench.sh BUILD_DIR [LINES] [RUNS]}" && pwd)
lines=${2:-1000000}
runs=${3:-7}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/qvadmin-bench-XXXXXX)
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

programs=(after "$build/admin/QVADMIN" "")
[ -n "${BEFORE:-}" ] && programs+=(before "$(cd "$BEFORE" && pwd)/admin/QVADMIN" "")
if [ -n "${WINDOWS_BUILD:-}" ]; then
  . "$here/wine.sh"
  start_wine "$WINDOWS_BUILD"
  programs+=(after.exe "$win/admin/QVADMIN.EXE" "$wine")
  [ -n "${WINDOWS_BEFORE:-}" ] && programs+=(before.exe "$(cd "$WINDOWS_BEFORE" && pwd)/admin/QVADMIN.EXE" "$wine")
fi

"$here/make_rule_tree.sh" "$scratch/prog"
"$here/make_rule_tree.sh" "$scratch/distinct" distinct
python3 "$here/make_qel.py" "$scratch/prog" "$scratch/logs" "$lines" 30
python3 "$here/make_qel.py" "$scratch/prog" "$scratch/blacklisted" "$lines" 30 blacklisted

cd "$scratch"
python3 - "$runs" "${programs[@]}" <<'PY'
import glob, os, resource, statistics, subprocess, sys, time
runs = int(sys.argv[1])
rest = sys.argv[2:]
programs = [rest[i:i + 3] for i in range(0, len(rest), 3)]

def month(folder):
    logs = sorted(glob.glob(f"{folder}/QEL*.LOG"))
    for p in logs:  # into the page cache: every contender reads from memory
        open(p, "rb").read()
    size = sum(os.path.getsize(p) for p in logs)
    lines = sum(1 for p in logs for _ in open(p, "rb"))
    return logs, f"{len(logs)} logs, {lines} lines, {size / 1e6:.0f} MB"

def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime

def timed(cmd):
    cpu, start = children_cpu(), time.perf_counter()
    # Into a file: GNU grep stops at its first match when it writes to /dev/null.
    with open("out.txt", "wb") as out:
        subprocess.run(cmd, stdout=out, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, children_cpu() - cpu

def peak_kb(cmd):
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return int(proc.stderr.split()[-1])

def command(program, launcher, args):
    return ([launcher] if launcher else []) + [program] + args

def compare(title, args, peer, peer_name, goal):
    """Every program and the peer take turns run by run."""
    contenders = {name: command(program, launcher, args) for name, program, launcher in programs}
    contenders[peer_name] = peer
    times = {name: [] for name in contenders}
    for _ in range(runs):
        for name, cmd in contenders.items():
            times[name].append(timed(cmd))
    wall = {name: statistics.median(t for t, _ in ts) for name, ts in times.items()}
    cpu = {name: statistics.median(c for _, c in ts) for name, ts in times.items()}
    print(f"{title}; medians of {runs} runs, wall-clock then processor time")
    print(f"  {peer_name:24s} {wall[peer_name]:7.3f} s {cpu[peer_name]:7.3f} s")
    for name, program, launcher in programs:
        memory = "" if launcher else f"   peak memory {peak_kb(contenders[name]) / 1024:5.1f} MB"
        print(f"  QVADMIN {name:16s} {wall[name]:7.3f} s {cpu[name]:7.3f} s   ratio {wall[name] / wall[peer_name]:5.2f}"
              f" {cpu[name] / cpu[peer_name]:5.2f} (goal: at most {goal}){memory}", flush=True)

logs, about = month("logs")
compare(f"replay, {about}", ["replay", "--dir", "prog"] + logs, ["grep", "-c", "-F", "-f", "logs/PATTERNS"] + logs,
        "grep -c -F -f PATTERNS", 3)
compare(f"report, {about}", ["report"] + logs, ["wc", "-l"] + logs, "wc -l", 3)
heavy, about = month("blacklisted")
compare(f"report, 40% blacklisted, {about}", ["report"] + heavy, ["wc", "-l"] + heavy, "wc -l", 3)
for name, program, launcher in programs:
    if not launcher:
        distinct = [program, "replay", "--dir", "distinct"] + logs
        times = [timed(distinct)[0] for _ in range(runs)]
        print(f"  QVADMIN {name} replay against three different files: {statistics.median(times):.3f} s")
PY
