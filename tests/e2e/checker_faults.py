#!/usr/bin/env python3
"""Fault cases for the checker: missing, unreadable and misplaced files, an
activity log that cannot be written or whose disk fills up, closed standard
descriptors, huge and binary inputs, REDIRECT loops and over-long arguments.
Every run must end in bounded time and memory with exit code 0, 1 or 100 as
the case documents, print nothing, and leave the documented lines in the
activity log.

  checker_faults.py --exe build/checker/QUORVANT [-k NAME]

Native builds only: the bounds, named pipes and runs as nobody are POSIX's.
"""
import datetime
import os
import random
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bounded  # noqa: E402
import e2e_lib  # noqa: E402
from e2e_lib import log_names  # noqa: E402

TIME_LIMIT = 30
TIME_RE = rb"\d\d:\d\d:\d\d"
ADDRESS_CHARS = set(b".-_=!#%*ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")


class Case(e2e_lib.Scratch):
    """A scratch program directory, a spool and one run of the checker."""
    prefix = "checker-fault-"

    def __init__(self, suite):
        super().__init__(suite)
        self.base = self.dir
        self.prog = self.base / "prog"
        self.spool = self.base / "spool"
        self.spool.mkdir()
        self.argv0 = self.host.install(self.prog, "QUORVANT")
        self.message = self.spool / "D1.SMD"
        self.envelope = self.spool / "_1.~MD"

    def standard_message(self, rules=b"BLACKLIST FROM @EXAMPLE.COM\r\n"):
        """Joe writes to Ann; Ann's own rule file blacklists Joe's domain."""
        self.write(self.envelope, b"S<joe@example.com>\r\nR<ann@example.org>\r\n")
        self.write(self.message, b"Subject: hello\r\n\r\nbody\r\n")
        if rules is not None:
            self.write(self.user_rules(), rules)

    def user_rules(self):
        return self.prog / "EXAMPLE.ORG" / "ANN.QUORVANT"

    def domain_rules(self):
        return self.prog / "EXAMPLE.ORG" / "$default$.QUORVANT"

    def run(self, args, as_nobody=False, argv0=None, read_only=(), time_limit=TIME_LIMIT, closed_descriptors=()):
        """Runs the checker; as nobody, every directory but read_only is opened
        up so that only the file under test is out of reach."""
        bounded.open_up(self.base, as_nobody, read_only)
        cmd, exe = self.host.command(argv0 or self.argv0, [self.host.path(a) for a in args])
        self.time_limit = time_limit
        self.outcome = bounded.run(cmd, exe, self.base, time_limit, as_nobody,
                                   closed_descriptors=closed_descriptors)
        return self.outcome

    def log_lines(self):
        logs = sorted(p for p in self.prog.glob("QEL*.LOG") if p.is_file()) if self.prog.exists() else []
        if not logs:
            return []
        data = logs[-1].read_bytes()
        return data.split(b"\r\n")[:-1] if data.endswith(b"\r\n") else [data]

    def expect_run(self, code):
        """Problems when the run broke its bounds, or its exit code or console differ."""
        o = self.outcome
        problems = o.problems(self.time_limit, code)
        if o.stdout:
            problems.append(f"console output {o.stdout[:80]!r}")
        return problems

    def expect(self, code, log_res):
        """Problems when the exit code, console or activity log differ: log_res
        are patterns that the log's lines must match, one for one."""
        problems = self.expect_run(code)
        lines = self.log_lines()
        if len(lines) != len(log_res) or not all(re.fullmatch(p, l) for p, l in zip(log_res, lines)):
            problems.append(f"log lines {[l[:160] for l in lines[:6]]} (of {len(lines)}), "
                            f"want {log_res[:6]} (of {len(log_res)})")
        return problems


def result_line(words, subject=b"HELLO"):
    return TIME_RE + rb" D1 To: ANN@EXAMPLE\.ORG From: JOE@EXAMPLE\.COM Subject: " + subject + re.escape(words)


BLACKLISTED = result_line(b" Blacklisted-User")
NO_ACTION = result_line(b" No Action.")
COULD_NOT_OPEN = rb"Could not open message file\."
# The whole DEBUG trace of the standard message.
DEBUG_TRACE = [rb"1\.2\.1  Message File Opened : .*\\_1\.~MD", rb"Line 0:S<joe@example\.com>", b"",
               rb"1\.2\.2  Detected From Address", rb"Line 1:R<ann@example\.org>", b"",
               rb"1\.2\.3  Detected To Address", rb"Checking Rule File = .*\\EXAMPLE\.ORG\\ANN\.QUORVANT",
               rb"Checking: rule = BLACKLIST FROM @EXAMPLE\.COM  Data=JOE@EXAMPLE\.COM", BLACKLISTED]


