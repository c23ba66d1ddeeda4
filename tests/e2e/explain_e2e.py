#!/usr/bin/env python3
"""QVADMIN explain against QUORVANT: for every case of the checker's
end-to-end table, and for generated rule trees and messages, explain must
give the checker's exit code and the very result line the checker writes
(time stamps masked). Generated messages are also explained by address
(--from, --to, --subject), which must agree but for the message identifier.

  explain_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT [--generated N]
  explain_e2e.py --exe QVADMIN.EXE --checker QUORVANT.EXE --launcher wine --windows
"""
import random
import re
import resource
import shutil
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bounded  # noqa: E402
import checker_e2e  # noqa: E402
from checker_e2e import Case, Spool, setup_case  # noqa: E402
from e2e_lib import Scratch, log_names, run_case_functions  # noqa: E402
import mail_gen  # noqa: E402

LEVELS = ("LOW", "MID", "HIGH", "DEBUG")


def level_words(args):
    """explain's --level for the checker's level word, if any."""
    word = str(args[0]).upper() if len(args) >= 2 else ""
    return ["--level", word] if word.startswith(LEVELS) else []


def checker_message_path(args):
    """The message path the checker takes from its words after the program."""
    if len(args) >= 2 and not str(args[0]).upper().startswith(LEVELS):
        return str(args[0]).upper()
    return str(args[1] if len(args) >= 2 else args[0])


def result_line(log_bytes):
    """The checker's result line (it starts with the time), time masked."""
    lines = [l for l in log_bytes.split(b"\r\n") if re.match(rb"\d\d:\d\d:\d\d ", l)]
    return lines[-1][9:] if lines else None


def explained(out):
    """(exit code, result line without its time) as explain prints them."""
    code = re.search(rb"(?m)^Exit code  (\d+)\r$", out)
    line = re.search(rb"(?m)^Log line   \d\d:\d\d:\d\d (.*)\r$", out)
    return (int(code.group(1)) if code else None), (line.group(1) if line else None)


def compare(checker, admin, root, setup, case, by_address=None, cut=False):
    """Runs the checker as the case says, then explain on the same files (by
    address: cut tells that the checker's line reaches its cuts, which fall
    elsewhere in explain's line, whose identifier differs)."""
    code, _ = checker.run(setup.argv0, setup.args, cwd=root / case.cwd)
    logs = sorted(p for p in setup.program_dir.glob("QEL*.LOG") if p.is_file())
    logged = result_line(logs[-1].read_bytes()) if logs else None
    for log in logs:
        log.unlink()
    if by_address is None:
        # Installed beside the checker, explain finds the program directory
        # by itself, as the checker does.
        argv0 = admin.install(setup.program_dir, "QVADMIN")
        if case.argv0 == "bare":
            argv0 = argv0.name
        words = ["explain", checker_message_path(setup.args)] + level_words(setup.args)
    else:
        argv0 = admin.install(root / "ADMIN", "QVADMIN")
        words = ["explain", "--dir", admin.dir_text(setup.program_dir)] + by_address
    got_code, out = admin.run(argv0, words, cwd=root / case.cwd)
    exit_line, line = explained(out)
    TALLY[(code, logged is not None)] = TALLY.get((code, logged is not None), 0) + 1
    problems = []
    if got_code != code or exit_line != code:
        problems.append(f"explain gives exit code {got_code} (prints {exit_line}), the checker {code}")
    if by_address is not None and logged is not None and line is not None:
        logged, line = logged.split(b" ", 1)[1], line.split(b" ", 1)[1]  # identifiers differ
        if cut:
            logged, line = (re.search(rb"( [WB]\w+listed-\w+| No Action\.|)$", text).group() for text in (logged, line))
    if logged is not None and line != logged:
        problems.append(f"explain's log line {line!r}\n     the checker's  {logged!r}")
    if logged is None and line is not None and b"Could not open message file." in out:
        problems.append("explain shows a result line the checker cannot write")
    return problems


TALLY = {}  # (exit code, result line compared): cases, to show the generator's reach


def generated_case(rng, n):
    """A generated rule tree and one generated message, as a case of the
    checker's table, and the message's words for explain by address."""
    files = {"PROG/" + rel: text for rel, text in mail_gen.make_tree(rng, "{P}").items()}
    m = mail_gen.make_message(rng, n)
    m.ident = m.ident[:5]  # a message path the checker can open: by address no file is read
    files.update({"SPOOL/" + name: text for name, text in m.files().items()})
    # Run from the program directory, where relative REDIRECT words lead.
    case = Case(f"generated-{n}", files, [rng.choice(LEVELS), Spool(m.ident + ".SMD")], 0, cwd="PROG")
    words = ["--from", m.sender, "--to", m.recipient] + (["--subject", m.subject] if m.subject else [])
    return case, words, any(m.logged()[1:])


