#!/usr/bin/env python3
"""End-to-end cases of QVADMIN replay and report against QUORVANT itself.

The round trip: QUORVANT runs on generated messages over a generated rule
tree, then replay reads its log against the same tree, and every message
whose line was not cut must keep its verdict; against a changed tree, the
changes replay reports must be exactly those QUORVANT gives when it runs
again on the same messages over that tree. Also: --hits, a log written at
LOW, lines of a HIGH and DEBUG log, the exit codes, and, with --native, the
same bytes from the program under test and the native one (for Wine).

  replay_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT
  replay_e2e.py --exe QVADMIN.EXE --checker QUORVANT.EXE --launcher wine --windows --native build/admin/QVADMIN
"""
import os
import random
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import Host, Scratch, Skipped, diff_bytes, native_path, run_case_functions, run_launched  # noqa: E402
import mail_gen  # noqa: E402

CHANGE = re.compile(r"^(\S+) (\d\d:\d\d:\d\d) (\S*) To: (\S+) From: (\S*) Subject: (.*)  "
                    r"(Whitelisted-\w+|Blacklisted-\w+|No Action|Stopped) -> "
                    r"(Whitelisted-\w+|Blacklisted-\w+|No Action|Stopped)  (.*?)(  uncertain: .*)?$")


def summary(text):
    """The summary rows: label -> first number."""
    rows = {}
    for line in text.splitlines():
        parts = line.split("\t")
        if len(parts) >= 2 and parts[1].strip().isdigit():
            rows[parts[0].strip()] = int(parts[1])
    return rows


def changes(text):
    """(identifier, old, new, deciding line, uncertain) of every change line."""
    out = []
    for line in text.splitlines():
        m = CHANGE.match(line)
        if m:
            out.append((m.group(3), m.group(7), m.group(8), m.group(9), bool(m.group(10))))
    return out


class Case(Scratch):
    prefix = "qv_replay_"

    def __init__(self, suite):
        super().__init__(suite)
        args = suite.args
        self.host = suite.host_of(args.exe, timeout=300)
        self.checker_host = suite.host_of(args.checker)
        self.native = Host(args.native) if args.native else None
        self.prog, self.spool, self.logs = self.dir / "PROG", self.dir / "SPOOL", self.dir / "LOGS"
        self.prog.mkdir()
        self.logs.mkdir()
        self.checker = self.checker_host.install(self.prog, "QUORVANT")
        self.qvadmin = self.host.install(self.dir / "BIN", "QVADMIN")
        self.named = self.checker_host.dir_text(self.prog)
        self.rnd = random.Random(suite.case_name)
        self.tree = mail_gen.make_tree(self.rnd, self.named)
        mail_gen.write_tree(self.prog, self.tree, self.host.windows)
        self.messages = mail_gen.make_messages(self.rnd, args.messages, self.spool, literals=True)

    def log(self, name, level):
        data = mail_gen.run_checker(self.checker_host, self.checker, self.prog, self.spool, self.messages, level)
        (self.logs / name).write_bytes(data)
        return data

    def qv(self, args, cwd=None):
        """QVADMIN's exit code and standard output as text."""
        code, out = self.host.run(self.qvadmin, args, cwd=cwd or self.dir)
        return code, out.decode("latin-1").replace("\r\n", "\n")

    def path(self, p):
        return self.host.path(str(p))


def lines_listed_twice(out, cwd):
    """--hits lists each line of each file once, whatever path names the file
    (the same file: the same inode)."""
    used_part, _, unused_part = out.split("Messages decided by each line")[-1].partition("Unused in this mail")
    places = re.findall(r"^ *\d+\t(\S.*?:\d+)  ", used_part, re.M) + re.findall(r"^\t(\S.*?:\d+)  ", unused_part, re.M)
    lines = []
    for place in places:
        name, _, line = place.rpartition(":")
        real = Path(cwd) / native_path(name, cwd)
        lines.append((real.stat().st_ino if real.exists() else name, line))
    twice = sorted(p for p, k in zip(places, lines) if lines.count(k) > 1)
    return [f"--hits lists a line twice: {twice[:4]}"] if twice else []


def uncertain_count(messages, logged_ids):
    return sum(1 for m in messages if m.ident in logged_ids and any(m.logged()[1:]))


