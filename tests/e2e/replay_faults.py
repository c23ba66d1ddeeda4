#!/usr/bin/env python3
"""Fault cases of QVADMIN replay and report: logs that are huge, binary, one
line of 100 MB, cut by Ctrl-Z, empty, missing, unreadable, a directory or a
named pipe, and rule trees with loops and a 100 MB rule line. Every run must
end in bounded time and memory (64 MB, whatever the size of the logs), with
the documented exit code and counts.

  replay_faults.py --exe build/admin/QVADMIN
"""
import os
import random
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bounded  # noqa: E402
import e2e_lib  # noqa: E402
from replay_e2e import summary  # noqa: E402


def rows(out):
    """replay's summary rows, and report's counts of the lines read."""
    text = out.decode("latin-1").replace("\r\n", "\n")
    found = summary(text)
    found["lines read"] = [int(n) for n in re.findall(r"Lines read (\d+): result lines (\d+), invalid entries (\d+), "
                                                       r"trace (\d+), other lines skipped (\d+), too long (\d+)", text)[0]] \
        if "Lines read" in text else None
    return found


class Case(e2e_lib.Scratch):
    prefix = "qv_faults_"

    def __init__(self, suite):
        super().__init__(suite)
        self.exe = self.host.exe
        self.prog = self.dir / "PROG"
        self.prog.mkdir()
        (self.prog / "$default$.QUORVANT").write_bytes(b"BLACKLIST FROM @BULK.EXAMPLE\r\n")

    def run(self, args, time_limit=120, as_nobody=False):
        outcome = bounded.run([str(self.exe)] + args, str(self.exe), self.dir, time_limit, as_nobody)
        return outcome, outcome.problems(time_limit)

    def replay(self, logs, **kw):
        return self.run(["replay", "--dir", str(self.prog)] + [str(p) for p in logs], **kw)


def expect(outcome, problems, code, checks=()):
    if outcome.code != code:
        problems.append(f"exit code {outcome.code}, want {code}")
    for ok, what in checks:
        if not ok:
            problems.append(what)
    return problems


def huge_logs(c):
    """1,500,000 lines of distinct recipients, senders and Subjects, many
    blacklisted: replay and report stay within 64 MB."""
    rnd = random.Random(9)
    (c.prog / "EXAMPLE.ORG").mkdir()
    (c.prog / "EXAMPLE.ORG" / "$default$.QUORVANT").write_bytes(b"WHITELIST SUBJECT CONTAINS HELLO\r\n")
    logs = []
    for part in range(3):
        log = c.dir / f"QEL050{part + 1}.LOG"
        with open(log, "wb") as f:
            for n in range(500000):
                domain = "EXAMPLE.ORG" if n % 7 == 0 else f"D{rnd.randrange(10**6)}.TEST"
                words = " Blacklisted-Program" if n % 3 else " No Action."
                sender = f"S{n}@BULK.EXAMPLE" if n % 3 else f"S{n}@H{rnd.randrange(10**6)}.EXAMPLE"
                f.write(f"12:00:00 M{part}{n} To: U{rnd.randrange(10**6)}@{domain} From: {sender} "
                        f"Subject: NEWS {rnd.randrange(10**9)}{words}\r\n".encode())
        logs.append(log)
    problems = []
    outcome, p = c.replay(logs, time_limit=300)
    r = rows(outcome.stdout)
    problems += expect(outcome, p, 0, [(r.get("Messages replayed") == 1500000, f"replayed {r.get('Messages replayed')}")])
    outcome, p = c.run(["report"] + [str(x) for x in logs], time_limit=300)
    problems += expect(outcome, p, 0, [(b"1500000 result lines" in outcome.stdout, "report total")])
    return problems


