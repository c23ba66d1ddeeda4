#!/usr/bin/env bash
# Times QVADMIN lint on a tree of 1,000 rule files of 501 lines each (40
# domain folders of 24 recipients' files and a domain file), beside `cat` of
# the same files, taking turns. Prints the medians and their ratio; the
# target is at most 25 times `cat`.
# Usage: bench/lint_bench.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: lint_bench.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-7}

scratch=$(mktemp -d /tmp/qvadmin-lint-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

python3 - "$scratch" <<'PY'
import os, sys
prog = os.path.join(sys.argv[1], "prog")
for d in range(40):
    domain = os.path.join(prog, f"DOMAIN{d}.EXAMPLE")
    os.makedirs(domain)
    for u in range(25):
        name = "$default$" if u == 24 else f"USER{u}"
        lines = [f"# Rules of {name} at domain {d}: 501 lines, as many as the checker reads"]
        for i in range(125):
            lines += [f"BLACKLIST FROM @SPAMMER{i}-{u}.EXAMPLE",
                      f"WHITELIST FROM FRIEND{i}@PARTNER{d}.EXAMPLE",
                      f"BLACKLIST SUBJECT CONTAINS OFFER {i}-{u} NOW",
                      f"# kept since {2000 + i % 25}"]
        with open(os.path.join(domain, name + ".QUORVANT"), "w", newline="") as f:
            f.write("".join(line + "\r\n" for line in lines))
PY

python3 - "$scratch/prog" "$build/admin/QVADMIN" "$runs" <<'PY'
import glob, os, statistics, subprocess, sys, time
prog, qvadmin, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
files = sorted(glob.glob(os.path.join(prog, "*", "*.QUORVANT")))
lines = sum(1 for f in files for _ in open(f, "rb"))
size = sum(os.path.getsize(f) for f in files)

def timed(cmd):
    start = time.perf_counter()
    proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, proc

contenders = {"QVADMIN lint": [qvadmin, "lint", "--dir", prog], "cat": ["cat"] + files}
times = {name: [] for name in contenders}
for name, cmd in contenders.items():  # warm the caches
    _, proc = timed(cmd)
    if name == "QVADMIN lint":
        summary = proc.stdout.decode().strip().splitlines()[-1]
for _ in range(runs):
    for name, cmd in contenders.items():
        times[name].append(timed(cmd)[0])
print(f"tree: {len(files)} rule files, {lines} lines, {size / 1e6:.1f} MB; {runs} runs each, taking turns")
print(f"lint says: {summary}")
medians = {name: statistics.median(t) for name, t in times.items()}
for name, m in medians.items():
    print(f"  {name:13s} median {m * 1000:8.1f} ms   runs: " + " ".join(f"{t * 1000:.1f}" for t in times[name]))
ratio = medians["QVADMIN lint"] / medians["cat"]
print(f"  lint takes {ratio:.1f} times as long as cat (target: at most 25)")
PY