def round_trip(c):
    """Replay of QUORVANT's own log against the same tree changes nothing."""
    log = c.log("QEL0301.LOG", "MID")
    logged = mail_gen.endings(log)
    code, out = c.qv(["replay", "--dir", c.path(c.prog), "--hits", c.path(c.logs / "QEL0301.LOG")], cwd=c.prog)
    rows = summary(out)
    problems = []
    if code != 0:
        problems.append(f"exit code {code}, want 0")
    want_uncertain = uncertain_count(c.messages, logged)
    if rows.get("Messages replayed") != len(logged) or rows.get("Changed") != 0:
        problems.append(f"replayed {rows.get('Messages replayed')} of {len(logged)}, changed {rows.get('Changed')}")
    if rows.get("Uncertain (cut in the log)") != want_uncertain:
        problems.append(f"uncertain {rows.get('Uncertain (cut in the log)')}, want {want_uncertain}")
    certain_changes = [ch for ch in changes(out) if not ch[4]]
    if certain_changes:
        problems.append(f"changes against the same tree: {certain_changes[:3]}")
    # --hits: every replayed message that a line decided is counted once, and
    # each line is listed once, as used or as unused.
    used_part, _, unused_part = out.split("Messages decided by each line")[-1].partition("Unused in this mail")
    decided = re.findall(r"^ *(\d+)\t(\S.*?:\d+)  ", used_part, re.M)
    problems += lines_listed_twice(out, c.prog)
    no_line = sum(1 for words in logged.values() if words == "No Action")
    if sum(int(n) for n, _ in decided) != len(logged) - no_line:
        problems.append(f"--hits counts {sum(int(n) for n, _ in decided)} decisions, want {len(logged) - no_line}")
    if len(logged) < len(c.messages) // 2:
        problems.append(f"only {len(logged)} of {len(c.messages)} messages logged")
    return problems


def round_trip_spelt_targets(c):
    """The round trip over trees whose REDIRECT targets are spelt as the
    file system finds them (with "/", "\\", other letter case, trailing dots,
    Latin-1 letters): replay opens what the checker opens."""
    problems = []
    for n in range(4):
        prog = c.dir / f"SPELT{n}"
        mail_gen.write_tree(prog, mail_gen.spelt_tree(c.rnd, c.checker_host.dir_text(prog)), c.host.windows)
        checker = c.checker_host.install(prog, "QUORVANT")
        log = mail_gen.run_checker(c.checker_host, checker, prog, c.spool, c.messages[:80], "MID")
        (c.logs / f"QEL020{n}.LOG").write_bytes(log)
        logged = mail_gen.endings(log)
        code, out = c.qv(["replay", "--dir", c.path(prog), "--hits", c.path(c.logs / f"QEL020{n}.LOG")], cwd=prog)
        if code != 0 or summary(out).get("Changed") != 0:
            problems.append(f"tree {n}: exit code {code}, changes {changes(out)[:3]}")
        problems += [f"tree {n}: {p}" for p in lines_listed_twice(out, prog)]
        decided = sum(1 for words in logged.values() if words != "No Action")
        if decided < len(logged) // 3:
            problems.append(f"tree {n}: only {decided} of {len(logged)} messages decided: the targets were not read")
    return problems


