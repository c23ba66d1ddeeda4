#!/usr/bin/env python3
"""End-to-end cases of QUORVANT: each case builds a program directory with rule
files and a spool directory with a message, runs the program the way the mail
filter does, and compares the exit code, the console bytes and the exact bytes
of the day's activity log (only the HH:MM:SS stamp is masked).

  checker_e2e.py --exe build/checker/QUORVANT
  checker_e2e.py --exe QUORVANT.EXE --launcher wine --windows
"""
import datetime
import os
import re
import subprocess
import sys
from dataclasses import dataclass
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import diff_bytes, mask_times, run_case_functions  # noqa: E402

BANNER = b"QUORVANT v1.3   1/9/04.  For more information, see https://quorvant.example/"
# Most cases check one message, Joe writing to Ann; its result line before the verdict:
JOE_TO_ANN = "HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HELLO"
# Its trace when Ann has no rule file of her own and her domain's blacklists Joe,
# at HIGH and at DEBUG (up to the result line).
HIGH_TO_DOMAIN = ["Checking Rule File = {P}EXAMPLE.ORG\\ANN.QUORVANT", "Error opening file or file not found.",
                  "Checking Rule File = {P}EXAMPLE.ORG\\$default$.QUORVANT"]
ENVELOPE_TRACE = ["1.2.1  Message File Opened : {S}_5F1A.~MD", "Line 0:S<joe@example.com>", "",
                  "1.2.2  Detected From Address", "Line 1:R<ann@example.org>", "", "1.2.3  Detected To Address"]
DEBUG_TO_DOMAIN = ENVELOPE_TRACE + HIGH_TO_DOMAIN + ["Checking: rule = BLACKLIST FROM @EXAMPLE.COM  Data=JOE@EXAMPLE.COM"]


class Spool(str):
    """An argument naming a file in the case's spool directory."""


class Prog(str):
    """An argument naming a file in the case's program directory."""


def envelope(*lines):
    return "".join(line + "\r\n" for line in lines)


JOE_TO_ANN_FILES = {
    "SPOOL/D5F1A.SMD": "Received: from mx\r\nSubject: hello\r\n\r\nbody\r\n",
    "SPOOL/_5F1A.~MD": envelope("S<joe@example.com>", "R<ann@example.org>"),
}


def files(*rules, extra=None):
    """Joe's message to Ann plus rule files: rules are (path in PROG, text) pairs;
    extra maps further paths to their text (None: the file is left out)."""
    out = dict(JOE_TO_ANN_FILES)
    out.update({"PROG/" + name: text for name, text in rules})
    out.update(extra or {})
    return out


def joe_to_ann_envelope(*lines):
    return {"SPOOL/_5F1A.~MD": envelope(*lines)}


LOWER_CASE_MESSAGE = {"SPOOL/m7.smd": "Subject: x\r\n",
                      "SPOOL/_7.~md": envelope("S<joe@example.com>", "R<ann@example.org>")}


USER = "EXAMPLE.ORG/ann.quorvant"          # reached through case-insensitive lookup
DOMAIN = "EXAMPLE.ORG/$default$.QUORVANT"
PROGRAM = "$default$.QUORVANT"
BLACK_SENDER = "BLACKLIST FROM @EXAMPLE.COM\r\n"
WHITE_SENDER = "whitelist from joe@example.com\r\n"
MESSAGE_ARGS = [Spool("D5F1A.SMD")]


@dataclass
class Case:
    name: str
    files: dict
    args: list
    code: int
    log: list = None          # expected lines of the day's log; None: no log file at all
    out: bytes = b""
    argv0: str = "installed"  # "installed", "bare" (no directory), or "dir88" / "dir89" (directory of that length)
    cwd: str = ""             # below the case directory
    log_blocked: bool = False  # a directory stands where the day's log would go


def level(word, *args):
    return [word] + list(args)


