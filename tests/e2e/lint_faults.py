#!/usr/bin/env python3
"""Fault cases of QVADMIN lint: missing and unreadable directories and files,
names of rule files that are no regular files, binary junk, a 100 MB line, 100
MB of zero bytes and REDIRECT loops. Every run must end in bounded time and memory with the
documented exit code, print well-formed findings and the tally (or, for a
command-line mistake, nothing on standard output) and name the expected
checks.

  lint_faults.py --exe build/admin/QVADMIN [-k NAME]

Native builds only: the bounds, named pipes and runs as nobody are POSIX's.
"""
import os
import random
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bounded  # noqa: E402
import e2e_lib  # noqa: E402
from lint_e2e import FINDING, TALLY  # noqa: E402



class Case(e2e_lib.Scratch):
    prefix = "lint-fault-"

    def __init__(self, suite):
        super().__init__(suite)
        self.base = self.dir
        self.prog = self.base / "prog"
        self.prog.mkdir()
        self.ann = self.prog / "ACME.TEST" / "ANN.QUORVANT"

    def lint(self, *args, as_nobody=False, time_limit=30, closed=()):
        """Runs lint; as nobody, every directory but those closed is opened up."""
        bounded.open_up(self.base, as_nobody)
        for path in closed:
            os.chmod(path, 0)
        self.time_limit = time_limit
        self.outcome = bounded.run([str(self.prog / "QVADMIN"), "lint"] + [str(a) for a in args],
                                   str(self.host.exe), self.base, time_limit, as_nobody)
        return self.outcome

    def expect(self, code, checks=(), more=()):
        """Problems unless the run ended with code and printed findings of at
        least the given checks (and with code 2 nothing at all)."""
        o = self.outcome
        problems = o.problems(self.time_limit)
        if not o.timed_out and o.code != code:
            problems.append(f"exit code {o.code}, want {code}")
        lines = o.stdout.split(b"\r\n")
        if code == 2:
            if o.stdout:
                problems.append(f"standard output {o.stdout[:80]!r}")
            return problems
        if lines[-1] != b"" or len(lines) < 2 or not TALLY.fullmatch(lines[-2]):
            problems.append(f"output does not end with a tally: {o.stdout[-80:]!r}")
            return problems
        found = set()
        for line in lines[:-2]:
            m = FINDING.fullmatch(line)
            if not m:
                problems.append(f"not a finding: {line[:100]!r}")
                break
            found.add(m[5].decode())
        missing = set(checks) - found
        if missing:
            problems.append(f"no finding of {sorted(missing)} among {sorted(found)}")
        return problems + [p for p in more if p]


# --- missing and unreadable --------------------------------------------------------

def missing_and_unreadable(c):
    """A program directory that is missing, a file or unreadable is a
    command-line mistake; a file argument that is missing is a finding."""
    c.write(c.ann, b"STRICT\r\n")
    c.write(c.base / "file", b"STRICT\r\n")
    problems = []
    for args, closed, code, checks in (
            (["--dir", c.base / "none"], [], 2, []), (["--dir", c.base / "file"], [], 2, []),
            (["--dir", c.prog], [c.prog], 2, []), ([c.base / "NONE.QUORVANT"], [], 1, ["unreadable-file"]),
            (["--dir", c.prog], [c.ann], 1, ["unreadable-file"])):
        c.lint(*args, as_nobody=bounded.can_drop_privileges() and bool(closed), closed=closed)
        problems += [f"{args[-1]}: {p}" for p in c.expect(code, checks)]
        for path in closed:
            os.chmod(path, 0o755)
    return problems


def unreadable_domain_folder(c):
    """Reported on standard error and counted as an error; the rest is checked."""
    c.write(c.ann, b"STRICT\r\n")
    c.write(c.prog / "OTHER.TEST" / "BOB.QUORVANT", b"whitlist\r\n")
    c.lint("--dir", c.prog, as_nobody=bounded.can_drop_privileges(), closed=[c.ann.parent])
    tally = c.outcome.stdout.split(b"\r\n")[-2:-1]
    return c.expect(1, ["invalid-entry"], [f"tally {tally}" if tally != [b"2 errors, 0 warnings in 1 file"] else ""])


# --- names of rule files that are no regular files -----------------------------------

