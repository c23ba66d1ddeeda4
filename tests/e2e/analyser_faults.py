#!/usr/bin/env python3
"""Fault cases for the analyser: missing, unreadable and misplaced files, a
report that cannot be written or whose disk is full, a link or a named pipe
named veskol.txt, closed standard descriptors, a 1 GB log of one token, a log
of white space only, a GLOBAL.CFG of 10,000 names and over-long arguments.
Every run must end in bounded time and memory with exit code 0 and the
documented console output and report file, and leave no file behind.

  analyser_faults.py --exe build/analyser/VESKOL [-k NAME]

Native builds only: the bounds, named pipes and runs as nobody are POSIX's.
"""
import os
import random
import stat
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bounded  # noqa: E402
import e2e_lib  # noqa: E402

TIME_LIMIT = 30
BIG_TIME_LIMIT = 300 if bounded.SANITIZED else 60
ONE_ENTRY = b"K1 Tests failed [weight=5] a=1 end\r\n"


crlf, report = e2e_lib.crlf, e2e_lib.veskol_report


class Case(e2e_lib.Scratch):
    prefix = "analyser-fault-"

    def __init__(self, suite):
        super().__init__(suite)
        self.base = self.dir
        self.logs = self.base / "logs"
        self.logs.mkdir()
        self.log = self.logs / "DEC0101.LOG"
        self.work = self.base / "work"  # the current directory of the run
        self.work.mkdir()

    def run(self, args, as_nobody=False, read_only=(), time_limit=TIME_LIMIT, closed_console=False,
            closed_descriptors=()):
        bounded.open_up(self.base, as_nobody, read_only)
        args = [a if isinstance(a, str) else self.host.path(a) for a in args]
        cmd = self.host.launcher + ([self.host.path(self.host.install(self.base / "prog", "VESKOL"))]
                                    if self.host.launcher else ["VESKOL"]) + args
        self.time_limit = time_limit
        self.before = set(os.listdir(self.logs)) if self.logs.is_dir() else set()
        self.outcome = bounded.run(cmd, None if self.host.launcher else str(self.host.exe), self.work,
                                   time_limit, as_nobody, closed_console, closed_descriptors)
        return self.outcome

    def expect(self, console, report_file):
        """console: the expected standard output text; report_file: the
        expected veskol.txt beside the log, or None when there must be none."""
        o = self.outcome
        problems = o.problems(self.time_limit, 0)
        p = e2e_lib.diff_bytes("console", o.stdout, crlf(console))
        if p:
            problems.append(p)
        written = self.logs / "veskol.txt"
        if report_file is None:
            if written.is_file():
                problems.append("a report file was written")
        elif not written.is_file():
            problems.append("no report file")
        else:
            p = e2e_lib.diff_bytes("veskol.txt", written.read_bytes(), crlf(report_file))
            if p:
                problems.append(p)
        if any(self.work.iterdir()):
            problems.append(f"files left in the current directory: {list(self.work.iterdir())}")
        left = set(os.listdir(self.logs)) - self.before - {"veskol.txt"} if self.logs.is_dir() else set()
        if left:
            problems.append(f"files left beside the log: {sorted(left)}")
        return problems

    def one_entry_report(self):
        r = report(self.host.text(self.log), [("A", 1, 1)], 1, 1)
        return "\n0 A" + "\n\n" + r, r


def not_found(c):
    return f"\n\n Log File Not Found!\n{c.host.text(c.log)}\n"


def not_written(c):
    return f"\n Report file could not be written: {c.host.text(c.logs / 'veskol.txt')}\n"


# --- missing, misplaced and unreadable files ----------------------------------

def missing_log(c):
    c.run([c.log])
    return c.expect(not_found(c), None)


def log_is_directory(c):
    c.log.mkdir()
    c.run([c.log])
    return c.expect(not_found(c), None)


def named_pipes_for_files(c):
    """Named pipes nobody reads or writes, as the log, as GLOBAL.CFG or as
    veskol.txt: the log is not found, GLOBAL.CFG silently gives no names, and
    the report goes to the console alone, the pipe left as it was."""
    os.mkfifo(c.log)
    c.run([c.log], time_limit=5)
    problems = [f"log: {p}" for p in c.expect(not_found(c), None)]
    c.log.unlink()
    c.log.write_bytes(ONE_ENTRY)
    os.mkfifo(c.base / "GLOBAL.CFG")
    c.run([c.log, c.base], time_limit=5)
    problems += [f"GLOBAL.CFG: {p}" for p in c.expect(*c.one_entry_report())]
    (c.logs / "veskol.txt").unlink(missing_ok=True)
    os.mkfifo(c.logs / "veskol.txt")
    c.run([c.log], time_limit=5)
    problems += [f"veskol.txt: {p}" for p in c.expect(c.one_entry_report()[0], None)]
    if not stat.S_ISFIFO(os.lstat(c.logs / "veskol.txt").st_mode):
        problems.append("veskol.txt: the named pipe was replaced")
    return problems


