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
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from checker_e2e import DEBUG_TO_DOMAIN, HIGH_TO_DOMAIN, JOE_TO_ANN, JOE_TO_ANN_FILES, Case, check_outcome, files, setup_case  # noqa: E402
from e2e_lib import Scratch, crlf, diff_bytes, log_names, mask_times, run_case_functions, veskol_report  # noqa: E402

# Joe's message to Ann, which her domain's rule file blacklists.
DOMAIN_BLACKLISTS = ("EXAMPLE.ORG/$default$.QUORVANT", "BLACKLIST FROM @EXAMPLE.COM\r\n")


@dataclass
class CheckerCase(Case):
    command_line: str = ""  # when set, the program is started from this command line
    lock: str = ""          # LOCKHOLD.EXE's mode: another process holds that lock on the day's log
    device: str = ""        # a device name the Wine prefix maps to the file DEVICE.TXT for the run


def joe_to_ann(extra=None):
    """Joe's message to Ann with the files of extra (path: text, None: left out)."""
    return files(DOMAIN_BLACKLISTS, extra=extra)


def devices_case(device):
    # A rule-file name that Windows takes for a device is a file that cannot be opened.
    return CheckerCase(
        f"recipient-named-{device}", joe_to_ann({"SPOOL/_5F1A.~MD": f"S<joe@example.com>\r\nR<{device}@example.org>\r\n"}),
        ["HIGH", "{S}D5F1A.SMD"], 100,
        [f"Checking Rule File = {{P}}EXAMPLE.ORG\\{device.upper()}.QUORVANT", "Error opening file or file not found.",
         "Checking Rule File = {P}EXAMPLE.ORG\\$default$.QUORVANT",
         JOE_TO_ANN.replace("ANN@", device.upper() + "@") + " Blacklisted-Domain"])


# A run whose log another process has locked must not wait on it for longer
# than about a second in all (Wine itself takes a fraction of one to start).
LOCKED_RUN_SECONDS = 5


def locked_log_case(mode, log):
    return CheckerCase(f"log-locked-{mode}", joe_to_ann(), ["DEBUG", "{S}D5F1A.SMD"], 100, log, lock=mode)


# Joe's message to Ann in files named in lower case.
LOWER_CASE_NAMES = joe_to_ann({"SPOOL/D5F1A.SMD": None, "SPOOL/_5F1A.~MD": None,
                               "SPOOL/d5f1a.smd": JOE_TO_ANN_FILES["SPOOL/D5F1A.SMD"],
                               "SPOOL/_5f1a.~md": JOE_TO_ANN_FILES["SPOOL/_5F1A.~MD"]})

