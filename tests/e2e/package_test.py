#!/usr/bin/env python3
"""Installs the administrators' zip the way README-WINDOWS.txt tells, into
C:\\QUORVANT\\ of the Wine prefix (and its example messages into
C:\\SPOOL\\), and runs the programs from there on the example messages and
filter log, and every command of README-WINDOWS.txt that names them, as
printed.

  package_test.py --zip dist/quorvant-veskol-windows.zip --launcher wine64 --examples examples
"""
import os
import re
import shlex
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import diff_bytes, launcher_env, run_case_functions, run_launched  # noqa: E402

TOP = "quorvant-veskol-windows/"
# The bundled example messages and what the example rule files make of them.
VERDICTS = [
    ("D5F1A", 100, "To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: MEETING NOTES Blacklisted-Domain"),
    ("D7C20", 1, "To: BOB@EXAMPLE.ORG From: BOSS@PARTNER.EXAMPLE Subject: QUARTERLY FIGURES Whitelisted-User"),
    ("D9B31", 100, "To: CAROL@EXAMPLE.NET From: PROMO@SHOP.EXAMPLE Subject: CHEAP STUFF FOR YOU Blacklisted-Program"),
    ("DA4E2", 0, "To: ANN@EXAMPLE.ORG From: FRIEND@EXAMPLE.NET Subject: LUNCH ON FRIDAY? No Action."),
]


class Installed:
    """The zip unpacked as README-WINDOWS.txt says, into C:\\QUORVANT\\ of the
    Wine prefix, and its example messages (SPOOL\\) into C:\\SPOOL\\."""

    def __init__(self, suite):
        self.args = suite.args
        self.launcher = shlex.split(suite.args.launcher)
        self.drive_c = Path(os.environ["WINEPREFIX"]) / "drive_c"
        self.install, self.spool, self.logs = (self.drive_c / d for d in ("QUORVANT", "SPOOL", "QVLOGS"))
        self.examples = Path(suite.args.examples)
        self.cleanup()
        with zipfile.ZipFile(suite.args.zip) as zf:
            # The programs and the example rule files go into C:\QUORVANT\.
            for name in zf.namelist():
                rel = name[len(TOP):]
                if rel.endswith("/") or not rel:
                    continue
                if rel == "README-WINDOWS.txt":
                    self.readme = zf.read(name).decode("latin-1")
                    continue
                target = (self.spool / rel[len("SPOOL/"):] if rel.startswith("SPOOL/") else
                          self.install / (rel[len("examples/"):] if rel.startswith("examples/") else rel))
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(zf.read(name))

    def run(self, args):
        proc = run_launched(self.launcher + args, cwd=self.drive_c, stdin=subprocess.DEVNULL, capture_output=True,
                            timeout=60, env=launcher_env())
        return proc.returncode, proc.stdout

    def cleanup(self):
        for d in (self.install, self.spool, self.logs):
            shutil.rmtree(d, ignore_errors=True)


def zip_contents_and_line_ends(c):
    problems = []
    with zipfile.ZipFile(c.args.zip) as zf:
        names = set(zf.namelist())
        for need in ("QUORVANT.EXE", "VESKOL.EXE", "QVADMIN.EXE", "README-WINDOWS.txt", "examples/$default$.QUORVANT",
                     "SPOOL/D7C20.SMD", "SPOOL/_7C20.~MD"):
            if TOP + need not in names:
                problems.append(f"{need} missing from the zip")
        for name in names:
            if name.endswith((".txt", ".QUORVANT")):
                data = zf.read(name)
                if re.search(rb"(?<!\r)\n", data) or not data.endswith(b"\r\n"):
                    problems.append(f"{name} has line ends other than CR LF")
    return problems


def checker_on_the_example_messages(c):
    problems, lines = [], []
    for ident, code, words in VERDICTS:
        got, out = c.run(["C:\\QUORVANT\\QUORVANT.EXE", f"C:\\SPOOL\\{ident}.SMD"])
        if got != code or out:
            problems.append(f"{ident}: exit code {got}, console {out[:60]!r}; want {code} and nothing")
        lines.append(f"HH:MM:SS {ident} {words}\r\n")
    day_logs = sorted(c.install.glob("QEL*.LOG"))
    got_log = re.sub(rb"(?m)^\d\d:\d\d:\d\d ", b"HH:MM:SS ", b"".join(p.read_bytes() for p in day_logs))
    problems.append(diff_bytes("activity log", got_log, "".join(lines).encode()))
    return [p for p in problems if p]


def admin_explains_the_example_messages(c):
    """QVADMIN beside the checker finds the same rule files by itself."""
    problems = []
    for ident, code, words in VERDICTS:
        got, out = c.run(["C:\\QUORVANT\\QVADMIN.EXE", "explain", f"C:\\SPOOL\\{ident}.SMD"])
        logged = re.search(rb"(?m)^Log line   \d\d:\d\d:\d\d (.*)\r$", out)
        if got != code or not logged or logged.group(1).decode() != f"{ident} {words}":
            problems.append(f"{ident}: exit code {got}, log line {logged and logged.group(1)!r}")
    return problems


def readme_commands_work_as_printed(c):
    """Every command of README-WINDOWS.txt that names an example message
    runs as printed, from the program directory, and finds the message."""
    commands = re.findall(r"(?m)^ +((?:C:\\QUORVANT\\)?(?:QUORVANT|QVADMIN)\.EXE .*C:\\SPOOL\\D\w+\.SMD.*?)(?:  +\(.*)?$",
                          c.readme)
    problems = [] if len(commands) >= 6 else [f"only {len(commands)} commands on the example messages: {commands}"]
    for command in commands:
        words = [w.strip('"') for w in re.findall(r'"[^"]*"|\S+', command)]
        words[0] = "C:\\QUORVANT\\" + words[0].rpartition("\\")[2]
        before = b"".join(p.read_bytes() for p in c.install.glob("QEL*.LOG"))
        got, out = c.run(words)
        logged = b"".join(p.read_bytes() for p in c.install.glob("QEL*.LOG"))[len(before):]
        if got not in (0, 1, 100) or b"cannot be opened" in out or b"Could not open" in out + logged:
            problems.append(f"{command}: exit code {got}, {out[-200:]!r}, logged {logged[-100:]!r}")
    return problems


def analyser_on_the_example_log(c):
    c.logs.mkdir()
    shutil.copy(c.examples / "analyser" / "dec0101.log", c.logs / "DEC0101.LOG")
    shutil.copy(c.examples / "analyser" / "GLOBAL.CFG", c.logs / "GLOBAL.CFG")
    got, out = c.run(["C:\\QUORVANT\\VESKOL.EXE", "C:\\QVLOGS\\DEC0101.LOG", "C:\\QVLOGS"])
    report = c.logs / "veskol.txt"
    problems = [] if got == 0 else [f"exit code {got}"]
    if not report.is_file():
        problems.append("no veskol.txt beside the log")
    elif not out.endswith(report.read_bytes()) or b"Message Count" not in out:
        problems.append("the console does not end with the report of veskol.txt")
    return problems


CASES = [(case.__name__.replace("_", "-"), case)
         for case in (zip_contents_and_line_ends, checker_on_the_example_messages, admin_explains_the_example_messages,
                      readme_commands_work_as_printed, analyser_on_the_example_log)]


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, CASES, Installed, {"--zip": dict(required=True), "--examples": dict(
        required=True, help="the examples/ directory of the source tree")}, exe_required=False))