def make_unreadable(path):
    os.chmod(path, 0)


# --- missing files and directories where files belong -------------------------

def missing_envelope(c):
    c.write(c.message, b"Subject: hello\r\n")
    c.run([c.message])
    return c.expect(0, [COULD_NOT_OPEN])


def missing_message_file(c):
    c.standard_message(rules=b"BLACKLIST SUBJECT CONTAINS HELLO\r\n")
    c.message.unlink()
    c.run([c.message])
    # The subject is then a single space, which the rule does not hit.
    return c.expect(0, [result_line(b" No Action.", subject=b" ")])


def envelope_is_directory(c):
    c.standard_message()
    c.envelope.unlink()
    c.envelope.mkdir()
    c.run([c.message])
    return c.expect(0, [COULD_NOT_OPEN])


def message_is_directory(c):
    c.standard_message()
    c.message.unlink()
    c.message.mkdir()
    c.run([c.message])
    return c.expect(100, [result_line(b" Blacklisted-User", subject=b" ")])


def rule_file_is_directory(c):
    c.standard_message(rules=None)
    c.user_rules().mkdir(parents=True)
    c.write(c.domain_rules(), b"BLACKLIST FROM @EXAMPLE.COM\r\n")
    c.run([c.message])
    return c.expect(100, [result_line(b" Blacklisted-Domain")])


def named_pipes_for_files(c):
    """A named pipe nobody writes to, where the envelope, the message or a rule
    file belongs, must not stop the run."""
    problems = []
    for name, target, code, line in (
            ("envelope", lambda: c.envelope, 0, COULD_NOT_OPEN),
            ("message", lambda: c.message, 100, result_line(b" Blacklisted-User", subject=b" ")),
            ("user rules", c.user_rules, 100, result_line(b" Blacklisted-Domain"))):
        c.standard_message()
        c.write(c.domain_rules(), b"BLACKLIST FROM @EXAMPLE.COM\r\n")
        target().unlink()
        os.mkfifo(target())
        for log in c.prog.glob("QEL*.LOG"):
            log.unlink()
        c.run([c.message], time_limit=5)
        problems += [f"{name}: {p}" for p in c.expect(code, [line])]
        target().unlink()
    return problems


def missing_redirect_target(c):
    c.standard_message(rules=b"NO DOMAIN\r\nREDIRECT @EXAMPLE.ORG " + c.host.path(c.base / "NONE.QUORVANT").encode()
                       + b"\r\n")
    c.write(c.domain_rules(), b"BLACKLIST FROM @EXAMPLE.COM\r\n")
    c.run(["HIGH", c.message])
    return c.expect(0, [rb"Checking Rule File = .*ANN\.QUORVANT", rb"found as domain", rb"matched domain",
                        rb"Checking Rule File = .*NONE\.QUORVANT", rb"Error opening file or file not found\.",
                        result_line(b" No Action.")])


# --- unreadable files ----------------------------------------------------------
# As root a mode of 000 does not stop reading, so these runs drop to the user
# nobody; a non-root run needs no help.

def unreadable_envelope(c):
    c.standard_message()
    make_unreadable(c.envelope)
    c.run([c.message], as_nobody=bounded.can_drop_privileges())
    return c.expect(0, [COULD_NOT_OPEN])


def unreadable_message_file(c):
    c.standard_message()
    make_unreadable(c.message)
    c.run([c.message], as_nobody=bounded.can_drop_privileges())
    return c.expect(100, [result_line(b" Blacklisted-User", subject=b" ")])


def unreadable_user_rules(c):
    c.standard_message(rules=b"WHITELIST FROM @EXAMPLE.COM\r\n")
    make_unreadable(c.user_rules())
    c.write(c.domain_rules(), b"BLACKLIST FROM @EXAMPLE.COM\r\n")
    c.run([c.message], as_nobody=bounded.can_drop_privileges())
    return c.expect(100, [result_line(b" Blacklisted-Domain")])


# --- an activity log that cannot be written --------------------------------------

def log_name_is_directory(c):
    c.standard_message()
    for name in log_names():
        (c.prog / name).mkdir(parents=True, exist_ok=True)
    c.run(["DEBUG", c.message])
    return c.expect(100, [])


def log_is_a_named_pipe(c):
    """A named pipe that nobody reads where the day's log belongs: the run must
    not wait for a reader. Its lines are lost like those of a log that cannot
    be opened; the verdict stands."""
    c.standard_message()
    for name in log_names():
        os.mkfifo(c.prog / name)
    c.run(["DEBUG", c.message], time_limit=5)
    return c.expect(100, [])


