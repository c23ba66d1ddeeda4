#!/usr/bin/env python3
"""End-to-end cases of QVADMIN lint, run the way an administrator runs it: the
bundled examples lint clean, the example with mistakes gives its findings,
lint's invalid entries are the lines QUORVANT itself logs as "Invalid entry",
and the output form, the paths and the exit codes are as documented.

Natively also its fault cases, each run in bounded time and memory (the
bounds, named pipes and runs as nobody are POSIX's): missing and unreadable
directories and files, names of rule files that are no regular files, binary
junk, a 100 MB line, 100 MB of zero bytes and REDIRECT loops; each ends with
the documented exit code, well-formed findings and the tally (or, for a
command-line mistake, nothing on standard output) and names the expected
checks.

  lint_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT
  lint_e2e.py --exe QVADMIN.EXE --checker QUORVANT.EXE --launcher wine --windows
"""
import os
import random
import re
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bounded  # noqa: E402
from e2e_lib import Scratch, native_path, run_case_functions  # noqa: E402

EXAMPLES = Path(__file__).resolve().parents[2] / "examples" / "checker"
FINDING = re.compile(rb"(.+):(\d+): (error|warning|note): (.+) \[([a-z-]+)\]")
TALLY = re.compile(rb"(\d+) errors?, (\d+) warnings? in (\d+) files?")


class Case(Scratch):
    prefix = "qvadmin-lint-"

    def __init__(self, suite):
        super().__init__(suite)
        self.base = self.dir
        self.prog = self.base / "prog"
        self.prog.mkdir()
        self.argv0 = self.host.install(self.prog, "QVADMIN")
        self.checker = suite.host_of(suite.args.checker)
        self.ann_file = self.prog / "ACME.TEST" / "ANN.QUORVANT"

    def shown(self, text, cwd=None):
        """A path text as lint prints it on this host."""
        return text if self.host.windows else native_path(text, cwd or self.base)

    def lint(self, *args, cwd=None):
        """Runs lint; gives the exit code, the findings as (file, line, severity,
        check) and the problems with the output's form."""
        code, out = self.host.run(self.argv0, list(args), cwd=cwd or self.base)
        self.out = out
        findings, problems = parsed(out)
        return code, findings, problems

    def lint_bounded(self, *args, as_nobody=False, time_limit=30, closed=()):
        """Runs lint natively under time and memory bounds; as nobody, every
        directory but those closed is opened up."""
        bounded.open_up(self.base, as_nobody)
        for path in closed:
            os.chmod(path, 0)
        self.time_limit = time_limit
        self.outcome = bounded.run([str(self.prog / "QVADMIN"), "lint"] + [str(a) for a in args],
                                   str(self.host.exe), self.base, time_limit, as_nobody)
        return self.outcome

    def expect(self, code, checks=(), more=(), troubles=0):
        """Problems unless the bounded run ended with code and printed findings
        of at least the given checks (and with code 2 nothing at all); troubles
        told on standard error count as errors in the tally."""
        o = self.outcome
        problems = o.problems(self.time_limit, code)
        if code == 2:
            return problems + ([f"standard output {o.stdout[:80]!r}"] if o.stdout else [])
        findings, form = parsed(o.stdout, troubles)
        if not o.stdout:
            form.append("no tally")
        missing = set(checks) - {f[3] for f in findings}
        if missing:
            problems.append(f"no finding of {sorted(missing)} among {sorted({f[3] for f in findings})}")
        return problems + form[:3] + [p for p in more if p]


def parsed(out, troubles=0):
    """The findings lint printed, as (file, line, severity, check), and the
    problems with the output's form: CR LF line ends, one finding a line, the
    tally last and adding up (with troubles told on standard error)."""
    problems = []
    if out and not out.endswith(b"\r\n"):
        problems.append(f"output does not end with CR LF: {out[-40:]!r}")
    lines = out.split(b"\r\n")[:-1]
    if b"\n" in b"".join(lines):
        problems.append("a line end without CR")
    findings = []
    for line in lines[:-1]:
        m = FINDING.fullmatch(line)
        if not m:
            problems.append(f"not a finding: {line[:120]!r}")
            continue
        findings.append((m[1].decode(), int(m[2]), m[3].decode(), m[5].decode()))
    tally = TALLY.fullmatch(lines[-1]) if lines else None
    if out and not tally:
        problems.append(f"last line is no tally: {lines[-1][:80]!r}")
    elif tally:
        errors = sum(f[2] == "error" for f in findings) + troubles
        warnings = sum(f[2] == "warning" for f in findings)
        if (int(tally[1]), int(tally[2])) != (errors, warnings):
            problems.append(f"tally {lines[-1]!r} but {errors} errors, {warnings} warnings printed")
    return findings, problems