CASES = [
    Case("banner", files(), [], 0, None, out=BANNER),
    # No user file; the recipient's domain file blacklists.
    Case("domain-file-blacklists", files((DOMAIN, BLACK_SENDER)), MESSAGE_ARGS, 100, [JOE_TO_ANN + " Blacklisted-Domain"]),
    Case("domain-file-blacklists-low", files((DOMAIN, BLACK_SENDER)), level("low", Spool("D5F1A.SMD")), 100,
         [JOE_TO_ANN + " Blacklisted-Domain"]),
    Case("domain-file-blacklists-high", files((DOMAIN, BLACK_SENDER), (PROGRAM, "STRICT\r\n")), level("HIGH", Spool("D5F1A.SMD")),
         100, HIGH_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"]),
    Case("domain-file-blacklists-debug", files((DOMAIN, "# domain rules\r\n" + BLACK_SENDER)), level("debug", Spool("D5F1A.SMD")),
         100, DEBUG_TO_DOMAIN + [JOE_TO_ANN + " Blacklisted-Domain"]),
    # Each level of the cascade, each verdict.
    Case("user-white", files((USER, WHITE_SENDER), (DOMAIN, BLACK_SENDER)), MESSAGE_ARGS, 1,
         [JOE_TO_ANN + " Whitelisted-User"]),
    Case("user-black", files((USER, "BLACKLIST SUBJECT CONTAINS HELLO\r\n"), (PROGRAM, WHITE_SENDER)), MESSAGE_ARGS,
         100, [JOE_TO_ANN + " Blacklisted-User"]),
    Case("domain-white", files((USER, "# nothing\r\n"), (DOMAIN, WHITE_SENDER)), MESSAGE_ARGS, 1,
         [JOE_TO_ANN + " Whitelisted-Domain"]),
    Case("program-white", files((PROGRAM, WHITE_SENDER)), level("HIGH", Spool("D5F1A.SMD")), 1,
         ["Checking Rule File = {P}EXAMPLE.ORG\\ANN.QUORVANT", "Error opening file or file not found.",
          "Checking Rule File = {P}EXAMPLE.ORG\\$default$.QUORVANT", "Error opening file or file not found.",
          "Checking Rule File = {P}\\$default$.QUORVANT", JOE_TO_ANN + " Whitelisted-Program"]),
    Case("program-strict", files((PROGRAM, "STRICT\r\n")), MESSAGE_ARGS, 100, [JOE_TO_ANN + " Blacklisted-Program"]),
    Case("no-action-mid", files((PROGRAM, "# nothing\r\n")), MESSAGE_ARGS, 0, [JOE_TO_ANN + " No Action."]),
    Case("no-action-low", files(), level("LOW", Spool("D5F1A.SMD")), 0, None),
    Case("user-stop-high", files((USER, "NO DOMAIN\r\n"), (DOMAIN, BLACK_SENDER)), level("HIGH", Spool("D5F1A.SMD")),
         0, ["Checking Rule File = {P}EXAMPLE.ORG\\ANN.QUORVANT", JOE_TO_ANN + " No Action."]),
    Case("user-stop-mid", files((USER, "NO DOMAIN\r\n"), (DOMAIN, BLACK_SENDER)), MESSAGE_ARGS, 0, None),
    Case("domain-stop-high", files((DOMAIN, "NO DOMAIN\r\n"), (PROGRAM, "STRICT\r\n")),
         level("HIGHEST", Spool("D5F1A.SMD")), 0, HIGH_TO_DOMAIN + [JOE_TO_ANN]),
    # REDIRECT: the verdict belongs to the redirecting file; domain lines show at every level.
    Case("redirect-low", files((USER, "REDIRECT @example.org {P}SHARED\\SALES.QUORVANT\r\n"),
                               ("SHARED/SALES.QUORVANT", BLACK_SENDER), (PROGRAM, WHITE_SENDER)),
         level("LOW", Spool("D5F1A.SMD")), 100,
         ["found as domain", "matched domain", JOE_TO_ANN + " Blacklisted-User"]),
    Case("redirect-loop", files((USER, "NO DOMAIN\r\nREDIRECT ANN {P}EXAMPLE.ORG\\ANN.QUORVANT\r\n"),
                                (PROGRAM, "STRICT\r\n")), MESSAGE_ARGS, 0,
         ["REDIRECT chain too deep.  File = {PU}EXAMPLE.ORG\\ANN.QUORVANT  Line=2"]),
    # Envelope outcomes.
    Case("bad-sender", files((PROGRAM, "STRICT\r\n"), extra=joe_to_ann_envelope("S<nobody>", "R<ann@x.org>")),
         MESSAGE_ARGS, 0, ["HH:MM:SS D5F1A Bad Mail From Address "]),
    Case("bad-recipient", files((PROGRAM, "STRICT\r\n"), extra=joe_to_ann_envelope("S<joe@x>", "R<ann>")),
         MESSAGE_ARGS, 0, ["HH:MM:SS D5F1A Bad Mail To Address "]),
    Case("mail-to-missing", files((PROGRAM, "STRICT\r\n"), extra=joe_to_ann_envelope("S<joe@x>", "R<@x>")),
         MESSAGE_ARGS, 0, ["HH:MM:SS D5F1A Mail To missing "]),
    Case("bad-address-low", files(extra=joe_to_ann_envelope("S<nobody>")), level("LOW", Spool("D5F1A.SMD")),
         0, None),
    Case("empty-sender", files((PROGRAM, "BLACKLIST FROM @\r\n"), extra=joe_to_ann_envelope("R<ann@example.org>")),
         MESSAGE_ARGS, 0, ["HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From:  Subject: HELLO No Action."]),
    Case("missing-envelope", files((PROGRAM, "STRICT\r\n")), [Spool("D9.SMD")], 0, ["Could not open message file."]),
    Case("missing-envelope-low", files(), level("LOW", Spool("D9.SMD")), 0, None),
    Case("envelope-path-bad", files(), [Spool("D5F1A.SMDX")], 0, ["Could not open message file."]),
    # Without a "." and three characters the envelope is the file ~BAD of the current directory.
    Case("envelope-path-bad-read", files((PROGRAM, "STRICT\r\n"), extra={"SPOOL/~BAD": envelope("S<a@b>", "R<ann@example.org>")}),
         [Spool("D5F1A")], 100, ["HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From: A@B Subject:   Blacklisted-Program"],
         cwd="SPOOL"),
    Case("message-unreadable", files((USER, "WHITELIST SUBJECT CONTAINS      \r\n"),
                                     extra={"SPOOL/D5F1A.SMD": None}), MESSAGE_ARGS, 1,
         ["HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject:   Whitelisted-User"]),
    # Argument shapes.
    Case("level-word-not-first", files((PROGRAM, "STRICT\r\n"), extra=LOWER_CASE_MESSAGE),
         [Spool("m7.smd"), "HIGH", "DEBUG"], 100,
         ["HH:MM:SS M7 To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: X Blacklisted-Program"]),
    Case("one-argument-keeps-case", files((PROGRAM, "STRICT\r\n"), extra=LOWER_CASE_MESSAGE),
         [Spool("m7.smd")], 100,
         ["HH:MM:SS m7 To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: X Blacklisted-Program"]),
    Case("level-word-prefix", files((PROGRAM, "STRICT\r\n")), ["Middle", Spool("D5F1A.SMD"), "extra"], 100,
         [JOE_TO_ANN + " Blacklisted-Program"]),
    Case("bare-program-name", files(("PROG/" + PROGRAM, "")), MESSAGE_ARGS, 0, []),  # replaced below
    Case("long-program-directory", files((PROGRAM, "STRICT\r\n")), MESSAGE_ARGS, 0, None, argv0="dir89"),
    # The longest program directory still runs: its log path has 99 characters.
    Case("longest-program-directory", files(), MESSAGE_ARGS, 0, [JOE_TO_ANN + " No Action."], argv0="dir88"),
    Case("long-message-path", files((PROGRAM, "STRICT\r\n"), extra={
        "SPOOL/D" + "X" * 95 + ".SMD": "Subject: x\r\n",
        "SPOOL/_" + "X" * 95 + ".~MD": envelope("S<a@b>", "R<ann@example.org>")}),
         ["D" + "X" * 95 + ".SMD"], 0, ["Could not open message file."], cwd="SPOOL"),
    Case("longest-message-path", files((PROGRAM, "STRICT\r\n"), extra={
        "SPOOL/D" + "X" * 94 + ".SMD": "Subject: x\r\n",
        "SPOOL/_" + "X" * 94 + ".~MD": envelope("S<a@b>", "R<ann@example.org>")}),
         ["D" + "X" * 94 + ".SMD"], 100,
         ["HH:MM:SS D" + "X" * 94 + " To: ANN@EXAMPLE.ORG From: A@B Subject: X Blacklisted-Program"], cwd="SPOOL"),
    Case("log-unwritable", files((DOMAIN, BLACK_SENDER)), MESSAGE_ARGS, 100, None, log_blocked=True),
]

# A recipient whose rule-file name Windows takes for a device (in any letter
# case, with any extension) never opens it, on either host: that rule file
# counts as missing even where a file of the name exists.
CASES += [Case(f"recipient-named-device-{local}",
               files((f"EXAMPLE.ORG/{local.upper()}.QUORVANT", WHITE_SENDER), (DOMAIN, BLACK_SENDER),
                     extra=joe_to_ann_envelope("S<joe@example.com>", f"R<{local}@example.org>")),
               level("HIGH", Spool("D5F1A.SMD")), 100,
               [f"Checking Rule File = {{P}}EXAMPLE.ORG\\{local.upper()}.QUORVANT",
                "Error opening file or file not found.", "Checking Rule File = {P}EXAMPLE.ORG\\$default$.QUORVANT",
                JOE_TO_ANN.replace("ANN@", local.upper() + "@") + " Blacklisted-Domain"])
          for local in ("nul", "Com9.x", "aux")]

# Windows drops a trailing dot from a directory name and every trailing dot and
# space from a file name; both hosts reach the same files. The texts in the log
# keep the names as written.
CASES += [
    Case("recipient-domain-with-trailing-dot",
         files((USER, WHITE_SENDER), (DOMAIN, BLACK_SENDER),
               extra=joe_to_ann_envelope("S<joe@example.com>", "R<ann@example.org.>")), MESSAGE_ARGS, 1,
         [JOE_TO_ANN.replace("EXAMPLE.ORG", "EXAMPLE.ORG.") + " Whitelisted-User"]),
    Case("redirect-file-with-trailing-dots",
         files((USER, "REDIRECT @example.org {P}SHARED.\\SALES.QUORVANT..\r\n"), ("SHARED/SALES.QUORVANT", BLACK_SENDER)),
         level("LOW", Spool("D5F1A.SMD")), 100, ["found as domain", "matched domain", JOE_TO_ANN + " Blacklisted-User"]),
]

# A domain of dots only would lead the rule files out of the program
# directory: such a recipient is a bad one, whatever files lie there.
CASES += [Case(f"recipient-domain-of-dots-{len(dots)}",
               files(extra={**joe_to_ann_envelope("S<joe@example.com>", f"R<ann@{dots}>", "R<ann@example.org>"),
                            "ANN.QUORVANT": WHITE_SENDER, "$default$.QUORVANT": WHITE_SENDER,
                            "PROG/ANN.QUORVANT": WHITE_SENDER, "PROG/$default$.QUORVANT": WHITE_SENDER}),
               MESSAGE_ARGS, 0, ["HH:MM:SS D5F1A Bad Mail To Address "])
          for dots in (".", "..", "...")]

# At DEBUG every envelope line is logged as read, but its control bytes (a
# lone carriage return, escape sequences, DEL) are written as "?", so that a
# sender cannot forge log lines or act on a terminal showing the log.
CASES.append(Case(
    "debug-envelope-line-control-bytes",
    files((DOMAIN, BLACK_SENDER), extra=joe_to_ann_envelope(
        "S<joe@example.com>\r12:00:00 D5F1A To: ANN@EXAMPLE.ORG Whitelisted-User",
        "X-Note: \x1b]0;title\x07\x1b[2J\x7f\tend\x01\xe9", "R<ann@example.org>")),
    level("DEBUG", Spool("D5F1A.SMD")), 100,
    ["1.2.1  Message File Opened : {S}_5F1A.~MD",
     "Line 0:S<joe@example.com>?12:00:00 D5F1A To: ANN@EXAMPLE.ORG Whitelisted-User", "",
     "1.2.2  Detected From Address", "Line 1:X-Note: ?]0;title??[2J?\tend?\xe9", "",
     "Line 2:R<ann@example.org>", "", "1.2.3  Detected To Address"] + DEBUG_TO_DOMAIN[len(ENVELOPE_TRACE):] +
    [JOE_TO_ANN + " Blacklisted-Domain"]))

# The result line's sender and subject parts are cut for the line only; the
# rules see the whole values.
LONG_ID = "D" + "1" * 64                                 # 65 characters
LONG_LOCAL, LONG_DOMAIN = "A" * 20, "B" * 35 + ".ORG"    # 60-character recipient
LONG_SENDER = "SENDER.NAME.28@EXAMPLE.COM.X"             # 28 characters
LONG_SUBJECT = "THE LINE ENDS AT 199 CHARACTERS, SO THIS IS CUT"  # 39 characters fit
assert 21 + len(LONG_ID) + len(LONG_LOCAL) + 1 + len(LONG_DOMAIN) == 146 and len(LONG_SENDER) == 28
CASES.append(Case(
    "sender-cut-in-line-only",
    {"SPOOL/" + LONG_ID + ".SMD": "Subject: " + LONG_SUBJECT.lower() + "\r\n",
     "SPOOL/_" + LONG_ID[1:] + ".~MD": envelope("S<" + LONG_SENDER + ">", "R<" + LONG_LOCAL + "@" + LONG_DOMAIN + ">"),
     "PROG/" + LONG_DOMAIN + "/" + LONG_LOCAL + ".QUORVANT": "STRICT\r\nWHITELIST FROM " + LONG_SENDER + "\r\n"},
    [LONG_ID + ".SMD"], 1,
    ["HH:MM:SS " + LONG_ID + " To: " + LONG_LOCAL + "@" + LONG_DOMAIN + " From: SEND Subject: " + LONG_SUBJECT[:39] +
     " Whitelisted-User"], cwd="SPOOL"))
LONGER_ID = "D" + "2" * 90
LONGER_LOCAL, LONGER_DOMAIN = "C" * 40, "D" * 52 + ".ORG"
CASES.append(Case(
    "sender-and-subject-dropped-from-line",
    {"SPOOL/" + LONGER_ID + ".SMD": "Subject: cheap stuff\r\n",
     "SPOOL/_" + LONGER_ID[1:] + ".~MD": envelope("S<joe@x.org>", "R<" + LONGER_LOCAL + "@" + LONGER_DOMAIN + ">"),
     "PROG/" + LONGER_DOMAIN + "/$default$.QUORVANT": "BLACKLIST SUBJECT CHEAP STUFF\r\n"},
    [LONGER_ID + ".SMD"], 100,
    ["HH:MM:SS " + LONGER_ID + " To: " + LONGER_LOCAL + "@" + LONGER_DOMAIN + " From:  Subject:  Blacklisted-Domain"],
    cwd="SPOOL"))

# Started as a bare name from its own directory: log and rule files are found
# relative to the current directory, the program file without a separator.
CASES[[c.name for c in CASES].index("bare-program-name")] = Case(
    "bare-program-name", files((PROGRAM, "STRICT\r\n")), MESSAGE_ARGS, 100,
    ["HH:MM:SS D5F1A To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HELLO Blacklisted-Program"],
    argv0="bare", cwd="PROG")


def log_name(day):
    return f"QEL{day.month:02d}{day.day:02d}.LOG"


@dataclass
class Setup:
    program_dir: Path   # where the program is installed and writes its log
    argv0: object       # the first command-line word to start it by
    args: list          # the words after it, spool paths filled in
    expand: object      # fills the marks {P}, {S}, ... into a text


def setup_case(host, root, case):
    """Writes the case's files below root and installs the program. In file
    contents and arguments {P} and {S} stand for the program and spool
    directories, {PU} for the program directory as a rule line names it (upper
    case), {p} and {s} for both in lower case, {P/} for the program directory
    with forward slashes."""
    prog, spool = root / "PROG", root / "SPOOL"
    prog.mkdir(parents=True, exist_ok=True)
    spool.mkdir(exist_ok=True)
    fill = {"{P/}": "Z:" + str(prog) + "/", "{P}": host.dir_text(prog), "{S}": host.dir_text(spool),
            "{PU}": host.dir_text(prog).upper(), "{p}": host.dir_text(prog).lower(),
            "{s}": host.dir_text(spool).lower()}

    def expand(text):
        for mark, value in fill.items():
            text = text.replace(mark, value)
        return text

    if case.log_blocked:
        today = datetime.date.today()
        for day in (today, today + datetime.timedelta(days=1)):
            (prog / log_name(day)).mkdir()
    for rel, text in case.files.items():
        if text is None:
            continue
        target = root / rel
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(expand(text).encode("latin-1"))

    if case.argv0 == "bare":
        program_dir = prog
        argv0 = host.install(prog, "QUORVANT")
        argv0 = argv0.name
    elif case.argv0 in ("dir88", "dir89"):
        length = int(case.argv0[3:])
        program_dir = root / ("L" * (length - 1 - len(host.dir_text(root))))
        assert len(host.dir_text(program_dir)) == length, host.dir_text(program_dir)
        argv0 = host.install(program_dir, "QUORVANT")
    else:
        program_dir = prog
        argv0 = host.install(prog, "QUORVANT")

    args = [host.path(str(spool / a)) if isinstance(a, Spool) else expand(a) for a in case.args]
    return Setup(program_dir, argv0, args, expand)


def run_case(host, root, case):
    before = datetime.date.today()
    setup = setup_case(host, root, case)
    code, out = host.run(setup.argv0, setup.args, cwd=root / case.cwd)
    return check_outcome(case, setup, root, code, out, before)


def check_outcome(case, setup, root, code, out, before):
    """The problems with a run of the case that started on the day before:
    exit code, console, and the day's log in the program directory."""
    after = datetime.date.today()
    problems = []
    if code != case.code:
        problems.append(f"exit code {code}, want {case.code}")
    problems.append(diff_bytes("console", out, case.out))
    logs = sorted(p for p in root.rglob("QEL*.LOG") if p.is_file())
    if case.log is None:
        if logs:
            problems.append(f"unexpected log {logs[0]}: {logs[0].read_bytes()[:200]!r}")
    else:
        candidates = [setup.program_dir / log_name(before), setup.program_dir / log_name(after)]
        log = next((p for p in candidates if p.is_file()), None)
        if log is None:
            problems.append(f"no log {candidates[0]}; found {logs}")
        else:
            want = "".join(setup.expand(line) + "\r\n" for line in case.log).encode("latin-1")
            problems.append(diff_bytes("log", mask_times(log.read_bytes()), want))
    return [p for p in problems if p]


def check_concurrent_appends(host, root):
    """Runs that end at the same moment append whole lines and lose none."""
    prog = root / "PROG"
    target = root / "PROG" / "$default$.QUORVANT"
    target.parent.mkdir(parents=True)
    target.write_bytes(b"STRICT\r\n")
    spool = root / "SPOOL"
    spool.mkdir()
    count = 12
    for i in range(count):
        (spool / f"M{i:02d}.SMD").write_bytes(b"Subject: " + b"x" * 80 + b"\r\n")
        (spool / f"_{i:02d}.~MD").write_bytes(b"S<joe@example.com>\r\nR<ann@example.org>\r\n")
    argv0 = host.install(prog, "QUORVANT")
    procs = []
    for i in range(count):
        procs.append(host.start(argv0, [host.path(spool / f"M{i:02d}.SMD")], cwd=root))
    codes = [host.wait(p, host.timeout) for p in procs]
    problems = [f"exit codes {codes}"] if set(codes) != {100} else []
    logs = list(prog.glob("QEL*.LOG"))
    data = b"".join(p.read_bytes() for p in logs)
    lines = data.split(b"\r\n")
    pattern = re.compile(rb"\d\d:\d\d:\d\d M\d\d To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: X{80} "
                         rb"Blacklisted-Program")
    if lines[-1] != b"" or len(lines) != count + 1 or not all(pattern.fullmatch(l) for l in lines[:-1]):
        problems.append(f"log is not {count} whole lines: {data[:300]!r}")
    return problems


def check_banner_to_closed_pipe(host, root):
    """A console whose reader has gone loses the banner; the exit code stays 0."""
    argv0 = host.install(root, "QUORVANT")
    read_end, write_end = os.pipe()
    os.close(read_end)
    try:
        proc = subprocess.run([str(argv0)], executable=str(host.exe), cwd=root, stdout=write_end,
                              stderr=subprocess.DEVNULL, timeout=host.timeout)
    finally:
        os.close(write_end)
    return [] if proc.returncode == 0 else [f"exit code {proc.returncode}, want 0"]


def cases(suite):
    out = [(case.name, lambda c, case=case: run_case(c.host, c.dir, case)) for case in CASES]
    out.append(("concurrent-appends", lambda c: check_concurrent_appends(c.host, c.dir)))
    if not suite.host.launcher:  # a POSIX console only
        out.append(("banner-to-closed-pipe", lambda c: check_banner_to_closed_pipe(c.host, c.dir)))
    return out


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, cases))
