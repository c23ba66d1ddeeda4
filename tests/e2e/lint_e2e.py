#!/usr/bin/env python3
"""End-to-end cases of QVADMIN lint, run the way an administrator runs it: the
bundled examples lint clean, the example with mistakes gives its findings,
lint's invalid entries are the lines QUORVANT itself logs as "Invalid entry",
and the output form, the paths and the exit codes are as documented.

  lint_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT
  lint_e2e.py --exe QVADMIN.EXE --checker QUORVANT.EXE --launcher wine --windows
"""
import re
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
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

    def shown(self, text, cwd=None):
        """A path text as lint prints it on this host."""
        return text if self.host.windows else native_path(text, cwd or self.base)

    def lint(self, *args, cwd=None):
        """Runs lint; gives the exit code, the findings as (file, line, severity,
        check) and the problems with the output's form."""
        code, out = self.host.run(self.argv0, list(args), cwd=cwd or self.base)
        self.out = out
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
            errors = sum(f[2] == "error" for f in findings)
            warnings = sum(f[2] == "warning" for f in findings)
            if (int(tally[1]), int(tally[2])) != (errors, warnings):
                problems.append(f"tally {lines[-1]!r} but {errors} errors, {warnings} warnings printed")
        return code, findings, problems


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


CASES = [bundled_examples_lint_clean, example_with_mistakes, invalid_entries_are_what_quorvant_logs,
         paths_as_the_checker_prints_them]


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, CASES, Case, options={"--checker": dict(required=True)}))