def directory_named_like_a_rule_file(c):
    c.ann.mkdir(parents=True)
    c.write(c.ann / "X.QUORVANT", b"STRICT\r\n")
    c.write(c.prog / "DOMAIN.QUORVANT" / "$default$.QUORVANT", b"# a domain folder may end so\r\n")
    c.lint("--dir", c.prog)
    problems = c.expect(1, ["unreadable-file", "unreachable-file"])
    c.lint(c.ann)
    return problems + c.expect(1, ["unreadable-file"])


def named_pipes_never_block(c):
    """A named pipe nobody writes to, where a rule file, a REDIRECT target or
    a file argument is expected."""
    c.ann.parent.mkdir(parents=True)
    os.mkfifo(c.ann)
    pipe = c.base / "PIPE.QUORVANT"
    os.mkfifo(pipe)
    c.write(c.prog / "$default$.QUORVANT", b"REDIRECT @ " + str(pipe).encode() + b"\r\n")
    c.lint("--dir", c.prog, time_limit=5)
    problems = c.expect(1, ["unreadable-file", "redirect-missing"])
    c.lint(pipe, time_limit=5)
    return problems + c.expect(1, ["unreadable-file"])


# --- huge, binary and looping input --------------------------------------------------

def huge_rule_files(c):
    """A line of 100 MB; and 100 MB of zero bytes, every piece of which the
    checker skips, so that it reads the whole file."""
    c.ann.parent.mkdir(parents=True)
    for first, byte, checks, told in ((b"STRICT", b"x", ["long-line", "invalid-entry"], b"line of 104857606 characters"),
                                      (b"", b"\0", ["encoding"], b":1: error: zero byte")):
        with open(c.ann, "wb") as f:
            f.write(first)
            chunk = byte * (1 << 20)
            for _ in range(100):
                f.write(chunk)
        c.lint("--dir", c.prog, time_limit=60)
        problems = c.expect(1, checks)
        if told not in c.outcome.stdout:
            problems.append(f"no {told!r} in {c.outcome.stdout[-200:]!r}")
        if problems:
            return problems
    return []


def rule_files_of_binary_junk(c):
    rng = random.Random(3)
    for i in range(4):
        c.write(c.prog / "ACME.TEST" / f"U{i}.QUORVANT", rng.randbytes(256 * 1024))
    c.lint("--dir", c.prog)
    return c.expect(1, ["encoding", "invalid-entry"])


def redirect_loops(c):
    c.write(c.ann, b"REDIRECT @ " + str(c.ann).encode() + b"\r\n")
    b_file = c.prog / "OTHER.TEST" / "B.QUORVANT"
    c.write(b_file, b"REDIRECT B " + str(c.base / "C.QUORVANT").encode() + b"\r\n")
    c.write(c.base / "C.QUORVANT", b"redirect @other.test " + str(b_file).encode() + b"\r\n")
    # A chain of 40 files, each also redirecting to every later one.
    chain = [c.base / "CHAIN" / f"L{i}.QUORVANT" for i in range(40)]
    for i, link in enumerate(chain):
        c.write(link, b"".join(b"REDIRECT @ " + str(later).encode() + b"\r\n" for later in chain[i + 1:]))
    c.write(c.prog / "$default$.QUORVANT", b"REDIRECT @ " + str(chain[0]).encode() + b"\r\n")
    # A loop of 3,000 files, each a user's: said once, its chain shortened,
    # so that the output grows with the files, not with their square.
    loop = [c.prog / "LOOP.TEST" / f"U{i}.QUORVANT" for i in range(3000)]
    for i, link in enumerate(loop):
        c.write(link, b"REDIRECT @ " + str(loop[(i + 1) % len(loop)]).encode() + b"\r\n")
    c.lint("--dir", c.prog)
    problems = c.expect(1, ["redirect-loop"])
    out = c.outcome.stdout
    longest = max(len(line) for line in out.split(b"\r\n"))
    if len(out) > 3000 * 1000 or longest > 2000:
        problems.append(f"{len(out)} bytes of output, its longest line {longest} bytes")
    if len(re.findall(rb"LOOP\.TEST/U\d+\.QUORVANT:1: error: REDIRECT to .* can come back", out)) != 1:
        problems.append("the loop of 3,000 files is not said exactly once")
    return problems


CASES = [missing_and_unreadable, unreadable_domain_folder, directory_named_like_a_rule_file, named_pipes_never_block, huge_rule_files,
         rule_files_of_binary_junk, redirect_loops]

if __name__ == "__main__":
    sys.exit(e2e_lib.run_case_functions(__doc__, CASES, Case))
