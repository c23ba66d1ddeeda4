#!/usr/bin/env python3
"""End-to-end cases of VESKOL: the built program run in a scratch directory,
checking the exit code, the exact console bytes and the exact bytes of the
report file "veskol.txt"."""
import random
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import Scratch, crlf, diff_bytes, run_case_functions, veskol_report  # noqa: E402

USAGE = (b"VESKOL - declude log file analizer v1.3B 4/14/04\r\n\r\n"
         b"to use, call with the declude log file name.  i.e.\r\n\r\n"
         b"veskol dec0101.log [dbCount] [global.cfg path]\r\n\r\n")

# Entries that share a key, a message whose tests all passed, a test name in
# lower case; GLOBAL.CFG declares two of the four tests, with a directive
# and a comment between them.
MIXED_ENTRIES_LOG = (b"K1 Tests failed [weight=5] TESTA=IGN TESTC=X next\r\n"
                     b"K1 Tests failed [weight=5] TESTC=IGN TESTD=X next\r\n"
                     b"K2 Tests failed [weight=5] TESTD=IGN next\r\n"
                     b"K2 Tests passed\r\n"
                     b"K3 Tests failed [weight=5] testb=1 TESTA=2 next\r\n")
TWO_TESTS_CFG = b"# tests\r\nTESTA\tip4r x\r\nLOGFILE c:\\declude\\dec.log\r\ntestb 10 0\r\n"


def report(log_text, rows, messages, recipients):
    """The report file's bytes; rows are (name, message fails, recipient fails)
    in slot order, which the report sorts by message fails, equal counts
    keeping their order."""
    return crlf(veskol_report(log_text, sorted(rows, key=lambda row: -row[1]), messages, recipients))


class Case(Scratch):
    prefix = "veskol_e2e_"

    def __init__(self, suite):
        super().__init__(suite)
        self.argv0 = self.host.install(self.dir / "prog", "VESKOL")

    def run(self, args):
        return self.host.run(self.argv0, args, cwd=self.dir)

    def check(self, args, code=0, console=None, files=None, absent=()):
        got_code, out = self.run(args)
        problems = []
        if got_code != code:
            problems.append(f"exit code {got_code}, want {code}")
        if console is not None:
            problems.append(diff_bytes("console", out, console))
        for rel, want in (files or {}).items():
            p = self.dir / rel
            if not p.is_file():
                problems.append(f"{rel} missing")
            else:
                problems.append(diff_bytes(rel, p.read_bytes(), want))
        for rel in absent:
            if (self.dir / rel).exists():
                problems.append(f"{rel} should not exist")
        return [p for p in problems if p]