def log_directory_read_only(c):
    c.standard_message()
    c.run(["DEBUG", c.message], as_nobody=bounded.can_drop_privileges(), read_only=[c.prog])
    return c.expect(100, [])


def log_links_to_a_device(c):
    """The day's log is a link to a device (/dev/full): never written."""
    c.standard_message()
    for name in log_names():
        (c.prog / name).symlink_to("/dev/full")
    c.run(["DEBUG", c.message])
    return c.expect(100, [])


def log_on_a_nearly_full_disk(c):
    """The disk fills up in the middle of a line (on a file system of 64 KiB):
    that line may stay cut short, but the lines written once there is room
    again start on lines of their own, whole, and the earlier lines are
    untouched."""
    day = datetime.date.today()
    disk = c.small_disk(c.prog)
    c.standard_message()
    log = c.prog / log_names()[0]
    earlier = (b"x" * 98 + b"\r\n") * 40 + b"y" * 74 + b"\r\n"
    assert len(earlier) == 4096 - 20  # the log's page has room for 20 bytes
    log.write_bytes(earlier)
    disk.fill()
    c.run(["DEBUG", c.message])
    problems = [f"full disk: {p}" for p in c.expect_run(100)]
    disk.free()
    c.run(["DEBUG", c.message])
    if datetime.date.today() != day:
        raise e2e_lib.Skipped("the date changed during the case")
    problems += [f"room again: {p}" for p in c.expect_run(100)]
    data = log.read_bytes()
    if not data.startswith(earlier):
        return problems + ["the earlier lines changed"]
    lines = data[len(earlier):].split(b"\r\n")
    if lines[-1] != b"" or len(lines) < len(DEBUG_TRACE) + 1:
        return problems + [f"log after the earlier lines: {data[len(earlier):][:300]!r}"]
    trace, cut = lines[-len(DEBUG_TRACE) - 1:-1], lines[:-len(DEBUG_TRACE) - 1]
    if not all(re.fullmatch(p, l) for p, l in zip(DEBUG_TRACE, trace)):
        problems.append(f"the second run's trace is not whole: {trace[:3]}")
    # The first run's first line, cut where the disk was full, on a line of its own.
    if len(cut) > 1 or cut and not (cut[0] and trace[0].startswith(cut[0]) and cut[0] != trace[0]):
        problems.append(f"lines run together: {cut[:2]}")
    return problems


def standard_descriptors_closed(c):
    """Started with descriptors 0, 1 and 2 closed (a careless service): the
    files the run opens take other numbers, and the run is as any other."""
    c.standard_message()
    c.run(["DEBUG", c.message], closed_descriptors=(0, 1, 2))
    return c.expect(100, DEBUG_TRACE)


# --- huge, binary and looping inputs ---------------------------------------------

def rule_file_100mb_one_line(c):
    c.standard_message(rules=None)
    path = c.user_rules()
    path.parent.mkdir(parents=True)
    with open(path, "wb") as f:
        f.write(b"STRICT")
        chunk = b"x" * (1 << 20)
        for _ in range(100):
            f.write(chunk)
    c.run([c.message])
    # Read in pieces of 99: the first holds STRICT, the next 500 are invalid
    # entries, and nothing after the 501st piece is read.
    invalid = [rb"Invalid entry\. File: .*ANN\.QUORVANT Line: " + str(n).encode() + rb" Data: X{99}"
               for n in range(2, 502)]
    problems = c.expect(100, invalid + [BLACKLISTED])
    if c.outcome.seconds > 5:
        problems.append(f"took {c.outcome.seconds:.1f}s for 501 pieces")
    return problems


def redirect_to_itself(c):
    rules = c.user_rules()
    c.standard_message(rules=b"REDIRECT @EXAMPLE.ORG " + c.host.path(rules).encode() + b"\r\n")
    c.run(["LOW", c.message])
    problems = c.expect(0, [rb"found as domain|matched domain"] * len(c.log_lines()))
    if not c.log_lines():
        problems.append("no REDIRECT was followed")
    return problems


def redirect_loop_of_two(c):
    a = c.user_rules()
    b = c.base / "B.QUORVANT"
    c.standard_message(rules=b"REDIRECT ANN@ " + c.host.path(b).encode() + b"\r\n")
    c.write(b, b"# back again\r\nredirect @example.org " + c.host.path(a).encode() + b"\r\n")
    c.write(c.domain_rules(), b"BLACKLIST FROM @EXAMPLE.COM\r\n")
    c.run(["HIGH", c.message])
    # A loop gives no verdict of its own; however it is stopped, the cascade
    # then ends without a verdict (200) or goes on to the domain file (0).
    lines = c.log_lines()
    want = result_line(b" Blacklisted-Domain") if lines and lines[-1].endswith(b"-Domain") else NO_ACTION
    code = 100 if want != NO_ACTION else 0
    return c.expect(code, [rb".*"] * (len(lines) - 1) + [want])


