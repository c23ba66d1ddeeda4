#!/usr/bin/env python3
"""Cases that only Windows semantics can show, run against the .EXE files
under Wine: names that reach files in another letter case, CR LF and Ctrl-Z in
every input, a program started through a path with forward slashes, message
paths with a drive letter, mail addresses that name Windows devices,
another process holding locks on the activity log, and a full disk under the
activity log and the report.

  windows_cases.py --exe QUORVANT.EXE --analyser VESKOL.EXE --lock-holder LOCKHOLD.EXE \
                   --launcher wine64 --windows
"""
import contextlib
import datetime
import os
import re
import select
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import Scratch, diff_bytes, run_case_functions  # noqa: E402

JOE_TO_ANN = "HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HELLO"
JOE_TO_ANN_FILES = {
    "SPOOL/D5F1A.SMD": b"Received: from mx\r\nSubject: hello\r\n\r\nbody\r\n",
    "SPOOL/_5F1A.~MD": b"S<joe@example.com>\r\nR<ann@example.org>\r\n",
    "PROG/EXAMPLE.ORG/$default$.QUORVANT": b"BLACKLIST FROM @EXAMPLE.COM\r\n",
}
HIGH_TO_DOMAIN = ["Checking Rule File = {P}EXAMPLE.ORG\\ANN.QUORVANT", "Error opening file or file not found.",
                  "Checking Rule File = {P}EXAMPLE.ORG\\$default$.QUORVANT"]


@dataclass
class CheckerCase:
    name: str
    files: dict            # path below the case directory -> bytes ({P}, {PU} and {S} filled in)
    args: list             # {S}, {s} (lower case) and {P} filled in
    code: int
    log: list              # expected lines of the day's log in PROG, time stamps masked
    command_line: str = ""  # when set, the program is started from this command line
    overlay: dict = field(default_factory=dict)  # replaces or (None) removes the files of Joe's message to Ann
    lock: str = ""          # LOCKHOLD.EXE's mode: another process holds that lock on the day's log
    device: str = ""        # a device name the Wine prefix maps to the file DEVICE.TXT for the run


def devices_case(device):
    # A rule-file name that Windows takes for a device is a file that cannot be opened.
    return CheckerCase(
        f"recipient-named-{device}", {"SPOOL/_5F1A.~MD": f"S<joe@example.com>\r\nR<{device}@example.org>\r\n".encode()},
        ["HIGH", "{S}D5F1A.SMD"], 100,
        [f"Checking Rule File = {{P}}EXAMPLE.ORG\\{device.upper()}.QUORVANT", "Error opening file or file not found.",
         "Checking Rule File = {P}EXAMPLE.ORG\\$default$.QUORVANT",
         JOE_TO_ANN.replace("ANN@", device.upper() + "@") + " Blacklisted-Domain"])


DEBUG_TO_DOMAIN = ["1.2.1  Message File Opened : {S}_5F1A.~MD", "Line 0:S<joe@example.com>", "",
                   "1.2.2  Detected From Address", "Line 1:R<ann@example.org>", "", "1.2.3  Detected To Address"
                   ] + HIGH_TO_DOMAIN + ["Checking: rule = BLACKLIST FROM @EXAMPLE.COM  Data=JOE@EXAMPLE.COM"]
# A run whose log another process has locked must not wait on it for longer
# than about a second in all (Wine itself takes a fraction of one to start).
LOCKED_RUN_SECONDS = 5


def locked_log_case(mode, log):
    return CheckerCase(f"log-locked-{mode}", {}, ["DEBUG", "{S}D5F1A.SMD"], 100, log, lock=mode)