def unreadable_log(c):
    c.log.write_bytes(ONE_ENTRY)
    os.chmod(c.log, 0)
    c.run([c.log], as_nobody=bounded.can_drop_privileges())
    return c.expect(not_found(c), None)


def missing_global_cfg(c):
    c.log.write_bytes(ONE_ENTRY)
    c.run([c.log, c.base / "NOWHERE"])
    return c.expect(*c.one_entry_report())


def global_cfg_is_directory(c):
    c.log.write_bytes(ONE_ENTRY)
    (c.base / "CFG" / "GLOBAL.CFG").mkdir(parents=True)
    c.run([c.log, c.base / "CFG"])
    return c.expect(*c.one_entry_report())


def unreadable_global_cfg(c):
    c.log.write_bytes(ONE_ENTRY)
    cfg = c.base / "GLOBAL.CFG"
    cfg.write_bytes(b"OTHER 1\r\n")
    os.chmod(cfg, 0)
    c.run([c.log, c.base], as_nobody=bounded.can_drop_privileges())
    return c.expect(*c.one_entry_report())


# --- a report that cannot be written -------------------------------------------------

def report_name_is_directory(c):
    c.log.write_bytes(ONE_ENTRY)
    (c.logs / "veskol.txt").mkdir()
    c.run([c.log])
    console, _ = c.one_entry_report()
    (c.logs / "veskol.txt").rmdir()
    return c.expect(console, None)


def report_directory_read_only(c):
    c.log.write_bytes(ONE_ENTRY)
    c.run([c.log], as_nobody=bounded.can_drop_privileges(), read_only=[c.logs])
    console, _ = c.one_entry_report()
    return c.expect(console, None)


def report_name_is_a_link(c):
    """A link named veskol.txt is replaced by the report; its target, a file
    elsewhere or the device /dev/full, is never written."""
    c.log.write_bytes(ONE_ENTRY)
    elsewhere = c.base / "elsewhere.txt"
    elsewhere.write_bytes(b"not a report\r\n")
    link = c.logs / "veskol.txt"
    problems = []
    for target in (elsewhere, Path("/dev/full")):
        link.unlink(missing_ok=True)
        link.symlink_to(target)
        c.run([c.log])
        problems += [f"link to {target}: {p}" for p in c.expect(*c.one_entry_report())]
        if link.is_symlink():
            problems.append(f"link to {target}: veskol.txt is still a link")
    if elsewhere.read_bytes() != b"not a report\r\n":
        problems.append("the link's target was written")
    return problems


def hundred_tests(c):
    """Writes a log of one entry naming 100 tests; gives the console text and
    the report, which is longer than 4 KiB."""
    names = [f"T{i:02d}" for i in range(100)]
    c.log.write_bytes(b"K1 Tests failed [weight=5] " + " ".join(f"{n}=1" for n in names).encode() + b" end\r\n")
    text = report(c.host.text(c.log), [(n, 1, 1) for n in names], 1, 1)
    assert len(crlf(text)) > 4096
    return "".join(f"\n{i} {n}" for i, n in enumerate(names)) + "\n\n" + text, text


def report_on_a_full_disk(c):
    """A disk (of 64 KiB) too full for a new, longer report: the earlier report
    stays whole, no temporary file is left, and the console ends with a line
    that says so. With room again the report is replaced."""
    disk = c.small_disk(c.logs)
    c.log.write_bytes(ONE_ENTRY)
    c.run([c.log])
    problems = [f"first run: {p}" for p in c.expect(*c.one_entry_report())]
    console, longer = hundred_tests(c)
    disk.fill()
    c.run([c.log])
    problems += [f"full disk: {p}" for p in c.expect(console + not_written(c), c.one_entry_report()[1])]
    disk.free()
    c.run([c.log])
    return problems + [f"room again: {p}" for p in c.expect(console, longer)]