def many_long_names(c):
    """Rankings of long names past their budget, each line a new user, domain
    and sender domain, and 20,000 invalid entries of 4,000 bytes, in four logs
    read on two threads: report stays within 64 MB, says its rankings may be
    short and how many entries it left out, and still counts every line."""
    logs = [c.dir / f"QEL070{part + 1}.LOG" for part in range(4)]
    files = [open(log, "wb") for log in logs]
    for n in range(400000):
        files[n // 100000].write(f"12:00:00 M{n} To: U{n:08d}{'Y' * 25}@D{n:08d}{'X' * 50}.TEST From: A@S{n:08d}{'Z' * 80}.EX "
                                 f"Subject: HI Blacklisted-Program\r\n".encode())
    for n in range(20000):
        files[n // 5000].write(f"Invalid entry. File: C:\\Q\\{'F' * 1900}{n}.QUORVANT Line: {n} Data: {'&<' * 1000}\r\n".encode())
    for f in files:
        f.close()
    outcome, p = c.run(["report", "--html", str(c.dir / "page.html")] + [str(log) for log in logs], time_limit=120)
    out = outcome.stdout
    return expect(outcome, p, 0, [(out.count(b"(very many names: a count may be short by up to ") == 3, "rankings short"),
                                  (b"400000 result lines" in out, "report total"),
                                  (re.search(rb"\(and \d+ more, of lines not listed\)", out), "invalid entries left out")])


def binary_and_long_lines(c):
    """Binary junk, a line of 100 MB without a line end, lines of 100 KB
    between good ones, CR LF and LF, Ctrl-Z: the good lines count, the rest
    is skipped and counted."""
    good = b"12:00:00 M1 To: ANN@EXAMPLE.ORG From: X@BULK.EXAMPLE Subject: HI Blacklisted-Program"
    rnd = random.Random(1)
    junk = bytes(rnd.randrange(256) for _ in range(2_000_000)).replace(b"\x1a", b"Z")
    (c.dir / "junk.log").write_bytes(junk)
    (c.dir / "long.log").write_bytes(good + b"\r\n" + b"y" * (100 << 20))
    (c.dir / "mixed.log").write_bytes(good + b"\n" + b"x" * 100_000 + b"\r\n" + good + b"\r\n" + b"x" * 100_000 +
                                      b"\n" + good + b"\x1a" + good + b"\r\n")
    problems = []
    outcome, p = c.replay([c.dir / "junk.log", c.dir / "long.log", c.dir / "mixed.log"])
    r = rows(outcome.stdout)
    problems += expect(outcome, p, 0, [(r.get("Messages replayed") == 4, f"replayed {r.get('Messages replayed')}"),
                                       (r.get("Too long") == 3, f"too long {r.get('Too long')}"),
                                       (r.get("Other lines", 0) > 0, "junk counted as no other lines")])
    outcome, p = c.run(["report", str(c.dir / "junk.log"), str(c.dir / "long.log"), str(c.dir / "mixed.log")])
    lines = rows(outcome.stdout)["lines read"]
    problems += expect(outcome, p, 0, [(lines and lines[1] == 4 and lines[5] == 3 and lines[0] == sum(lines[1:]),
                                        f"report counts {lines}")])
    return problems


def unreadable_logs(c):
    """Missing, empty, a directory, a named pipe, unreadable: a message each,
    exit code 2, the readable ones still read; never a hang."""
    good = c.dir / "good.log"
    good.write_bytes(b"12:00:00 M1 To: ANN@EXAMPLE.ORG From: X@BULK.EXAMPLE Subject: HI Blacklisted-Program\r\n")
    (c.dir / "empty.log").write_bytes(b"")
    (c.dir / "dir.log").mkdir()
    os.mkfifo(c.dir / "pipe.log")
    secret = c.dir / "secret.log"
    secret.write_bytes(good.read_bytes())
    secret.chmod(0)
    nobody = bounded.can_drop_privileges()
    bounded.open_up(c.dir, nobody)
    names = ["missing.log", "empty.log", "dir.log", "pipe.log", "good.log"] + (["secret.log"] if nobody else [])
    problems = []
    for command in ("replay", "report"):
        args = [command] + (["--dir", str(c.prog)] if command == "replay" else []) + [str(c.dir / n) for n in names]
        outcome, p = c.run(args, time_limit=30, as_nobody=nobody)
        r = rows(outcome.stdout)
        unread = len(names) - 2
        want = [(r.get("Logs unreadable") == unread, f"unreadable {r.get('Logs unreadable')}, want {unread}")] \
            if command == "replay" else [(outcome.stdout.count(b"Not read: ") == unread, "Not read lines")]
        problems += [f"{command}: {x}" for x in expect(outcome, p, 2, want)]
    return problems


def rule_trees(c):
    """A candidate tree with a REDIRECT loop and a rule file of one 100 MB
    line: bounded, and the loop decides nothing."""
    cand = c.dir / "CAND"
    (cand / "EXAMPLE.ORG").mkdir(parents=True)
    loop = str(cand).replace("/", "\\") + "\\EXAMPLE.ORG\\ANN.QUORVANT"
    (cand / "EXAMPLE.ORG" / "ANN.QUORVANT").write_bytes(f"REDIRECT ANN {loop}\r\n".encode())
    (cand / "$default$.QUORVANT").write_bytes(b"BLACKLIST FROM " + b"Q" * (100 << 20))
    log = c.dir / "QEL0601.LOG"
    log.write_bytes(b"12:00:00 M1 To: ANN@EXAMPLE.ORG From: X@BULK.EXAMPLE Subject: HI Blacklisted-Program\r\n" * 1000 +
                    b"12:00:00 M2 To: BOB@EXAMPLE.ORG From: X@Y Subject: HI Blacklisted-Program\r\n" * 1000)
    outcome, p = c.run(["replay", "--dir", str(c.prog), "--rules", str(cand), "--hits", str(log)])
    r = rows(outcome.stdout)
    return expect(outcome, p, 1, [(r.get("Messages replayed") == 2000 and r.get("blacklisted -> no verdict") == 2000,
                                   f"rows {r}")])


if __name__ == "__main__":
    sys.exit(e2e_lib.run_case_functions(__doc__, [huge_logs, many_long_names, binary_and_long_lines, unreadable_logs,
                                                                 rule_trees], Case))