def changed_tree(c):
    """The changes replay reports against a changed tree are those QUORVANT
    gives when it runs again over that tree."""
    old = mail_gen.endings(c.log("QEL0302.LOG", "MID"))
    cand = c.dir / "CAND"
    new_tree = mail_gen.changed_tree(c.rnd, c.tree, c.named)
    mail_gen.write_tree(cand, new_tree, c.host.windows)
    # Relative REDIRECT words are read from the current directory, as the
    # checker's are: the candidate's own when run from there. The live
    # directory is named relative to it here, its REDIRECT words in full.
    live = os.path.relpath(c.prog, cand).replace("/", "\\" if c.host.windows else "/")
    code, out = c.qv(["replay", "--dir", live, "--rules", c.path(cand), c.path(c.logs / "QEL0302.LOG")], cwd=cand)
    reported = {(ident, old_kind, new_kind) for ident, old_kind, new_kind, _, uncertain in changes(out)
                if not uncertain}
    # explain --rules reads the candidate as replay does: the same verdict and
    # deciding line for each message that changes.
    disagree = []
    for line in [line for line in out.splitlines() if CHANGE.match(line) and not CHANGE.match(line).group(10)][:8]:
        m = CHANGE.match(line)
        code_e, explained = c.qv(["explain", "--dir", live, "--rules", c.path(cand), "--from", m.group(5),
                                  "--to", m.group(4), "--subject", m.group(6)], cwd=cand)
        words = re.search(r"(?m)^Log line   .*?(Whitelisted-\w+|Blacklisted-\w+|No Action\.|)$", explained)
        at = re.search(r"(?m)^Verdict .*:(\d+)$", explained)
        kind = (words.group(1).rstrip(".") or "Stopped") if words else None
        if kind != m.group(8) or (at and at.group(1)) != (re.search(r":(\d+)", m.group(9)) or [None, None])[1]:
            disagree.append(f"{m.group(3)}: replay {m.group(8)} {m.group(9)}, explain {kind} line {at and at.group(1)}")
    # The candidate goes live; QUORVANT at HIGH writes every result line.
    mail_gen.write_tree(c.prog, new_tree, c.host.windows)
    new = mail_gen.endings(c.log("QEL0303.LOG", "HIGH"))
    cut = {m.ident for m in c.messages if any(m.logged()[1:])}
    stopped = {m.ident for m in c.messages} - set(new)  # a HIGH log without words: stopped at domain or program
    want = set()
    for ident, words in old.items():
        now = new.get(ident, "Stopped" if ident in stopped else None)
        if ident not in cut and now != words:
            want.add((ident, words, now))
    problems = []
    if reported != want:
        problems.append(f"replay reports {sorted(reported - want)[:3]} and misses {sorted(want - reported)[:3]}")
    if code != (1 if want else 0):
        problems.append(f"exit code {code}, want {1 if want else 0}")
    if not want:
        problems.append("the changed tree changed no verdict: the case shows nothing")
    problems += disagree
    # --limit and --summary print fewer change lines, and the same counts.
    lines = [line for line in out.splitlines() if CHANGE.match(line)]
    for option, shown, more in ((["--limit", "1"], lines[:1], len(lines) - 1), (["--summary"], [], 0)):
        code_now, now = c.qv(["replay", "--dir", c.path(c.prog), "--rules", c.path(cand)] + option +
                             [c.path(c.logs / "QEL0302.LOG")], cwd=cand)
        said_more = re.findall(r"^\.\.\. (\d+) more changes?$", now, re.M)
        if ([line for line in now.splitlines() if CHANGE.match(line)] != shown or code_now != code or
                summary(now) != summary(out) or said_more != ([str(more)] if more else [])):
            problems.append(f"replay {option}: exit code {code_now}, {now[:300]!r}")
    return problems


def mixed_levels(c):
    """A log of runs at every level (trace, invalid entries, stopped
    cascades, no "No Action." at LOW) replays without change; report counts
    the same result lines."""
    levels = ["LOW", "MID", "HIGH", "DEBUG"]
    log = c.log("QEL0304.LOG", lambda m: levels[int(m.ident[1:5]) % 4])
    results = [line for line in log.split(b"\r\n") if re.match(rb"^\d\d:\d\d:\d\d ", line)]
    code, out = c.qv(["replay", "--dir", c.path(c.prog), c.path(c.logs / "QEL0304.LOG")], cwd=c.prog)
    rows = summary(out)
    problems = []
    if code != 0 or rows.get("Changed") != 0:
        problems.append(f"exit code {code}, changed {rows.get('Changed')}: {changes(out)[:2]}")
    if rows.get("Messages replayed") != len(results) or rows.get("Other lines") != 0:
        problems.append(f"replayed {rows.get('Messages replayed')} of {len(results)}, other {rows.get('Other lines')}")
    code, out = c.qv(["report", c.path(c.logs / "QEL0304.LOG")])
    total = re.search(r"^ *Total\t(.*)$", out, re.M)
    if code != 0 or not total or int(total.group(1).split("\t")[-1]) != len(results):
        problems.append(f"report: exit code {code}, total row {total and total.group(1)!r}, want {len(results)}")
    return problems


def low_log(c):
    """A log written at LOW holds verdicts only, and replay says so."""
    c.log("QEL0305.LOG", "LOW")
    code, out = c.qv(["replay", "--dir", c.path(c.prog), c.path(c.logs / "QEL0305.LOG")], cwd=c.prog)
    if code != 0 or 'holds no "No Action." line' not in out:
        return [f"exit code {code}; no word of the missing No Action lines in: {out[-300:]!r}"]
    return []