def run_on_envelope(c, data):
    """Runs on a fresh log with the given envelope bytes; gives the problems."""
    c.write(c.envelope, data)
    c.write(c.message, b"Subject: hello\r\n")
    for log in c.prog.glob("QEL*.LOG"):
        log.unlink()
    c.run([c.message])
    return c.expect(0, [expected_line(data)])


def random_binary_envelope(c):
    rng = random.Random(5)
    problems = []
    for seed in range(3):
        data = rng.randbytes(64 * 1024)
        problems += [f"seed {seed}: {p}" for p in run_on_envelope(c, data)]
    return problems


def envelope_fragments(c):
    """Envelopes stitched from fragments that reach every path of the reading,
    checked against a small model of it."""
    fragments = [b"S<", b"R<", b"FROM: ", b"to: ", b"From:", b"@", b"\r\n", b"\n", b"\r", b"\0", b"\t",
                 b"joe", b"EXAMPLE.COM", b">", b" ", b"+", b"\xe9", b"A" * 120, b"\x1a",
                 b"\r\nS<joe@example.com>\r\n", b"\r\nR<ann@example.org>\r\n", b"\nTO: <@x.org>\n",
                 b"\r\nfrom: " + b"B" * 70 + b"@" + b"C" * 40 + b"\r\n", b"\nR<" + b"D" * 60 + b"@E.F\n",
                 b"..", b"\r\nR<joe@.>\r\n"]
    weights = [3, 3, 3, 3, 2, 8, 12, 4, 1, 1, 1, 5, 5, 2, 3, 1, 1, 1, 0.2, 2, 2, 1, 1, 1, 1, 0.5]
    rng = random.Random(11)
    problems = []
    for seed in range(60):
        data = b"".join(rng.choices(fragments, weights, k=rng.randint(1, 60)))
        problems += [f"envelope {data[:60]!r}: {p}" for p in run_on_envelope(c, data)]
    return problems


# The envelope reading, as a model: pieces of at most 99 characters in text
# mode, each upper-cased and cut at its first control character.
def envelope_pieces(data):
    data = data.split(b"\x1a")[0].replace(b"\r\n", b"\n")
    i = 0
    while i < len(data):
        end = data.find(b"\n", i, i + 99)
        end = i + 99 if end < 0 else end + 1
        yield data[i:end]
        i = end


def normalise(piece):
    piece = piece.split(b"\0")[0].upper()  # bytes.upper() folds a-z only
    return re.split(rb"[\x01-\x1f]", piece)[0]


def extract_address(line):
    a = line.rfind(b"@")
    if a < 0:
        return b"~BAD"
    start = a
    if a >= 2:
        start = 1
        for i in range(a - 1, 0, -1):
            if line[i] not in ADDRESS_CHARS:
                start = i + 1
                break
    end = a + 1
    while end < len(line) and line[end] in ADDRESS_CHARS:
        end += 1
    return line[start:end]


def expected_line(envelope):
    sender, recipient = b"", None
    for count, piece in enumerate(envelope_pieces(envelope), 1):
        if sender and recipient:
            break
        line = normalise(piece)
        if not sender and (line.startswith(b"S<") or line.startswith(b"FROM: ")):
            sender = extract_address(line)
            if sender == b"~BAD":
                return TIME_RE + rb" D1 Bad Mail From Address "
        if recipient is None and (line.startswith(b"R<") or line.startswith(b"TO: ")):
            address = extract_address(line)
            domain = address.partition(b"@")[2]
            # A domain of dots only would lead the rule files out of the program directory.
            if address == b"~BAD" or domain and not domain.strip(b"."):
                return TIME_RE + rb" D1 Bad Mail To Address "
            if not address.startswith(b"@"):
                recipient = address
        if count > 150:
            break
    if recipient is None:
        return TIME_RE + rb" D1 Mail To missing "
    line = b"hh:mm:ss D1 To: " + recipient + b" From: "
    if len(line) + len(sender) > 150:
        sender = sender[:150 - len(line)]
    return TIME_RE + re.escape(line[8:] + sender + b" Subject: HELLO No Action.")