def cases(host):
    """Each case gives a list of problems (empty when it passed)."""

    def usage(c):
        return c.check([], console=USAGE, absent=["veskol.txt"])

    def mixed_entries_with_two_configured_tests(c):
        log = c.write("logs/dec0101.log", MIXED_ENTRIES_LOG)
        c.write("cfg/global.cfg", TWO_TESTS_CFG)
        log_text = host.text(log)
        want = report(log_text, [("TESTA", 2, 2), ("TESTB", 1, 1), ("TESTC", 1, 2), ("TESTD", 1, 2)], 3, 4)
        console = b"\r\n0 TESTA\r\n1 TESTB\r\n2 TESTC\r\n3 TESTD\r\n\r\n" + want
        problems = c.check([host.path(log), host.path(c.dir / "cfg")], console=console,
                           files={"logs/veskol.txt": want}, absent=["veskol.txt"])
        # Again, over the earlier report: the same bytes.
        return problems + c.check([host.path(log), host.path(c.dir / "cfg")], console=console,
                                  files={"logs/veskol.txt": want})

    def mixed_entries_report_bytes(c):
        # The literal report of the mixed entries, independent of report() above.
        c.write("dec0101.log", MIXED_ENTRIES_LOG)
        want = (b"dec0101.log\r\n\r\n"
                b"\r\n                         \t  Message \t Recipient"
                b"\r\n                Test Name\tFail Count %\tFail Count %\r\n"
                b"\r\n                    TESTA\t      2   66\t      2   50"
                b"\r\n                    TESTC\t      1   33\t      2   50"
                b"\r\n                    TESTD\t      1   33\t      2   50"
                b"\r\n                    TESTB\t      1   33\t      1   25"
                b"\r\n\r\n            Message Count\t      3     \t      4\r\n")
        return c.check(["dec0101.log"], console=b"\r\n0 TESTA\r\n1 TESTC\r\n2 TESTD\r\n3 TESTB\r\n\r\n" + want,
                       files={"veskol.txt": want})

    def relative_path_with_backslash(c):
        c.write("logs/dec0101.log", b"k Tests failed [weight=1] a=1 e")
        want = report("logs\\dec0101.log", [("A", 1, 1)], 1, 1)
        return c.check(["logs\\dec0101.log"], console=b"\r\n0 A\r\n\r\n" + want, files={"logs/veskol.txt": want})

    def missing_log(c):
        c.write("cfg/GLOBAL.CFG", b"SPAMCOP x\r\n")
        return c.check(["nolog.log", "cfg"], console=b"\r\n0 SPAMCOP\r\n\r\n Log File Not Found!\r\nnolog.log\r\n",
                       absent=["veskol.txt"])

    def bare_words_in_global_cfg(c):
        c.write("c/GLOBAL.CFG", b"HIDETESTS\r\nSPAMCOP\r\nX\r\nlogfile\r\nLOGLEVEL\r\n")
        c.write("dec.log", b"k Tests failed [weight=1] spamcop=5 e\r\n")
        want = report("dec.log", [("SPAMCOP", 1, 1), ("LOGFILE", 0, 0)], 1, 1)
        return c.check(["dec.log", "c\\", "0"], console=b"\r\n0 SPAMCOP\r\n1 LOGFILE\r\n\r\n" + want,
                       files={"veskol.txt": want})

    def scan_limit_and_progress(c):
        c.write("dec.log", b"a Tests x b Tests x " + b"".join(
            b"m%d Tests failed [weight=1] a=1 e\r\n" % i for i in range(5001)))
        full = report("dec.log", [("A", 5001, 5001)], 5001, 5001)
        limited = report("dec.log", [("A", 3, 3)], 3, 3)
        return (c.check(["dec.log"], console=b" 0 0\r\n0 A 5000\r\n\r\n" + full, files={"veskol.txt": full}) +
                c.check(["dec.log", "5"], console=b" 0 0\r\n0 A\r\n\r\n" + limited) +
                c.check(["dec.log", "none", "0x5"], console=b" 0 0\r\n0 A\r\n\r\n" + limited))

    def log_of_many_mapping_windows(c):
        # 3 MB: the log is mapped a window at a time, and entries, keys and
        # test names fall on every window edge. Three entries share a key, so
        # a third of them open a message; the tests cycle through A, B, C, D.
        rnd = random.Random(11)
        lines, n = [], 60000
        counts = {"A": [0, 0], "B": [0, 0], "C": [0, 0], "D": [0, 0]}
        names = list(counts)
        for i in range(n):
            tests = [names[(i + k) % 4] for k in range(1 + i % 3)]
            for t in tests:
                counts[t][1] += 1
                counts[t][0] += i % 3 == 0
            pad = b"x" * rnd.randrange(40)
            lines.append(b"12/01/2003 %s m%d Tests failed [weight=5]: %s\r\n" % (
                pad, i // 3, b" ".join(t.lower().encode() + b"=IGNORE" for t in tests)))
        c.write("dec.log", b"".join(lines))
        want = report("dec.log", [(t, m, r) for t, (m, r) in counts.items()], n // 3, n)
        console = b"\r\n0 A\r\n1 B\r\n2 C\r\n3 D" + b"".join(b" %d" % k for k in range(5000, n + 1, 5000))
        return c.check(["dec.log"], console=console + b"\r\n\r\n" + want, files={"veskol.txt": want})

    def log_of_two_halves(c):
        # 20 MB, which VESKOL reads in two halves at once: keys go on across
        # the middle, and a test first met late in the log is announced
        # between the progress numbers around it, as one scan announces it.
        n, late = 300000, 240007
        counts = {"A": [0, 0], "B": [0, 0], "C": [0, 0], "D": [0, 0], "E": [0, 0]}
        names, lines = list(counts)[:4], []
        for i in range(n):
            tests = [names[(i + k) % 4] for k in range(1 + i % 3)] + (["E"] if i >= late and i % 2 else [])
            for t in tests:
                counts[t][1] += 1
                counts[t][0] += i % 3 == 0
            lines.append(b"12/01/2003 12:00:%02d m%d Tests failed [weight=5]: %s\r\n" % (
                i % 60, i // 3, b" ".join(t.encode() + b"=IGNORE" for t in tests)))
        c.write("dec.log", b"".join(lines))
        want = report("dec.log", [(t, m, r) for t, (m, r) in counts.items()], n // 3, n)
        first_e = late + 1  # the entry count when E is first met
        console = (b"\r\n0 A\r\n1 B\r\n2 C\r\n3 D" + b"".join(b" %d" % k for k in range(5000, first_e, 5000)) +
                   b"\r\n4 E" + b"".join(b" %d" % k for k in range(first_e // 5000 * 5000 + 5000, n + 1, 5000)))
        return c.check(["dec.log"], console=console + b"\r\n\r\n" + want, files={"veskol.txt": want})

    def ctrl_z_ends_the_log(c):
        c.write("dec.log", b"k Tests failed [weight=1] a=1 e\r\n\x1ak2 Tests failed [weight=1] b=1 e\r\n")
        want = report("dec.log", [("A", 1, 1)], 1, 1)
        return c.check(["dec.log"], console=b"\r\n0 A\r\n\r\n" + want, files={"veskol.txt": want})

    def names_configured_but_no_entry(c):
        c.write("GLOBAL.CFG", b"SPAMCOP x\r\nSORBS x\r\n")
        c.write("dec.log", b"")
        want = report("dec.log", [("SPAMCOP", 0, 0), ("SORBS", 0, 0)], 0, 0)
        return c.check(["dec.log", "global.cfg"], console=b"\r\n0 SPAMCOP\r\n1 SORBS\r\n\r\n" + want,
                       files={"veskol.txt": want})

    def unwritable_report(c):
        c.write("dec.log", b"")
        (c.dir / "veskol.txt").mkdir()
        want = report("dec.log", [], 0, 0)
        return c.check(["dec.log"], console=b"\r\n\r\n" + want)

    def binary_junk(c):
        rnd = random.Random(4)
        junk = bytes(rnd.randrange(256) for _ in range(200000)).replace(b"\x1a", b"Tests ")
        c.write("junk.log", junk)
        code, out = c.run(["junk.log"])
        problems = [] if code == 0 else [f"exit code {code}"]
        if not out.endswith(b"\r\n") or b"Message Count" not in out:
            problems.append(f"no report: {out[-80:]!r}")
        if not (c.dir / "veskol.txt").is_file():
            problems.append("veskol.txt missing")
        return problems

    def log_is_a_directory(c):
        (c.dir / "d.log").mkdir()
        return c.check(["d.log"], console=b"\r\n\r\n Log File Not Found!\r\nd.log\r\n", absent=["veskol.txt"])

    def control_bytes_in_test_names(c):
        # Test names come from senders' text in the filter's log: escape
        # sequences, BEL and DEL are shown as "?", on the console and in the
        # report, while the names still count apart.
        c.write("dec.log", b"k1 Tests failed [weight=1] \x1b]0;owned\x07=1 \x1b[2J=1 a\x7fb=1 a?b=1 caf\xe9=1 e\r\n"
                           b"k2 Tests failed [weight=1] \x1b[2J=1 e\r\n")
        names = ["?]0;OWNED?", "?[2J", "A?B", "A?B", "CAF\xe9"]
        want = report("dec.log", [(n, 1 + (n == "?[2J"), 1 + (n == "?[2J")) for n in names], 2, 2)
        console = crlf("".join(f"\n{i} {n}" for i, n in enumerate(names)) + "\n\n") + want
        return c.check(["dec.log"], console=console, files={"veskol.txt": want})

    def trailing_dots_and_spaces_in_the_log_path(c):
        # Windows drops a directory name's trailing dot and a file name's
        # trailing dots and spaces; the path texts keep them.
        c.write("logs/dec0101.log", b"k Tests failed [weight=1] a=1 e")
        want = report("logs.\\dec0101.log. .", [("A", 1, 1)], 1, 1)
        return c.check(["logs.\\dec0101.log. ."], console=b"\r\n0 A\r\n\r\n" + want,
                       files={"logs/veskol.txt": want}, absent=["veskol.txt", "logs./veskol.txt"])

    table = [usage, mixed_entries_with_two_configured_tests, mixed_entries_report_bytes, relative_path_with_backslash, missing_log,
             bare_words_in_global_cfg, scan_limit_and_progress, log_of_many_mapping_windows, log_of_two_halves,
             ctrl_z_ends_the_log,
             names_configured_but_no_entry, unwritable_report, binary_junk, log_is_a_directory,
             control_bytes_in_test_names, trailing_dots_and_spaces_in_the_log_path]

    # A difference the host makes: on POSIX every "/" of the command line
    # becomes "\", while on Windows it is an ordinary character, so there the
    # report lands in the current directory (windows_cases.py checks that).
    if not host.windows:
        def forward_slashes_become_backslashes(c):
            c.write("logs/dec0101.log", b"k Tests failed [weight=1] a=1 e")
            want = report("logs\\dec0101.log", [("A", 1, 1)], 1, 1)
            return c.check(["logs/dec0101.log"], console=b"\r\n0 A\r\n\r\n" + want,
                           files={"logs/veskol.txt": want}, absent=["veskol.txt"])
        table.append(forward_slashes_become_backslashes)
    return table


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, lambda suite: cases(suite.host), Case))