def exit_codes(c):
    """2 for a command-line mistake or a log that cannot be read, with a
    message on standard error that says why; the other logs are still read.
    The habits of command-line tools: -h and --help, --version, --opt=value,
    "-" for a log from standard input."""
    log = c.log("QEL0306.LOG", "MID")
    (c.logs / "QEL0305.LOG").write_bytes(log)
    (c.dir / "notes.html").write_bytes(b"my notes")
    (c.dir / "page.html").write_bytes(b"")
    problems = []
    # A reason in the system's own words, not a code.
    reason = rb": cannot be read: [A-Z][^\r\n]*[a-z][^\r\n]*\r\n"
    # (words, exit code, what the stream holds (a pattern), stream, standard input)
    lit = re.escape
    for args, want, says, stream, stdin in [
        (["replay"], 2, lit(b"give at least one log"), "err", None),
        (["replay", "--bogus", "X"], 2, lit(b"unknown option --bogus\r\nTry \"QVADMIN replay --help\""), "err", None),
        (["replay", "--rules", c.path(c.dir / "NOWHERE"), "X"], 2, lit(b"not a directory"), "err", None),
        (["replay", "--dir", c.path(c.prog), c.path(c.logs / "MISSING.LOG"), c.path(c.logs / "QEL0306.LOG")], 2,
         reason, "err", None),
        (["replay", "--dir", c.path(c.prog), c.path(c.logs)], 2, lit(b"a directory, not a log"), "err", None),
        (["replay", "--dir", c.path(c.prog), c.path(c.logs / "QEL9*.LOG")], 2, lit(b"no log matches"), "err", None),
        (["report", c.path(c.logs / "MISSING.LOG")], 2, reason, "err", None),
        (["report", "--html", c.path(c.dir / "NODIR" / "x.html"), c.path(c.logs / "QEL0306.LOG")], 2,
         rb"cannot write .*: [A-Z]", "err", None),
        (["replay", "-h"], 0, lit(b"usage: QVADMIN replay ["), "out", None),
        (["help", "report"], 0, lit(b"usage: QVADMIN report ["), "out", None),
        (["--version"], 0, lit(b"QVADMIN "), "out", None),
        (["replay", "--dir=" + c.path(c.prog), "-"], 0,
         lit(b"Messages replayed\t%7d" % len(mail_gen.endings(log))), "out", log),
        (["report", "-"], 0, lit(b"(standard input)"), "out", log),
        # The page's name forgotten: the first log is never taken for it.
        (["report", "--html", c.path(c.logs / "QEL0305.LOG"), c.path(c.logs / "QEL0306.LOG")], 2,
         lit(b"will not write the page to ") + rb".*activity logs", "err", None),
        (["report", "--html", c.path(c.dir / "notes.html"), c.path(c.logs / "QEL0306.LOG")], 2,
         lit(b"QVADMIN did not write"), "err", None),
        (["report", "--html", "-", c.path(c.logs / "QEL0306.LOG")], 2, lit(b"the page needs a file name"), "err",
         None),
        (["report", "--html", c.path(c.dir / "page.html"), c.path(c.logs / "QEL0306.LOG"), "LOGS/../LOGS/QEL0306.LOG"],
         2, lit(b"QVADMIN did not write"), "err", None),
    ]:
        cmd, executable = c.host.command(c.qvadmin, args)
        proc = run_launched(cmd, executable=executable, cwd=c.dir, capture_output=True, env=c.host.env,
                            timeout=c.host.timeout, **({"input": stdin} if stdin is not None else {}))
        if proc.returncode != want or not re.search(says, proc.stdout if stream == "out" else proc.stderr):
            problems.append(f"{args[:2]}: exit code {proc.returncode}, stdout {proc.stdout[:120]!r}, "
                            f"stderr {proc.stderr[:160]!r}")
    if (c.logs / "QEL0305.LOG").read_bytes() != log or (c.dir / "notes.html").read_bytes() != b"my notes":
        problems.append("report wrote its page over a log or a file it did not write")
    code, out = c.qv(["replay", "--dir", c.path(c.prog), c.path(c.logs / "MISSING.LOG"),
                      c.path(c.logs / "QEL0306.LOG")], cwd=c.prog)
    if summary(out).get("Logs read") != 1 or summary(out).get("Logs unreadable") != 1:
        problems.append("the readable log was not replayed beside the missing one")
    # A log named twice (here by two spellings) is read once; a page replaced
    # keeps its permissions.
    (c.dir / "page.html").unlink()
    for _ in range(2):
        code, out = c.qv(["report", "--html", "page.html", c.path(c.logs / "QEL0306.LOG"), "LOGS/../LOGS/QEL0306.LOG"])
        total = re.search(r"^ *Total\t(.*)$", out, re.M)
        if code != 0 or not total or int(total.group(1).split("\t")[-1]) != len(mail_gen.endings(log)):
            problems.append(f"report of one log named twice: exit code {code}, total {total and total.group(1)!r}")
        (c.dir / "page.html").chmod(0o600)
    if not c.host.launcher and (c.dir / "page.html").stat().st_mode & 0o777 != 0o600:
        problems.append(f"the replaced page's mode is {(c.dir / 'page.html').stat().st_mode & 0o777:o}, not 600")
    return problems


