#!/usr/bin/env python3
"""Many QUORVANT runs at once, all appending to the same day's log.

Every run writes about a hundred lines (invalid entries of a shared user rule
file, at DEBUG also the trace) and its own result line, so the appends of the
runs overlap heavily. The log must then hold exactly the lines that the runs
wrote, each whole and ended by CR LF, none lost, torn or doubled.

  concurrency_test.py --exe build/checker/QUORVANT --runs 200
  concurrency_test.py --exe QUORVANT.EXE --launcher wine64 --windows --runs 50
"""
import collections
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import run_case_functions  # noqa: E402

JUNK_LINES = 100
SUBJECT = "CONCURRENT APPENDS " + "Q" * 60


def expected_lines(i, debug, prog, spool):
    """The log lines of run i, with the time stamp masked."""
    user = prog + "EXAMPLE.ORG\\ANN.QUORVANT"
    lines = []
    if debug:
        lines += [f"1.2.1  Message File Opened : {spool}_{i:04d}.~MD",
                  f"Line 0:S<user{i:04d}@example.com>", "", "1.2.2  Detected From Address",
                  "Line 1:R<ann@example.org>", "", "1.2.3  Detected To Address",
                  f"Checking Rule File = {user}"]
    lines += [f"Invalid entry. File: {user} Line: {n} Data: JUNK {n}" for n in range(1, JUNK_LINES + 1)]
    if debug:
        lines += [f"Checking Rule File = {prog}EXAMPLE.ORG\\$default$.QUORVANT",
                  f"Checking: rule = BLACKLIST FROM @EXAMPLE.COM  Data=USER{i:04d}@EXAMPLE.COM"]
    lines.append(f"HH:MM:SS M{i:04d} To: ANN@EXAMPLE.ORG From: USER{i:04d}@EXAMPLE.COM Subject: {SUBJECT}"
                 " Blacklisted-Domain")
    return lines


def check(host, root, runs):
    prog, spool = root / "PROG", root / "SPOOL"
    (prog / "EXAMPLE.ORG").mkdir(parents=True)
    spool.mkdir()
    (prog / "EXAMPLE.ORG" / "ANN.QUORVANT").write_bytes(
        b"".join(b"junk %d\r\n" % n for n in range(1, JUNK_LINES + 1)))
    (prog / "EXAMPLE.ORG" / "$default$.QUORVANT").write_bytes(b"BLACKLIST FROM @EXAMPLE.COM\r\n")
    for i in range(runs):
        (spool / f"M{i:04d}.SMD").write_bytes(f"Subject: {SUBJECT.lower()}\r\n".encode())
        (spool / f"_{i:04d}.~MD").write_bytes(f"S<user{i:04d}@example.com>\r\nR<ann@example.org>\r\n".encode())
    argv0 = host.install(prog, "QUORVANT")

    procs = []
    want = collections.Counter()
    try:
        for i in range(runs):
            debug = i % 2 == 1
            args = (["DEBUG"] if debug else []) + [host.path(str(spool / f"M{i:04d}.SMD"))]
            procs.append(host.start(argv0, args, cwd=root))
            want.update(expected_lines(i, debug, host.dir_text(prog), host.dir_text(spool)))
    finally:
        codes = [host.wait(p, host.timeout * 5) for p in procs]

    problems = []
    wrong = [(i, c) for i, c in enumerate(codes) if c != 100]
    if wrong:
        problems.append(f"{len(wrong)} runs did not end with 100: {wrong[:5]}")
    data = b"".join(p.read_bytes() for p in sorted(prog.glob("QEL*.LOG")))  # two files across midnight
    if not data.endswith(b"\r\n"):
        problems.append(f"the log does not end with CR LF: {data[-40:]!r}")
    text = re.sub(rb"(?m)^\d\d:\d\d:\d\d M", b"HH:MM:SS M", data).decode("latin-1")
    got = collections.Counter(text.split("\r\n")[:-1])
    missing, extra = want - got, got - want
    if missing:
        problems.append(f"{sum(missing.values())} lines missing, e.g. {list(missing)[:3]}")
    if extra:
        problems.append(f"{sum(extra.values())} lines not written by any run, e.g. {list(extra)[:3]}")
    if not problems and len(data) != sum(len(line) + 2 for line in want.elements()):
        problems.append("the log holds stray bytes")
    return problems


def cases(suite):
    runs = suite.args.runs
    return [(f"{runs}-runs-append-whole-lines", lambda c: check(c.host, c.dir, runs))]


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, cases, options={"--runs": dict(type=int, default=200)}))
