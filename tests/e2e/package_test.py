#!/usr/bin/env python3
"""Installs the administrators' zip the way README-WINDOWS.txt tells, into
C:\\QUORVANT\\ of the Wine prefix, and runs the programs from there on the
bundled example messages and filter log.

  package_test.py --zip dist/quorvant-veskol-windows.zip --launcher wine64 --examples examples
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import Results, diff_bytes  # noqa: E402

TOP = "quorvant-veskol-windows/"
# The bundled example messages and what the example rule files make of them.
VERDICTS = [
    ("D5F1A", 100, "To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: MEETING NOTES Blacklisted-Domain"),
    ("D7C20", 1, "To: BOB@EXAMPLE.ORG From: BOSS@PARTNER.EXAMPLE Subject: QUARTERLY FIGURES Whitelisted-User"),
    ("D9B31", 100, "To: CAROL@EXAMPLE.NET From: PROMO@SHOP.EXAMPLE Subject: CHEAP STUFF FOR YOU Blacklisted-Program"),
    ("DA4E2", 0, "To: ANN@EXAMPLE.ORG From: FRIEND@EXAMPLE.NET Subject: LUNCH ON FRIDAY? No Action."),
]


def contents(zf):
    problems = []
    names = set(zf.namelist())
    for need in ("QUORVANT.EXE", "VESKOL.EXE", "QVADMIN.EXE", "README-WINDOWS.txt", "examples/$default$.QUORVANT"):
        if TOP + need not in names:
            problems.append(f"{need} missing from the zip")
    for name in names:
        if name.endswith((".txt", ".QUORVANT")):
            data = zf.read(name)
            if re.search(rb"(?<!\r)\n", data) or not data.endswith(b"\r\n"):
                problems.append(f"{name} has line ends other than CR LF")
    return problems


def run(launcher, args, cwd):
    proc = subprocess.run(launcher + args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return proc.returncode, proc.stdout


def main():
    ap = argparse.ArgumentParser(description="the administrators' zip, installed and run under Wine")
    ap.add_argument("--zip", required=True)
    ap.add_argument("--launcher", required=True)
    ap.add_argument("--examples", required=True, help="the examples/ directory of the source tree")
    args = ap.parse_args()
    launcher = [args.launcher]
    drive_c = Path(os.environ["WINEPREFIX"]) / "drive_c"
    install, spool, logs = drive_c / "QUORVANT", drive_c / "QVSPOOL", drive_c / "QVLOGS"
    examples = Path(args.examples)
    results = Results()
    try:
        for d in (install, spool, logs):
            shutil.rmtree(d, ignore_errors=True)
        with zipfile.ZipFile(args.zip) as zf:
            results.check("zip-contents-and-line-ends", contents(zf))
            # What README-WINDOWS.txt says to do: the programs and the example
            # rule files go into C:\QUORVANT\.
            for name in zf.namelist():
                rel = name[len(TOP):]
                if rel.endswith("/") or not rel or rel == "README-WINDOWS.txt":
                    continue
                target = install / (rel[len("examples/"):] if rel.startswith("examples/") else rel)
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(zf.read(name))
        shutil.copytree(examples / "checker" / "spool", spool)

        problems, lines = [], []
        for ident, code, words in VERDICTS:
            got, out = run(launcher, ["C:\\QUORVANT\\QUORVANT.EXE", f"C:\\QVSPOOL\\{ident}.SMD"], cwd=drive_c)
            if got != code or out:
                problems.append(f"{ident}: exit code {got}, console {out[:60]!r}; want {code} and nothing")
            lines.append(f"HH:MM:SS {ident} {words}\r\n")
        day_logs = sorted(install.glob("QEL*.LOG"))
        got_log = re.sub(rb"(?m)^\d\d:\d\d:\d\d ", b"HH:MM:SS ", b"".join(p.read_bytes() for p in day_logs))
        problems.append(diff_bytes("activity log", got_log, "".join(lines).encode()))
        results.check("checker-on-the-example-messages", [p for p in problems if p])

        # QVADMIN beside the checker finds the same rule files by itself.
        problems = []
        for ident, code, words in VERDICTS:
            got, out = run(launcher, ["C:\\QUORVANT\\QVADMIN.EXE", "explain", f"C:\\QVSPOOL\\{ident}.SMD"],
                           cwd=drive_c)
            logged = re.search(rb"(?m)^Log line   \d\d:\d\d:\d\d (.*)\r$", out)
            if got != code or not logged or logged.group(1).decode() != f"{ident} {words}":
                problems.append(f"{ident}: exit code {got}, log line {logged and logged.group(1)!r}")
        results.check("admin-explains-the-example-messages", problems)

        logs.mkdir()
        shutil.copy(examples / "analyser" / "dec0101.log", logs / "DEC0101.LOG")
        shutil.copy(examples / "analyser" / "GLOBAL.CFG", logs / "GLOBAL.CFG")
        got, out = run(launcher, ["C:\\QUORVANT\\VESKOL.EXE", "C:\\QVLOGS\\DEC0101.LOG", "C:\\QVLOGS"], cwd=drive_c)
        report = logs / "veskol.txt"
        problems = [] if got == 0 else [f"exit code {got}"]
        if not report.is_file():
            problems.append("no veskol.txt beside the log")
        elif not out.endswith(report.read_bytes()) or b"Message Count" not in out:
            problems.append("the console does not end with the report of veskol.txt")
        results.check("analyser-on-the-example-log", problems)
    finally:
        for d in (install, spool, logs):
            shutil.rmtree(d, ignore_errors=True)
    return results.finish()


if __name__ == "__main__":
    sys.exit(main())