def console_gone(c):
    """The banner into a console whose reader has gone: still exit code 0."""
    c.outcome = bounded.run(*c.host.command(c.argv0, []), c.base, closed_console=True)
    c.time_limit = TIME_LIMIT
    return c.expect(0, [])


# --- arguments longer than their buffers -------------------------------------------

def long_message_path(c):
    c.standard_message()
    problems = []
    for length in (100, 300, 100_000):
        name = "D" * (length - len(str(c.spool)) - 5) + ".SMD"
        c.run([c.spool / name])
        # Cut or refused: either way there is no envelope of that name.
        problems += [f"{length}: {p}" for p in c.expect(0, [COULD_NOT_OPEN][:len(c.log_lines())])]
        for log in c.prog.glob("QEL*.LOG"):
            log.unlink()
    return problems


def message_path_of_99(c):
    """The longest message path that fits is read in full."""
    name = "D" * (99 - len(str(c.spool)) - 5) + ".SMD"
    c.message = c.spool / name
    c.envelope = c.spool / ("_" + name[1:-3] + "~MD")
    c.standard_message()
    c.run([c.message])
    words = re.escape(b" To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HELLO Blacklisted-User")
    return c.expect(100, [TIME_RE + b" " + name[:-4].encode() + words])


def long_level_word(c):
    c.standard_message()
    c.run(["debug" + "X" * 100_000, c.message])
    lines = c.log_lines()
    problems = c.expect(100, [rb".*"] * (len(lines) - 1) + [BLACKLISTED])
    if not any(l.startswith(b"1.2.1  Message File Opened : ") for l in lines):
        problems.append("the level word was not read as DEBUG")
    return problems


def long_first_argument(c):
    c.standard_message()
    c.run(["x" * 100_000, c.message])
    return c.expect(0, [COULD_NOT_OPEN][:len(c.log_lines())])


def long_program_directory(c):
    """A program directory of 88 characters, its final backslash included,
    leaves just room for the day's log name and works in full; a longer one
    must not overrun anything: the run ends with exit code 0 or is cut."""
    problems = []
    for length in (88, 89, 120):
        prog = c.base / ("P" * (length - len(str(c.base)) - 2))
        assert len(str(prog)) + 1 == length
        c.prog = prog
        c.standard_message()
        c.run([c.message], argv0=prog / "QUORVANT")
        if length == 88:
            problems += c.expect(100, [BLACKLISTED])
        elif c.outcome.code != 0 or c.outcome.stdout or c.outcome.problems(TIME_LIMIT):
            problems.append(f"{length}: exit code {c.outcome.code}, console {c.outcome.stdout[:80]!r}")
    return problems


def long_lines_everywhere(c):
    """Envelope, Subject and rule lines far longer than a 99-character piece."""
    c.write(c.envelope, b"X" * 5000 + b"\r\nS<" + b"j" * 90 + b"@EXAMPLE.COM>\r\nR<ann@example.org>\r\n")
    c.write(c.message, b"Subject: " + b"s" * 5000 + b"\r\n")
    c.write(c.user_rules(), b"BLACKLIST FROM " + b"Q" * 500 + b"@EXAMPLE.COM\r\n")
    c.run([c.message])
    # The sender line's first piece ends in @EXAMPL; the Subject piece gives
    # 90 characters, cut to fit the 199-character line; the rule line's six
    # pieces are invalid entries of their own.
    invalid = rb"Invalid entry\. File: .*ANN\.QUORVANT Line: "
    return c.expect(0, [invalid + rb"1 Data: BLACKLIST FROM Q{84}"]
                    + [invalid + str(n).encode() + rb" Data: Q{99}" for n in range(2, 6)]
                    + [invalid + rb"6 Data: Q{20}@EXAMPLE\.COM",
                       TIME_RE + rb" D1 To: ANN@EXAMPLE\.ORG From: J{90}@EXAMPL Subject: S{54} No Action\."])


CASES = [
    missing_envelope, missing_message_file, envelope_is_directory, message_is_directory,
    rule_file_is_directory, named_pipes_for_files, missing_redirect_target,
    unreadable_envelope, unreadable_message_file, unreadable_user_rules,
    log_name_is_directory, log_is_a_named_pipe, log_directory_read_only, log_links_to_a_device,
    log_on_a_nearly_full_disk, standard_descriptors_closed,
    rule_file_100mb_one_line, redirect_to_itself, redirect_loop_of_two, console_gone,
    random_binary_envelope, envelope_fragments,
    long_message_path, message_path_of_99, long_level_word, long_first_argument,
    long_program_directory, long_lines_everywhere,
]


if __name__ == "__main__":
    sys.exit(e2e_lib.run_case_functions(__doc__, CASES, Case))