CHECKER_CASES = [
    CheckerCase(
        "rule-files-in-other-letter-case",
        {"PROG/EXAMPLE.ORG/$default$.QUORVANT": None,
         "PROG/example.org/Ann.Quorvant": b"No Domain\r\nredirect @example.org {p}shared\\sales.quorvant\r\n",
         "PROG/Shared/SALES.quorvant": b"blacklist subject contains hello\r\n"},
        ["high", "{S}D5F1A.SMD"], 100,
        ["Checking Rule File = {P}EXAMPLE.ORG\\ANN.QUORVANT", "found as domain", "matched domain",
         "Checking Rule File = {PU}SHARED\\SALES.QUORVANT", JOE_TO_ANN + " Blacklisted-User"]),
    CheckerCase(
        "program-rule-file-in-other-letter-case",
        {"PROG/EXAMPLE.ORG/$default$.QUORVANT": None, "PROG/$DEFAULT$.quorvant": b"STRICT\r\n"},
        ["{S}D5F1A.SMD"], 100, [JOE_TO_ANN + " Blacklisted-Program"]),
    # Every file read in text mode: CR LF is one line end (so a 98-character
    # line and its CR LF are one piece) and Ctrl-Z ends the file, also in the
    # middle of a line.
    CheckerCase(
        "crlf-and-ctrl-z-in-every-input",
        {"SPOOL/_5F1A.~MD": b"R<ann@example.org>\r\n\x1aS<nobody>\r\n",
         "SPOOL/D5F1A.SMD": b"Received: x\r\nSubject: hel\x1alo\r\n",
         "PROG/EXAMPLE.ORG/ANN.QUORVANT": b"# user rules\r\nWHITELIST SUBJECT CONTAINS " + b"X" * 71 +
                                          b"\r\nbogus\r\n\x1aWHITELIST SUBJECT CONTAINS HEL\r\n",
         "PROG/EXAMPLE.ORG/$default$.QUORVANT": b"\x1aWHITELIST SUBJECT CONTAINS HEL\r\n",
         "PROG/$default$.QUORVANT": b"\r\nREDIRECT @EXAMPLE.ORG {P}SHARED\\SALES.QUORVANT\r\n",
         "PROG/SHARED/SALES.QUORVANT": b"WHITELIST SUBJECT CONTAINS HELLO\r\nBLACKLIST SUBJECT HEL  \r\n"
                                       b"\x1aWHITELIST FROM @\r\n"},
        ["{S}D5F1A.SMD"], 100,
        ["Invalid entry. File: {P}EXAMPLE.ORG\\ANN.QUORVANT Line: 3 Data: BOGUS",
         "Invalid entry. File: {P}\\$default$.QUORVANT Line: 1 Data: ",
         "found as domain", "matched domain",
         "HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From:  Subject: HEL Blacklisted-Program"]),
    # The program directory comes from the program's own path as Windows
    # records it, whatever form the command line gave it.
    CheckerCase(
        "started-through-forward-slashes", {}, [], 100, HIGH_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"],
        command_line="{P/}QUORVANT.EXE HIGH {S}D5F1A.SMD"),
    # A path with a drive letter in lower case, the file names on disk in
    # lower case: without a level word the path is upper-cased and still
    # reaches the files; after a level word it is used as typed.
    CheckerCase(
        "drive-letter-path-upper-cased",
        {"SPOOL/D5F1A.SMD": None, "SPOOL/_5F1A.~MD": None,
         "SPOOL/d5f1a.smd": JOE_TO_ANN_FILES["SPOOL/D5F1A.SMD"], "SPOOL/_5f1a.~md": JOE_TO_ANN_FILES["SPOOL/_5F1A.~MD"]},
        ["{s}d5f1a.smd", "ignored"], 100, [JOE_TO_ANN + " Blacklisted-Domain"]),
    CheckerCase(
        "drive-letter-path-as-typed",
        {"SPOOL/D5F1A.SMD": None, "SPOOL/_5F1A.~MD": None,
         "SPOOL/d5f1a.smd": JOE_TO_ANN_FILES["SPOOL/D5F1A.SMD"], "SPOOL/_5f1a.~md": JOE_TO_ANN_FILES["SPOOL/_5F1A.~MD"]},
        ["DEBUG", "{s}d5f1a.smd"], 100,
        ["1.2.1  Message File Opened : {s}_5f1a.~md",
         "Line 0:S<joe@example.com>", "", "1.2.2  Detected From Address",
         "Line 1:R<ann@example.org>", "", "1.2.3  Detected To Address"] + HIGH_TO_DOMAIN +
        ["Checking: rule = BLACKLIST FROM @EXAMPLE.COM  Data=JOE@EXAMPLE.COM",
         JOE_TO_ANN.replace("D5F1A", "d5f1a") + " Blacklisted-Domain"]),
] + [devices_case(d) for d in ("aux", "nul", "com1", "con")] + [
    # A serial port that the Wine prefix maps to a plain file: a run that
    # opened the device would read it as the recipient's rules.
    CheckerCase("recipient-named-mapped-device",
                {**devices_case("com9").files, "DEVICE.TXT": b"WHITELIST FROM @EXAMPLE.COM\r\n"},
                devices_case("com9").args, 100, devices_case("com9").log, device="com9"),
    # Any reader of the log may lock the byte at which the appenders take
    # turns: the run waits a moment and then appends without its turn.
    locked_log_case("byte", DEBUG_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"]),
    # A shared lock over the whole file: appending is not ours to force; the
    # run ends all the same, with its lines or without them (see the check).
    locked_log_case("whole", None),
]


def log_names():
    """Today's and tomorrow's log names, in case a run crosses midnight."""
    return [f"QEL{d.month:02d}{d.day:02d}.LOG"
            for d in (datetime.date.today(), datetime.date.today() + datetime.timedelta(days=1))]


@contextlib.contextmanager
def locks_held(host, holder, mode, files):
    """Another process (LOCKHOLD.EXE) holds a lock of the mode on each file."""
    if not mode:
        yield
        return
    if not holder:
        raise RuntimeError("this case needs --lock-holder")
    proc = subprocess.Popen(host.launcher + [host.path(str(holder)), mode] + [host.path(str(f)) for f in files],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=host.env)
    try:
        ready, _, _ = select.select([proc.stdout], [], [], 60)
        said = proc.stdout.readline() if ready else b""
        if said.strip() != b"locked":
            raise RuntimeError(f"LOCKHOLD.EXE {mode} did not take its locks (said {said!r})")
        yield
    finally:
        proc.stdin.close()
        try:
            proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()


@contextlib.contextmanager
def device_mapped(name, target):
    """The Wine prefix maps the device name to the target file, as it maps a
    COM port to a serial line."""
    if not name:
        yield
        return
    link = Path(os.environ.get("WINEPREFIX", Path.home() / ".wine")) / "dosdevices" / name
    link.unlink(missing_ok=True)
    link.symlink_to(target)
    try:
        yield
    finally:
        link.unlink(missing_ok=True)


def run_checker_case(host, root, case, lock_holder=""):
    prog, spool = root / "PROG", root / "SPOOL"
    fill = {"{P/}": "Z:" + str(prog) + "/", "{P}": host.dir_text(prog), "{PU}": host.dir_text(prog).upper(),
            "{p}": host.dir_text(prog).lower(), "{S}": host.dir_text(spool),
            "{s}": host.dir_text(spool).lower()}

    def expand(text):
        for mark, value in fill.items():
            text = text.replace(mark, value)
        return text

    files = dict(JOE_TO_ANN_FILES)
    files.update(case.files)
    for rel, data in files.items():
        if data is not None:
            (root / rel).parent.mkdir(parents=True, exist_ok=True)
            (root / rel).write_bytes(expand(data.decode("latin-1")).encode("latin-1"))
    argv0 = host.install(prog, "QUORVANT")
    with locks_held(host, lock_holder, case.lock, [prog / name for name in log_names()]), \
            device_mapped(case.device, root / "DEVICE.TXT"):
        start = time.monotonic()
        if case.command_line:
            code, out = host.run_command_line(expand(case.command_line), cwd=root)
        else:
            code, out = host.run(argv0, [expand(a) for a in case.args], cwd=root)
        seconds = time.monotonic() - start

    problems = [f"exit code {code}, want {case.code}"] if code != case.code else []
    problems.append(diff_bytes("console", out, b""))
    if case.lock and seconds > LOCKED_RUN_SECONDS:
        problems.append(f"the run took {seconds:.1f} s with the log locked")
    logs = sorted(p for p in root.rglob("QEL*.LOG") if p.is_file() and p.stat().st_size)
    if case.log is None:
        # Whatever the run could write, its lines are whole.
        for p in logs:
            if not re.fullmatch(rb"([^\r\n]*\r\n)*", p.read_bytes()):
                problems.append(f"torn lines in {p}: {p.read_bytes()[:200]!r}")
    elif [p.parent for p in logs] != [prog]:
        problems.append(f"want one day's log in {prog}, found {logs}")
    else:
        got = re.sub(rb"(?m)^\d\d:\d\d:\d\d ", b"HH:MM:SS ", logs[0].read_bytes())
        want = "".join(expand(line) + "\r\n" for line in case.log).encode("latin-1")
        problems.append(diff_bytes("log", got, want))
    return [p for p in problems if p]


def report(log_text, rows, messages, recipients):
    """The report lines; rows are (name, message fails, recipient fails) in report order."""
    text = log_text + "\n\n" + "\n%25s\t%s%s\t%s" % (" ", "  Message", " ", " Recipient")
    text += "\n%25s\t%s\t%s\n" % ("Test Name", "Fail Count %", "Fail Count %")
    for name, m, r in rows:
        text += "\n%25s\t%7d   %2d\t%7d   %2d" % (name, m, m * 100 // messages, r, r * 100 // recipients)
    text += "\n\n%25s\t%7d     \t%7d\n" % ("Message Count", messages, recipients)
    return text


# GLOBAL.CFG and the filter's log as Windows keeps them, with a Ctrl-Z before
# text that would change every count.
CFG = b"TESTA\r\nTESTB\t10\r\n# comment\r\nLOGFILE c:\\x.log\r\n\x1aTESTE\r\n"
LOG = (b"K1 Tests failed [weight=5] TESTA=IGN TESTC=X next\r\n"
       b"K2 Tests failed [weight=5] testb=1 next\r\n"
       b"\x1aK3 Tests failed [weight=5] TESTD=1 TESTA=1 next\r\n")
ROWS = [("TESTA", 1, 1), ("TESTB", 1, 1), ("TESTC", 1, 1)]


def run_analyser_case(c, log_arg, report_in, not_in):
    """VESKOL.EXE, started from the directory cwd, on the log named
    log_arg(its Windows path): the report must land in report_in only."""
    host, root = c.analyser, c.dir
    for d in ("logs", "cfg", "cwd"):
        (root / d).mkdir()
    (root / "logs" / "dec0101.log").write_bytes(LOG)
    (root / "cfg" / "global.cfg").write_bytes(CFG)  # the program opens the upper-cased ...\CFG\GLOBAL.CFG
    argv0 = host.install(root / "prog", "VESKOL")
    log_arg = log_arg(host.path(str(root / "logs" / "dec0101.log")))
    report_at, elsewhere = root / report_in / "veskol.txt", root / not_in / "veskol.txt"
    code, console = host.run(argv0, [log_arg, host.path(str(root / "cfg")).lower()], cwd=root / "cwd")
    text = report(log_arg, ROWS, 2, 2)
    problems = [f"exit code {code}"] if code else []
    want_console = "\n0 TESTA\n1 TESTB\n2 TESTC\n\n" + text
    problems.append(diff_bytes("console", console, want_console.replace("\n", "\r\n").encode()))
    if not report_at.is_file() or elsewhere.exists():
        problems.append(f"want the report at {report_at} only")
    else:
        problems.append(diff_bytes("veskol.txt", report_at.read_bytes(), text.replace("\n", "\r\n").encode()))
    left = [p.name for d in (root / "logs", root / "cwd") for p in d.iterdir()
            if p.name not in ("dec0101.log", "veskol.txt")]
    if left:
        problems.append(f"files left behind: {left}")
    return [p for p in problems if p]


ANALYSER_CASES = [
    ("analyser-crlf-ctrl-z-and-letter-case", lambda log: "z" + log[1:].lower(), "logs", "cwd"),
    # Only "\" separates: a log named with forward slashes is read all the same,
    # and its report goes to the current directory. (On POSIX every "/" of the
    # command line is a separator, so there the report goes beside the log.)
    ("analyser-log-path-with-forward-slashes", lambda log: log.replace("\\", "/"), "cwd", "logs"),
]


def checker_on_a_full_disk(c):
    """The disk under the activity log fills up in the middle of a line: the
    next run's lines start on lines of their own, whole (checker_faults.py
    shows the same on POSIX)."""
    host, root = c.host, c.dir
    prog, spool = root / "PROG", root / "SPOOL"
    disk = c.small_disk(prog, host.exe.stat().st_size // 1024 + 64)  # the program lives there too
    for rel, data in JOE_TO_ANN_FILES.items():
        (root / rel).parent.mkdir(parents=True, exist_ok=True)
        (root / rel).write_bytes(data)
    argv0 = host.install(prog, "QUORVANT")
    log = prog / log_names()[0]
    earlier = (b"x" * 98 + b"\r\n") * 40 + b"y" * 74 + b"\r\n"  # its page has room for 20 bytes
    log.write_bytes(earlier)
    disk.fill()
    problems = []
    for when in ("full disk", "room again"):
        code, out = host.run(argv0, ["DEBUG", host.path(spool / "D5F1A.SMD")], cwd=root)
        if code != 100 or out:
            problems.append(f"{when}: exit code {code}, console {out[:80]!r}")
        disk.free()
    fill = {"{P}": host.dir_text(prog), "{S}": host.dir_text(spool)}
    trace = []
    for line in DEBUG_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"]:
        for mark, value in fill.items():
            line = line.replace(mark, value)
        trace.append(line.encode() + b"\r\n")
    data = re.sub(rb"(?m)^\d\d:\d\d:\d\d ", b"HH:MM:SS ", log.read_bytes())
    rest = data[len(earlier):]
    cut = rest[:len(rest) - len(b"".join(trace))]
    if not data.startswith(earlier) or not rest.endswith(b"".join(trace)):
        problems.append(f"the earlier lines or the second run's trace are not whole: {rest[:200]!r}")
    elif cut and not (cut.endswith(b"\r\n") and trace[0].startswith(cut[:-2]) and b"\r\n" not in cut[:-2]):
        problems.append(f"lines run together: {cut[:200]!r}")
    return problems


def analyser_on_a_full_disk(c):
    """A disk too full for a new, longer report: the earlier report stays
    whole, no temporary file is left, and the console ends with a line that
    says so; with room again the report is replaced (as on POSIX)."""
    host, root = c.analyser, c.dir
    logs = root / "logs"
    disk = c.small_disk(logs)
    argv0 = host.install(root / "prog", "VESKOL")
    log = logs / "dec0101.log"
    log_text = host.path(str(log))
    log.write_bytes(b"K1 Tests failed [weight=5] a=1 end\r\n")
    host.run(argv0, [log_text], cwd=root)
    earlier = report(log_text, [("A", 1, 1)], 1, 1).replace("\n", "\r\n").encode()
    names = [f"T{i:02d}" for i in range(100)]
    log.write_bytes(b"K1 Tests failed [weight=5] " + " ".join(f"{n}=1" for n in names).encode() + b" end\r\n")
    longer = report(log_text, [(n, 1, 1) for n in names], 1, 1)
    console = "".join(f"\n{i} {n}" for i, n in enumerate(names)) + "\n\n" + longer
    refused = f"\n Report file could not be written: {log_text[:-len('dec0101.log')]}veskol.txt\n"
    disk.fill()
    problems = []
    for when, want_console, want_report in (("full disk", console + refused, earlier),
                                            ("room again", console, longer.replace("\n", "\r\n").encode())):
        code, out = host.run(argv0, [log_text], cwd=root)
        disk.free()
        problems += [f"{when}: {p}" for p in (
            [f"exit code {code}"] if code else [],
            diff_bytes("console", out, want_console.replace("\n", "\r\n").encode()),
            diff_bytes("veskol.txt", (logs / "veskol.txt").read_bytes(), want_report)) if p]
        left = sorted(p.name for p in logs.iterdir() if p.name not in ("dec0101.log", "veskol.txt", "FILLER"))
        if left:
            problems.append(f"{when}: files left behind: {left}")
    return problems


class Fixture(Scratch):
    prefix = "qv_win_"

    def __init__(self, suite):
        super().__init__(suite)
        self.analyser = suite.host_of(suite.args.analyser) if suite.args.analyser else None


def cases(suite):
    args = suite.args
    if not (args.windows and args.launcher):
        suite.parser.error("these cases need the Windows executables: --launcher and --windows")
    out = [(case.name, lambda c, case=case: run_checker_case(c.host, c.dir, case, c.args.lock_holder))
           for case in CHECKER_CASES]
    if args.analyser:
        out += [(name, lambda c, case=case: run_analyser_case(c, *case)) for name, *case in ANALYSER_CASES]
    out.append(("checker-on-a-full-disk", checker_on_a_full_disk))
    if args.analyser:
        out.append(("analyser-on-a-full-disk", analyser_on_a_full_disk))
    return out


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, cases, Fixture, {"--analyser": dict(default="", help="VESKOL.EXE"),
                                                          "--lock-holder": dict(default="", help="LOCKHOLD.EXE")}))
