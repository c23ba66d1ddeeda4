#!/usr/bin/env bash
# Peak memory of QVADMIN lint, explain, replay and report beside the size of
# the input, on the inputs that cost the most: a 20 MB rule file of lines
# that begin with a zero byte (QUORVANT itself on it too, as the peer), three
# 500-line files of 70-byte Latin-1 Subject rules, 20,000 distinct hostile
# invalid-entry lines of about 4 KB, 10 million log lines, and rule trees of
# 10,000 clean files and of 1,000 files of 501 invalid lines. Peak memory is
# the maximum resident set size that /usr/bin/time -v reports. The budgets:
# replay and report 64 MB, explain 16 MB, lint 16 MB for one rule file plus a
# little per file of the tree.
# Usage: bench/memory_bench.sh BUILD_DIR [LOG_LINES]
set -euo pipefail
build=$(cd "${1:?usage: memory_bench.sh BUILD_DIR [LOG_LINES]}" && pwd)
log_lines=${2:-10000000}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d /tmp/qvadmin-memory-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

cd "$scratch"
python3 - "$build" "$log_lines" "$here" <<'PY'
import os, re, subprocess, sys, time
build, log_lines, here = sys.argv[1], int(sys.argv[2]), sys.argv[3]
qvadmin, quorvant = f"{build}/admin/QVADMIN", f"{build}/checker/QUORVANT"

def write(path, data):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path

def message(spool, ident, sender, recipient, subject):
    write(f"{spool}/_{ident[1:]}.~MD", f"S<{sender}>\r\nR<{recipient}>\r\n".encode())
    write(f"{spool}/{ident}.SMD", b"Subject: " + subject + b"\r\n\r\nbody\r\n")
    return f"{spool}/{ident}.SMD"

def result_line(ident, recipient, sender, subject, words):
    return b"12:00:00 %s To: %s From: %s Subject: %s %s\r\n" % (ident, recipient, sender, subject, words)

def measure(command, cwd="."):
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-v"] + command, cwd=cwd, stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    seconds = time.perf_counter() - start
    peak = re.search(rb"Maximum resident set size \(kbytes\): (\d+)", proc.stderr)
    code = re.search(rb"Exit status: (\d+)", proc.stderr)
    return int(peak.group(1)) / 1024, int(code.group(1)) if code else proc.returncode, seconds

rows = []
def row(what, size, name, command, cwd="."):
    peak, code, seconds = measure(command, cwd)
    rows.append((what, size, name, peak, code, seconds))
    print(f"{what:34s} {size / 1e6:8.1f} MB  {name:10s} {peak:9.1f} MB  exit {code:3d}  {seconds:7.2f} s", flush=True)

print(f"{'input':34s} {'size':>11s}  {'command':10s} {'peak':>12s}")

# A broken copy: 20 MB of lines that begin with a zero byte.
zero = write("zero/prog/$default$.QUORVANT", b"\x00\r\n" * (20_000_000 // 3))
size = os.path.getsize(zero)
spool = message("zero/spool", "D1", "joe@example.com", "ann@example.org", b"hello")
os.symlink(quorvant, "zero/prog/QUORVANT")
row("zero-byte lines", size, "QUORVANT", ["zero/prog/QUORVANT", spool])
row("zero-byte lines", size, "lint", [qvadmin, "lint", "--dir", "zero/prog"])
row("zero-byte lines", size, "explain", [qvadmin, "explain", "--dir", "zero/prog", spool])
write("zero/QEL0101.LOG", result_line(b"D1", b"ANN@EXAMPLE.ORG", b"JOE@EXAMPLE.COM", b"HELLO", b"No Action."))
row("zero-byte lines", size, "replay", [qvadmin, "replay", "--dir", "zero/prog", "zero/QEL0101.LOG"])

# Three ordinary 500-line files of Subject rules of 70 bytes, Latin-1
# letters and signs among them, and messages to their user.
latin = bytes(b for b in range(0x21, 0x100) if not (0x61 <= b <= 0x7A or 0x7F <= b < 0xA0))
def subject_rules(seed):
    return b"".join(b"BLACKLIST SUBJECT CONTAINS " + bytes(latin[(seed + i * 37 + k * k) % len(latin)] for k in range(70))
                    + b"\r\n" for i in range(500))
files = {"latin/prog/$default$.QUORVANT": 1, "latin/prog/EXAMPLE.ORG/$default$.QUORVANT": 2,
         "latin/prog/EXAMPLE.ORG/ANN.QUORVANT": 3}
for path, seed in files.items():
    write(path, subject_rules(seed))
size = sum(os.path.getsize(p) for p in files)
write("latin/QEL0101.LOG", b"".join(result_line(b"D%d" % i, b"ANN@EXAMPLE.ORG", b"JOE@EXAMPLE.COM",
                                                b"NEWS %d" % i, b"No Action.") for i in range(10000)))
row("3 x 500 Latin-1 Subject rules", size, "replay", [qvadmin, "replay", "--dir", "latin/prog", "latin/QEL0101.LOG"])
row("3 x 500 Latin-1 Subject rules", size, "lint", [qvadmin, "lint", "--dir", "latin/prog"])

# Trees: 10,000 files of 20 rules, and 1,000 files of 501 invalid lines
# (501,000 findings).
for n in range(10000):
    write(f"clean/D{n % 100}.TEST/U{n}.QUORVANT",
          b"".join(b"BLACKLIST FROM X%d@Y%d.EXAMPLE\r\n" % (j, n) for j in range(20)))
for n in range(1000):
    write(f"faulty/D{n % 100}.TEST/U{n}.QUORVANT",
          b"".join(b"WHITLIST FROM X%d@Y%d.EXAMPLE\r\n" % (j, n) for j in range(501)))
for tree, what in (("clean", "10,000 clean rule files"), ("faulty", "1,000 files of 501 findings")):
    size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(tree) for f in fs)
    row(what, size, "lint", [qvadmin, "lint", "--dir", tree])

# 20,000 distinct invalid entries of about 4 KB each, with escapes.
hostile = b"".join(b"Invalid entry. File: C:\\Q\\\x1b]0;%d\x07.QUORVANT Line: %d Data: \x1b[2J" % (i, i)
                   + b"X" * 4000 + b"\r\n" for i in range(20000))
write("hostile/QEL0101.LOG", hostile)
row("20,000 hostile invalid entries", len(hostile), "report", [qvadmin, "report", "hostile/QEL0101.LOG"])

# 10 million log lines over 30 days, for the benchmark tree.
subprocess.run([f"{here}/make_rule_tree.sh", "month/prog"], check=True)
subprocess.run([sys.executable, f"{here}/make_qel.py", "month/prog", "month/logs", str(log_lines), "30"], check=True)
logs = sorted(f"month/logs/{n}" for n in os.listdir("month/logs") if n.startswith("QEL"))
size = sum(os.path.getsize(p) for p in logs)
row(f"{log_lines:,} log lines", size, "replay", [qvadmin, "replay", "--dir", "month/prog"] + logs)
row(f"{log_lines:,} log lines", size, "report", [qvadmin, "report"] + logs)
PY