def checks_at(findings, prefix=""):
    return sorted((f[0][len(prefix):] if f[0].startswith(prefix) else f[0], f[1], f[3]) for f in findings)


def expect(problems, got, want, what):
    if isinstance(want, list):
        want = sorted(want)
    if got != want:
        problems.append(f"{what}: got {got}, want {want}")


def bundled_examples_lint_clean(c):
    shutil.copytree(EXAMPLES / "program", c.prog, dirs_exist_ok=True)
    problems = []
    # Without --dir, from the program directory: REDIRECT lines name their
    # targets relative to the directory the checker is started in.
    # BOB.QUORVANT's REDIRECT names its target relative to that directory:
    # a warning, however lint runs (the zip's copies name it in full).
    code, findings, problems = c.lint("lint", cwd=c.prog)
    bob = c.shown(c.host.dir_text(c.prog) + "EXAMPLE.ORG\\BOB.QUORVANT")
    expect(problems, (code, findings, c.out.endswith(b"\r\n0 errors, 1 warning in 4 files\r\n")),
           (0, [(bob, 2, "warning", "relative-redirect")], True), "lint")
    code, findings, more = c.lint("lint", "--notes", "--werror", cwd=c.prog)
    problems += more
    expect(problems, (code, sorted({f[2] for f in findings})), (1, ["note", "warning"]), "lint --notes --werror")
    return problems


def example_with_mistakes(c):
    shutil.copytree(EXAMPLES / "program", c.prog, dirs_exist_ok=True)
    mistakes = shutil.copy(EXAMPLES / "mistakes" / "ANN.QUORVANT", c.base / "ANN.QUORVANT")
    code, findings, problems = c.lint("lint", c.host.path(mistakes), cwd=c.prog)
    want = [(2, "invalid-entry"), (3, "keyword-in-rule"), (4, "redirect-after-strict"), (4, "relative-redirect"),
            (5, "several-at"), (6, "literal-wildcard"), (8, "shadowed-rule"), (9, "invalid-entry"), (9, "tab"),
            (10, "invalid-entry"), (11, "invalid-entry"), (12, "directive-conflict"), (13, "redirect-missing"),
            (13, "relative-redirect"), (14, "invalid-entry"), (14, "long-line")]
    expect(problems, code, 1, "exit code")
    expect(problems, sorted((f[1], f[3]) for f in findings), want, "findings")
    path = c.host.text(mistakes) if c.host.windows else str(mistakes)
    expect(problems, sorted({f[0] for f in findings}), [path], "printed path")
    return problems


def invalid_entries_are_what_quorvant_logs(c):
    """The checker's own log at MID names the invalid entries of the user's
    file; lint of the same tree names the same lines."""
    rules = (b"# Ann's rules\r\nwhitlist from @a.example\r\n\r\n   \r\n # indented\r\nWHITELIST  FROM @B.EXAMPLE\r\n"
             b"BLACKLIST FROM C\r\nWHITELIST SUBJECT HI\r\nWHITELIST TO @D\r\nREDIRECT @X\r\nBLACKLIST FROM\t@E\r\n"
             b"JUNK\x0bX\r\nSTRICT\r\nWHITELIST FROM @F.EXAMPLE\r\n")
    c.write("prog/ACME.TEST/ANN.QUORVANT", rules)
    c.write("spool/D1.SMD", b"Subject: nothing to hit\r\n\r\nbody\r\n")
    c.write("spool/_1.~MD", b"S<joe@example.com>\r\nR<ann@acme.test>\r\n")
    code, _ = c.checker.run(c.checker.install(c.prog, "QUORVANT"), ["MID", c.host.path(c.base / "spool" / "D1.SMD")],
                            cwd=c.base)
    logs = sorted(c.prog.glob("QEL*.LOG"))
    problems = [] if code == 100 and logs else [f"QUORVANT gave {code}, logs {logs}"]
    logged = sorted(int(m[1]) for m in re.finditer(rb"Invalid entry\. File: \S*ANN\.QUORVANT Line: (\d+)",
                                                   logs[0].read_bytes())) if logs else []
    code, findings, more = c.lint("lint", "--dir", c.host.path(c.prog))
    problems += more
    expect(problems, code, 1, "exit code")
    linted = sorted(f[1] for f in findings if f[3] == "invalid-entry")
    expect(problems, linted, logged, "invalid entries")
    expect(problems, len(logged), 11, "entries logged")
    return problems


