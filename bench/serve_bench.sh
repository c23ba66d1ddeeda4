#!/usr/bin/env bash
# QVADMIN serve's activity index on a month of activity logs (1,000,000
# result lines in 30 daily logs, made by make_qel.py and named for the 30 days
# up to today), beside `QVADMIN report` over the same logs in the same run:
# the time to build the index (from start to the printed login address), its
# memory (the server's resident memory beside that of a server without logs,
# per message), and the time to answer the Activity page for several filters
# (median of RUNS requests each, over a kept-alive connection).
# Usage: bench/serve_bench.sh BUILD_DIR [LINES] [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: serve_bench.sh BUILD_DIR [LINES] [RUNS]}" && pwd)
lines=${2:-1000000}
runs=${3:-21}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/qvadmin-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

"$here/make_rule_tree.sh" "$scratch/prog"
"$here/make_rule_tree.sh" "$scratch/empty"
python3 "$here/make_qel.py" "$scratch/prog" "$scratch/made" "$lines" 30

cd "$scratch"
python3 - "$build/admin/QVADMIN" "$runs" "$here/../tests/e2e" <<'PY'
import datetime, http.client, os, re, statistics, subprocess, sys, time
from pathlib import Path
qvadmin, runs = sys.argv[1], int(sys.argv[2])
sys.path.insert(0, sys.argv[3])
from console_client import LOGIN  # noqa: E402

# The made logs, oldest first, named for the 30 days up to today.
made = sorted(Path("made").glob("QEL*.LOG"))
today = datetime.date.today()
logs = []
for i, log in enumerate(made):
    day = today - datetime.timedelta(days=len(made) - 1 - i)
    logs.append(log.rename(Path("prog") / f"QEL{day.month:02d}{day.day:02d}.LOG"))
size = sum(p.stat().st_size for p in logs)
for p in logs:  # into the page cache, for every contender
    p.read_bytes()

def serve(directory):
    start = time.perf_counter()
    proc = subprocess.Popen([qvadmin, "serve", "--dir", directory, "--listen", "127.0.0.1:0"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = b""
    while not LOGIN.search(out):
        out += proc.stdout.readline()
    return proc, time.perf_counter() - start, LOGIN.search(out)

def rss_kb(pid):
    return int(re.search(r"VmRSS:\s+(\d+)", Path(f"/proc/{pid}/status").read_text()).group(1))

def timed(cmd):
    start = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start

report = statistics.median(timed([qvadmin, "report"] + [str(p) for p in logs]) for _ in range(3))
empty, _, _ = serve("empty")
base = rss_kb(empty.pid)
empty.terminate()
builds = []
for _ in range(3):
    proc, took, login = serve("prog")
    builds.append(took)
    if len(builds) < 3:
        proc.terminate()
        proc.wait()
with_index = rss_kb(proc.pid)
messages = sum(1 for p in logs for line in p.read_bytes().split(b"\r\n") if re.match(rb"\d\d:\d\d:\d\d ", line) or
               line == b"Could not open message file.")
print(f"{len(logs)} logs, {messages} result lines, {size / 1e6:.0f} MB")
print(f"  index built       {statistics.median(builds):7.3f} s   QVADMIN report of the same logs {report:7.3f} s"
      f"   ratio {statistics.median(builds) / report:5.2f}")
print(f"  index memory      {(with_index - base) / 1024:7.1f} MB   {(with_index - base) * 1024 / messages:5.1f} bytes a message"
      f"   (server resident {with_index / 1024:.1f} MB, without logs {base / 1024:.1f} MB)")

port, token = int(login.group(2)), login.group(3).decode()
conn = http.client.HTTPConnection("127.0.0.1", port)
conn.request("GET", f"/login?token={token}")
answer = conn.getresponse()
answer.read()
cookie = answer.getheader("Set-Cookie").split(";")[0]
pages = [("every message, first page", "/"),
         ("one recipient", "/?to=ann%40example.org"),
         ("recipient domain, blacklisted", "/?todomain=example.org&kind=blacklisted"),
         ("one sender's domain", "/?fromdomain=invoice7.example"),
         ("Subject text", "/?subject=quarterly"),
         ("Subject and recipient", "/?subject=quarterly&to=ann"),
         ("one day, page 50", f"/?day={logs[-1].name[3:7]}&page=50")]
for name, target in pages:
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        conn.request("GET", target, headers={"Cookie": cookie})
        answer = conn.getresponse()
        body = answer.read()
        times.append(time.perf_counter() - start)
    shown = re.search(rb"of (\d+), newest first", body)
    print(f"  {name:32s} {statistics.median(times) * 1000:8.1f} ms   {int(shown.group(1)) if shown else 0:8d} lines match")
proc.terminate()
PY