def made(data):
    """The bytes with the time a report was made masked, and paths as texts
    that name the same files on both hosts: QVADMIN prints a path as a person
    opens it on its host ("/" and each name as the directory holds it on
    POSIX)."""
    return re.sub(rb"[\\/]+", b"/", re.sub(rb"Made +\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", b"Made TIME", data)).upper()


def same_bytes_as_native(c):
    """Replay and report give the same bytes as the native program (relative
    paths, so that both name them alike)."""
    if not c.native:
        raise Skipped("no native program to compare with (--native)")
    c.log("QEL0307.LOG", "HIGH")
    # Logs of 256 KiB and more are read on two threads.
    one = (c.logs / "QEL0307.LOG").read_bytes()
    (c.logs / "QEL0308.LOG").write_bytes(one * (300_000 // len(one) + 1))
    # REDIRECT words relative to the current directory name the same files
    # on both hosts.
    # Paths spelt in other ways are left out: a person opens them under other
    # names on each host (and Windows alone folds the letter case of Latin-1
    # names).
    spelt = set(mail_gen.spelt_lines(c.named))
    relative = {path: "".join(line for line in text.splitlines(True) if line.rstrip("\r\n") not in spelt)
                .replace(c.named, "PROG\\") for path, text in c.tree.items() if mail_gen.LATIN not in path}
    mail_gen.write_tree(c.prog, relative, c.host.windows)
    mail_gen.write_tree(c.dir / "CAND", mail_gen.changed_tree(c.rnd, relative, "PROG\\"), c.host.windows)
    problems = []
    for args in (["replay", "--dir", "PROG", "--rules", "CAND", "--hits", "LOGS/QEL0307.LOG"],
                 ["report", "--html", "page.html", "LOGS/QEL03*.LOG"]):  # a wildcard, expanded by the program
        win_args = [a.replace("/", "\\") for a in args]
        got = c.host.run(c.qvadmin, win_args, cwd=c.dir)
        page = (c.dir / "page.html").read_bytes() if args[0] == "report" else b""
        want = c.native.run(c.native.exe, args, cwd=c.dir)
        native_page = (c.dir / "page.html").read_bytes() if args[0] == "report" else b""
        if got[0] != want[0]:
            problems.append(f"{args[0]}: exit code {got[0]}, natively {want[0]}")
        problems.append(diff_bytes(args[0], made(got[1]), made(want[1])))
        problems.append(diff_bytes("HTML page", made(page), made(native_page)))
    _, native_replay = c.native.run(c.native.exe, ["replay", "--dir", "PROG", "--rules", "CAND", "LOGS/QEL0307.LOG"],
                                    cwd=c.dir)
    if b" -> " not in native_replay:
        problems.append("the candidate tree changed no verdict: nothing to compare")
    return [p for p in problems if p]


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, [round_trip, round_trip_spelt_targets, changed_tree, mixed_levels, low_log, exit_codes,
                                          same_bytes_as_native], Case, {
        "--checker": dict(required=True, help="QUORVANT"),
        "--native": dict(default="", help="the native QVADMIN, to compare bytes with"),
        "--messages": dict(type=int, default=300)}))