def paths_as_the_checker_prints_them(c):
    """Found files by the names the checker builds; file arguments as given;
    REDIRECT targets by their words."""
    c.write("prog/acme.test/ann.quorvant", b"REDIRECT ANN LISTS\\X.QUORVANT\r\nwhitlist\r\n")
    c.write("prog/lists/x.quorvant", b"whitlist\r\n")  # also the file of the recipient X@LISTS
    c.write("prog/$default$.QUORVANT", b"whitlist\r\n")
    c.write("prog/acme.test/deep/y.quorvant", b"STRICT\r\n")
    problems = []
    code, findings, more = c.lint("lint", "--dir", ".", cwd=c.prog)
    problems += more
    expect(problems, checks_at(findings), [(c.shown(".\\ACME.TEST\\ANN.QUORVANT", c.prog), 1, "relative-redirect"),
                                           (c.shown(".\\ACME.TEST\\ANN.QUORVANT", c.prog), 2, "invalid-entry"),
                                           (c.shown(".\\\\$default$.QUORVANT", c.prog), 1, "invalid-entry"),
                                           (c.shown(".\\acme.test\\deep\\y.quorvant", c.prog), 1, "unreachable-file"),
                                           (c.shown(".\\LISTS\\X.QUORVANT", c.prog), 1, "invalid-entry")], "lint --dir .")
    relative = "acme.test\\ann.quorvant" if c.host.windows else "acme.test/ann.quorvant"
    code, findings, more = c.lint("lint", relative, cwd=c.prog)
    problems += more
    expect(problems, checks_at(findings), [(c.shown("LISTS\\X.QUORVANT", c.prog), 1, "invalid-entry"),
                                           (c.shown("acme.test\\ann.quorvant", c.prog), 1, "relative-redirect"),
                                           (c.shown("acme.test\\ann.quorvant", c.prog), 2, "invalid-entry")], "lint FILE")
    code, findings, more = c.lint("lint", "--dir", c.host.path(c.prog))
    problems += more
    prog = c.host.dir_text(c.prog)
    expect(problems, checks_at(findings),
           [(c.shown(prog + name), line, check) for name, line, check in [
               ("\\$default$.QUORVANT", 1, "invalid-entry"), ("ACME.TEST\\ANN.QUORVANT", 1, "redirect-missing"),
               ("ACME.TEST\\ANN.QUORVANT", 1, "relative-redirect"), ("ACME.TEST\\ANN.QUORVANT", 2, "invalid-entry"),
               ("acme.test\\deep\\y.quorvant", 1, "unreachable-file"), ("LISTS\\X.QUORVANT", 1, "invalid-entry")]],
           "lint --dir FULL_PATH from elsewhere")
    # Told where the mail filter starts the checker, lint finds the target
    # from anywhere.
    code, findings, more = c.lint("lint", "--dir", c.host.path(c.prog), "--from-dir", c.host.path(c.prog))
    problems += more
    expect(problems, [f for f in checks_at(findings) if f[2] == "redirect-missing"], [], "lint --from-dir")
    return problems


# --- missing and unreadable --------------------------------------------------------

def missing_and_unreadable(c):
    """A program directory that is missing, a file or unreadable is a
    command-line mistake; a file argument that is missing is a finding."""
    c.write(c.ann_file, b"STRICT\r\n")
    c.write(c.base / "file", b"STRICT\r\n")
    problems = []
    for args, closed, code, checks in (
            (["--dir", c.base / "none"], [], 2, []), (["--dir", c.base / "file"], [], 2, []),
            (["--dir", c.prog], [c.prog], 2, []), ([c.base / "NONE.QUORVANT"], [], 1, ["unreadable-file"]),
            (["--dir", c.prog], [c.ann_file], 1, ["unreadable-file"])):
        c.lint_bounded(*args, as_nobody=bounded.can_drop_privileges() and bool(closed), closed=closed)
        problems += [f"{args[-1]}: {p}" for p in c.expect(code, checks)]
        for path in closed:
            os.chmod(path, 0o755)
    return problems