def standard_descriptors_closed(c):
    """Started with standard output, or all three standard descriptors,
    closed: the report file must not take the place of standard output, or
    the console lines (more than a buffer's worth) would go into it."""
    _, text = hundred_tests(c)
    problems = []
    for closed in ((1,), (0, 1, 2)):
        (c.logs / "veskol.txt").unlink(missing_ok=True)
        c.run([c.log], closed_descriptors=closed)
        problems += [f"closed {closed}: {p}" for p in c.expect("", text)]
    return problems


def console_gone(c):
    """A console whose reader has gone (a pager quit early): the report file
    is still written in full and the exit code stays 0."""
    c.log.write_bytes(ONE_ENTRY)
    c.run([c.log], closed_console=True)
    _, r = c.one_entry_report()
    return c.expect("", r)


# --- huge and empty logs, a huge GLOBAL.CFG ---------------------------------------------

def log_of_one_1gb_token(c):
    big = c.logs / "BIG.LOG"
    chunk = b"x" * (1 << 20)
    with open(big, "wb") as f:
        for _ in range(1024):
            f.write(chunk)
    c.log = big
    c.run([big], time_limit=BIG_TIME_LIMIT)
    big.unlink()
    r = report(c.host.text(big))
    problems = c.expect("\n\n" + r, r)
    print(f"     1 GB token: {c.outcome.seconds:.1f}s, peak {c.outcome.max_rss_kb} KiB")
    return problems


def log_of_white_space(c):
    rng = random.Random(3)
    c.log.write_bytes(bytes(rng.choice(b" \t\r\n\v\f") for _ in range(1 << 20)) * 8)
    c.run([c.log])
    r = report(c.host.text(c.log))
    return c.expect("\n\n" + r, r)


def empty_log(c):
    c.log.write_bytes(b"")
    c.run([c.log])
    r = report(c.host.text(c.log))
    return c.expect("\n\n" + r, r)


def global_cfg_of_10000_names(c):
    names = [f"T{i:05d}" for i in range(10000)]
    lines = []
    for i, name in enumerate(names):
        lines.append(f"{name}\tON\r\n" if i % 2 else f"{name} 10 # note\r\n")
        if i % 1000 == 0:
            lines.append("LOGFILE C:\\X.LOG\r\n#comment\r\n\r\n")
    (c.base / "GLOBAL.CFG").write_bytes("".join(lines).encode())
    # T00005 is in the table; T09999 came too late for it and is not counted.
    c.log.write_bytes(b"K1 Tests failed [weight=5] T00005=1 T09999=1 end\r\n")
    c.run([c.log, c.base / "global.cfg"])
    table = [("T00005", 1, 1)] + [(n, 0, 0) for n in names[:100] if n != "T00005"]
    r = report(c.host.text(c.log), table, 1, 1)
    console = "".join(f"\n{i} {n}" for i, n in enumerate(names[:100])) + "\n\n" + r
    return c.expect(console, r)


# --- arguments longer than anything -------------------------------------------------------

def long_log_path(c):
    c.log = c.logs / ("L" * 200) / ("M" * 200) / ("N" * 100_000)
    c.run([c.log])
    return c.expect(not_found(c), None)


def long_global_cfg_path(c):
    c.log.write_bytes(ONE_ENTRY)
    c.run([c.log, "C" * 100_000])
    return c.expect(*c.one_entry_report())


def long_number_arguments(c):
    # Two entries of one message; a limit of at least 2 passes counts both.
    c.log.write_bytes(ONE_ENTRY * 2)
    r = report(c.host.text(c.log), [("A", 1, 2)], 1, 2)
    problems = []
    for limit in ("9" * 50, "0x" + "F" * 40, "+" + "7" * 100_000):
        c.run([c.log, limit, c.base / "NOWHERE"])
        problems += [f"{limit[:12]}: {p}" for p in c.expect("\n0 A\n\n" + r, r)]
    return problems


CASES = [
    missing_log, log_is_directory, named_pipes_for_files, unreadable_log, missing_global_cfg, global_cfg_is_directory,
    unreadable_global_cfg, report_name_is_directory, report_directory_read_only,
    report_name_is_a_link, report_on_a_full_disk, standard_descriptors_closed, console_gone,
    log_of_one_1gb_token, log_of_white_space, empty_log, global_cfg_of_10000_names,
    long_log_path, long_global_cfg_path, long_number_arguments,
]


if __name__ == "__main__":
    sys.exit(e2e_lib.run_case_functions(__doc__, CASES, Case))