CHECKER_CASES = [
    CheckerCase(
        "rule-files-in-other-letter-case",
        joe_to_ann({"PROG/EXAMPLE.ORG/$default$.QUORVANT": None,
                    "PROG/example.org/Ann.Quorvant": "No Domain\r\nredirect @example.org {p}shared\\sales.quorvant\r\n",
                    "PROG/Shared/SALES.quorvant": "blacklist subject contains hello\r\n"}),
        ["high", "{S}D5F1A.SMD"], 100,
        ["Checking Rule File = {P}EXAMPLE.ORG\\ANN.QUORVANT", "found as domain", "matched domain",
         "Checking Rule File = {PU}SHARED\\SALES.QUORVANT", JOE_TO_ANN + " Blacklisted-User"]),
    CheckerCase(
        "program-rule-file-in-other-letter-case",
        joe_to_ann({"PROG/EXAMPLE.ORG/$default$.QUORVANT": None, "PROG/$DEFAULT$.quorvant": "STRICT\r\n"}),
        ["{S}D5F1A.SMD"], 100, [JOE_TO_ANN + " Blacklisted-Program"]),
    # Every file read in text mode: CR LF is one line end (so a 98-character
    # line and its CR LF are one piece) and Ctrl-Z ends the file, also in the
    # middle of a line.
    CheckerCase(
        "crlf-and-ctrl-z-in-every-input",
        joe_to_ann({"SPOOL/_5F1A.~MD": "R<ann@example.org>\r\n\x1aS<nobody>\r\n",
                    "SPOOL/D5F1A.SMD": "Received: x\r\nSubject: hel\x1alo\r\n",
                    "PROG/EXAMPLE.ORG/ANN.QUORVANT": "# user rules\r\nWHITELIST SUBJECT CONTAINS " + "X" * 71 +
                                                     "\r\nbogus\r\n\x1aWHITELIST SUBJECT CONTAINS HEL\r\n",
                    "PROG/EXAMPLE.ORG/$default$.QUORVANT": "\x1aWHITELIST SUBJECT CONTAINS HEL\r\n",
                    "PROG/$default$.QUORVANT": "\r\nREDIRECT @EXAMPLE.ORG {P}SHARED\\SALES.QUORVANT\r\n",
                    "PROG/SHARED/SALES.QUORVANT": "WHITELIST SUBJECT CONTAINS HELLO\r\nBLACKLIST SUBJECT HEL  \r\n"
                                                  "\x1aWHITELIST FROM @\r\n"}),
        ["{S}D5F1A.SMD"], 100,
        ["Invalid entry. File: {P}EXAMPLE.ORG\\ANN.QUORVANT Line: 3 Data: BOGUS",
         "Invalid entry. File: {P}\\$default$.QUORVANT Line: 1 Data: ",
         "found as domain", "matched domain",
         "HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From:  Subject: HEL Blacklisted-Program"]),
    # The program directory comes from the program's own path as Windows
    # records it, whatever form the command line gave it.
    CheckerCase(
        "started-through-forward-slashes", joe_to_ann(), [], 100, HIGH_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"],
        command_line="{P/}QUORVANT.EXE HIGH {S}D5F1A.SMD"),
    # A path with a drive letter in lower case, the file names on disk in
    # lower case: without a level word the path is upper-cased and still
    # reaches the files; after a level word it is used as typed.
    CheckerCase("drive-letter-path-upper-cased", LOWER_CASE_NAMES, ["{s}d5f1a.smd", "ignored"], 100,
                [JOE_TO_ANN + " Blacklisted-Domain"]),
    CheckerCase(
        "drive-letter-path-as-typed", LOWER_CASE_NAMES, ["DEBUG", "{s}d5f1a.smd"], 100,
        [DEBUG_TO_DOMAIN[0].replace("{S}_5F1A.~MD", "{s}_5f1a.~md")] + DEBUG_TO_DOMAIN[1:] +
        [JOE_TO_ANN.replace("D5F1A", "d5f1a") + " Blacklisted-Domain"]),
] + [devices_case(d) for d in ("aux", "nul", "com1", "con")] + [
    # A serial port that the Wine prefix maps to a plain file: a run that
    # opened the device would read it as the recipient's rules.
    CheckerCase("recipient-named-mapped-device",
                {**devices_case("com9").files, "DEVICE.TXT": "WHITELIST FROM @EXAMPLE.COM\r\n"},
                devices_case("com9").args, 100, devices_case("com9").log, device="com9"),
    # Any reader of the log may lock the byte at which the appenders take
    # turns: the run waits a moment and then appends without its turn.
    locked_log_case("byte", DEBUG_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"]),
    # A shared lock over the whole file: appending is not ours to force; the
    # run ends all the same, with its lines or without them (see the check).
    locked_log_case("whole", None),
]


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
    before = datetime.date.today()
    setup = setup_case(host, root, case)
    prog = root / "PROG"
    with locks_held(host, lock_holder, case.lock, [prog / name for name in log_names()]), \
            device_mapped(case.device, root / "DEVICE.TXT"):
        start = time.monotonic()
        if case.command_line:
            code, out = host.run_command_line(setup.expand(case.command_line), cwd=root)
        else:
            code, out = host.run(setup.argv0, setup.args, cwd=root)
        seconds = time.monotonic() - start
    if case.log is not None:
        problems = check_outcome(case, setup, root, code, out, before)
    else:
        # Whatever the run could write, its lines are whole.
        problems = [f"exit code {code}, want {case.code}"] if code != case.code else []
        problems.append(diff_bytes("console", out, b""))
        for p in sorted(prog.glob("QEL*.LOG")):
            if not re.fullmatch(rb"([^\r\n]*\r\n)*", p.read_bytes()):
                problems.append(f"torn lines in {p}: {p.read_bytes()[:200]!r}")
    if case.lock and seconds > LOCKED_RUN_SECONDS:
        problems.append(f"the run took {seconds:.1f} s with the log locked")
    return [p for p in problems if p]


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
    text = veskol_report(log_arg, ROWS, 2, 2)
    problems = [f"exit code {code}"] if code else []
    problems.append(diff_bytes("console", console, crlf("\n0 TESTA\n1 TESTB\n2 TESTC\n\n" + text)))
    if not report_at.is_file() or elsewhere.exists():
        problems.append(f"want the report at {report_at} only")
    else:
        problems.append(diff_bytes("veskol.txt", report_at.read_bytes(), crlf(text)))
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
    disk = c.small_disk(root / "PROG", host.exe.stat().st_size // 1024 + 64)  # the program lives there too
    setup = setup_case(host, root, CheckerCase("", joe_to_ann(), ["DEBUG", "{S}D5F1A.SMD"], 100))
    log = root / "PROG" / log_names()[0]
    earlier = (b"x" * 98 + b"\r\n") * 40 + b"y" * 74 + b"\r\n"  # its page has room for 20 bytes
    log.write_bytes(earlier)
    disk.fill()
    problems = []
    for when in ("full disk", "room again"):
        code, out = host.run(setup.argv0, setup.args, cwd=root)
        if code != 100 or out:
            problems.append(f"{when}: exit code {code}, console {out[:80]!r}")
        disk.free()
    trace = [setup.expand(line).encode() + b"\r\n" for line in DEBUG_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"]]
    data = mask_times(log.read_bytes())
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
    earlier = crlf(veskol_report(log_text, [("A", 1, 1)], 1, 1))
    names = [f"T{i:02d}" for i in range(100)]
    log.write_bytes(b"K1 Tests failed [weight=5] " + " ".join(f"{n}=1" for n in names).encode() + b" end\r\n")
    longer = veskol_report(log_text, [(n, 1, 1) for n in names], 1, 1)
    console = "".join(f"\n{i} {n}" for i, n in enumerate(names)) + "\n\n" + longer
    refused = f"\n Report file could not be written: {log_text[:-len('dec0101.log')]}veskol.txt\n"
    disk.fill()
    problems = []
    for when, want_console, want_report in (("full disk", console + refused, earlier),
                                            ("room again", console, crlf(longer))):
        code, out = host.run(argv0, [log_text], cwd=root)
        disk.free()
        problems += [f"{when}: {p}" for p in (
            [f"exit code {code}"] if code else [],
            diff_bytes("console", out, crlf(want_console)),
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