# A REDIRECT that names the day's activity log: the checker has appended
# its trace to the log by then and reads that back as rules (the invalid
# entry of ANN.QUORVANT, logged at MID and above, names STRICT.TEST, so that
# line acts as STRICT). Explain must read what the run would have appended.
STRICT_TEST_FILES = {"SPOOL/D5F1A.SMD": "Subject: hello\r\n\r\nbody\r\n",
                     "SPOOL/_5F1A.~MD": "S<joe@example.com>\r\nR<ann@strict.test>\r\n"}
DAY_LOG_CASES = [
    Case(f"redirect-to-the-days-log-{word.lower()}",
         {**STRICT_TEST_FILES, "PROG/STRICT.TEST/ANN.QUORVANT": "JUNK\r\nREDIRECT ANN {P}" + log_names()[0] + "\r\n"},
         [word, Spool("D5F1A.SMD")], 0) for word in LEVELS
]


# Bad input: both programs must agree and end quickly in little memory.
BAD_INPUT = [
    Case("rule-line-of-100-mb", {**checker_e2e.JOE_TO_ANN_FILES, "PROG/EXAMPLE.ORG/ANN.QUORVANT": "STRICT"},
         [Spool("D5F1A.SMD")], 0),
    Case("directory-named-like-a-rule-file", {**checker_e2e.JOE_TO_ANN_FILES, "PROG/$default$.QUORVANT/X": "STRICT\r\n"},
         [Spool("D5F1A.SMD")], 0),
    Case("binary-junk", {**checker_e2e.JOE_TO_ANN_FILES,
                         "PROG/EXAMPLE.ORG/$default$.QUORVANT": bytes(random.Random(3).randbytes(1 << 16)).decode("latin-1"),
                         "SPOOL/D5F1A.SMD": bytes(random.Random(4).randbytes(1 << 16)).decode("latin-1")},
         [Spool("D5F1A.SMD")], 0),
    Case("redirect-loop-of-two", {**checker_e2e.JOE_TO_ANN_FILES,
                                  "PROG/EXAMPLE.ORG/ANN.QUORVANT": "REDIRECT ANN {P}B.QUORVANT\r\n",
                                  "PROG/B.QUORVANT": "NO DOMAIN\r\nREDIRECT @EXAMPLE.ORG {P}EXAMPLE.ORG\\ANN.QUORVANT\r\n"},
         [Spool("D5F1A.SMD")], 0),
    Case("message-path-is-a-directory", {"SPOOL/_5F1A.~MD/X": "R<ann@example.org>\r\n"}, [Spool("D5F1A.SMD")], 0),
]


def bad_input(c, case):
    setup = setup_case(c.checker, c.dir, case)
    if case.name == "rule-line-of-100-mb":  # written in pieces: a forked runner copies its memory
        with open(c.dir / "PROG/EXAMPLE.ORG/ANN.QUORVANT", "ab") as f:
            for _ in range(100):
                f.write(b"x" * (1 << 20))
    start = time.monotonic()
    problems = compare(c.checker, c.admin, c.dir, setup, case)
    seconds = time.monotonic() - start
    if seconds > 10:
        problems.append(f"took {seconds:.1f}s")
    peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    if peak_kb > 64 * 1024 and not bounded.SANITIZED:
        problems.append(f"a run reached {peak_kb} KiB")
    return problems


def generated(c):
    rng = random.Random(c.args.seed)
    problems = []
    for n in range(c.args.generated):
        case, by_address, cut = generated_case(rng, n)
        for form, words in (("path", None), ("address", by_address)):
            root = c.dir / f"g{n}{form}"
            found = compare(c.checker, c.admin, root, setup_case(c.checker, root, case), case, words, cut)
            problems += [f"{case.name} ({form}): {p}" for p in found]
            shutil.rmtree(root, ignore_errors=True)
    print("exit code, result line compared: cases  " +
          "  ".join(f"{code},{'yes' if line else 'no'}: {k}" for (code, line), k in sorted(TALLY.items())))
    return problems[:10]


class Fixture(Scratch):
    prefix = "qvx_"

    def __init__(self, suite):
        super().__init__(suite)
        self.admin = suite.host
        self.checker = suite.host_of(suite.args.checker)


def cases(suite):
    # The banner, and a blocked log, show no result line to compare.
    out = [("table-" + case.name, lambda c, case=case: compare(c.checker, c.admin, c.dir,
                                                               setup_case(c.checker, c.dir, case), case))
           for case in checker_e2e.CASES + DAY_LOG_CASES if case.args and not case.log_blocked]
    if not suite.args.launcher:  # time and memory are measured natively
        out += [("bad-input-" + case.name, lambda c, case=case: bad_input(c, case)) for case in BAD_INPUT]
    return out + [(f"generated-{suite.args.generated}-trees", generated)]


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, cases, Fixture, {"--checker": dict(required=True, help="QUORVANT"),
                                                          "--generated": dict(type=int, default=300),
                                                          "--seed": dict(type=int, default=1)}))