def unreadable_domain_folder(c):
    """Reported on standard error and counted as an error; the rest is checked."""
    c.write(c.ann_file, b"STRICT\r\n")
    c.write(c.prog / "OTHER.TEST" / "BOB.QUORVANT", b"whitlist\r\n")
    c.lint_bounded("--dir", c.prog, as_nobody=bounded.can_drop_privileges(), closed=[c.ann_file.parent])
    tally = c.outcome.stdout.split(b"\r\n")[-2:-1]
    return c.expect(1, ["invalid-entry"], [f"tally {tally}" if tally != [b"2 errors, 0 warnings in 1 file"] else ""],
                    troubles=1)


# --- names of rule files that are no regular files -----------------------------------

def directory_named_like_a_rule_file(c):
    c.ann_file.mkdir(parents=True)
    c.write(c.ann_file / "X.QUORVANT", b"STRICT\r\n")
    c.write(c.prog / "DOMAIN.QUORVANT" / "$default$.QUORVANT", b"# a domain folder may end so\r\n")
    c.lint_bounded("--dir", c.prog)
    problems = c.expect(1, ["unreadable-file", "unreachable-file"])
    c.lint_bounded(c.ann_file)
    return problems + c.expect(1, ["unreadable-file"])


def named_pipes_never_block(c):
    """A named pipe nobody writes to, where a rule file, a REDIRECT target or
    a file argument is expected."""
    c.ann_file.parent.mkdir(parents=True)
    os.mkfifo(c.ann_file)
    pipe = c.base / "PIPE.QUORVANT"
    os.mkfifo(pipe)
    c.write(c.prog / "$default$.QUORVANT", b"REDIRECT @ " + str(pipe).encode() + b"\r\n")
    c.lint_bounded("--dir", c.prog, time_limit=5)
    problems = c.expect(1, ["unreadable-file", "redirect-missing"])
    c.lint_bounded(pipe, time_limit=5)
    return problems + c.expect(1, ["unreadable-file"])


# --- huge, binary and looping input --------------------------------------------------

def huge_rule_files(c):
    """A line of 100 MB; and 100 MB of zero bytes, every piece of which the
    checker skips, so that it reads the whole file."""
    c.ann_file.parent.mkdir(parents=True)
    for first, byte, checks, told in ((b"STRICT", b"x", ["long-line", "invalid-entry"], b"line of 104857606 characters"),
                                      (b"", b"\0", ["encoding"], b":1: error: zero byte")):
        with open(c.ann_file, "wb") as f:
            f.write(first)
            chunk = byte * (1 << 20)
            for _ in range(100):
                f.write(chunk)
        c.lint_bounded("--dir", c.prog, time_limit=60)
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
    c.lint_bounded("--dir", c.prog)
    return c.expect(1, ["encoding", "invalid-entry"])


def redirect_loops(c):
    c.write(c.ann_file, b"REDIRECT @ " + str(c.ann_file).encode() + b"\r\n")
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
    c.lint_bounded("--dir", c.prog)
    problems = c.expect(1, ["redirect-loop"])
    out = c.outcome.stdout
    longest = max(len(line) for line in out.split(b"\r\n"))
    if len(out) > 3000 * 1000 or longest > 2000:
        problems.append(f"{len(out)} bytes of output, its longest line {longest} bytes")
    if len(re.findall(rb"LOOP\.TEST/U\d+\.QUORVANT:1: error: REDIRECT to .* can come back", out)) != 1:
        problems.append("the loop of 3,000 files is not said exactly once")
    return problems


def cases(suite):
    out = [bundled_examples_lint_clean, example_with_mistakes, invalid_entries_are_what_quorvant_logs,
           paths_as_the_checker_prints_them]
    if not suite.args.launcher:  # the bounds are measured natively
        out += [missing_and_unreadable, unreadable_domain_folder, directory_named_like_a_rule_file,
                named_pipes_never_block, huge_rule_files, rule_files_of_binary_junk, redirect_loops]
    return out


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, cases, Case, options={"--checker": dict(required=True)}))
