"""Runs a program under time and memory bounds, optionally as the user nobody.

Used by the fault cases: a run that hangs is killed at its time limit, one that
grabs memory fails its allocation at the address-space limit, and the peak
resident size of every run is measured, so a program that reads a huge file
into memory is caught even where no limit can be set (sanitizer builds, whose
shadow memory needs terabytes of address space; SANITIZED=1 marks them).
"""
import os
import resource
import shutil
import subprocess
import tempfile
import time

NOBODY = 65534
SANITIZED = os.environ.get("SANITIZED") == "1"
# Peak resident size a run may reach, in KiB.
RSS_LIMIT_KB = 600 * 1024 if SANITIZED else 64 * 1024
ADDRESS_SPACE_LIMIT = None if SANITIZED else 512 * 1024 * 1024


def can_drop_privileges():
    return os.geteuid() == 0


class Outcome:
    def __init__(self, code, stdout, seconds, max_rss_kb, timed_out):
        self.code = code
        self.stdout = stdout
        self.seconds = seconds
        self.max_rss_kb = max_rss_kb
        self.timed_out = timed_out

    def problems(self, time_limit, code=None):
        """Complaints about the bounds and, when code is given, about an exit
        code other than it; the caller checks the rest of the results."""
        out = []
        if self.timed_out:
            out.append(f"did not end within {time_limit}s")
        elif self.code < 0:
            out.append(f"killed by signal {-self.code}")
        elif code is not None and self.code != code:
            out.append(f"exit code {self.code}, want {code}")
        if self.max_rss_kb > RSS_LIMIT_KB:
            out.append(f"peak memory {self.max_rss_kb} KiB exceeds {RSS_LIMIT_KB} KiB")
        return out


def open_up(base, as_nobody, read_only=()):
    """Before a run as nobody, every directory below base is opened up, so that
    only the file under test is out of reach; read_only directories are closed
    for writing."""
    if as_nobody:
        for root, dirs, _ in os.walk(base):
            for d in dirs:
                os.chmod(os.path.join(root, d), 0o777)
    for d in read_only:
        os.chmod(d, 0o555)


def run(cmd, executable, cwd, time_limit=30, as_nobody=False, closed_console=False, closed_descriptors=()):
    """Runs cmd (cmd[0] is the first command-line word, executable the file to
    start) and gives an Outcome. Standard output goes through a file, so a
    chatty program never blocks on a pipe; with closed_console it goes into a
    pipe whose reader is already gone; closed_descriptors (of 0, 1 and 2) are
    not open at all when the program starts. As nobody the program runs from a
    copy that nobody can reach, wherever the build directory lies."""
    if as_nobody and executable:
        copy_dir = tempfile.mkdtemp(prefix="bounded-")
        try:
            os.chmod(copy_dir, 0o755)
            copy = shutil.copy(executable, copy_dir)
            return _run(cmd, copy, cwd, time_limit, as_nobody, closed_console, closed_descriptors)
        finally:
            shutil.rmtree(copy_dir, ignore_errors=True)
    return _run(cmd, executable, cwd, time_limit, as_nobody, closed_console, closed_descriptors)


def _run(cmd, executable, cwd, time_limit, as_nobody, closed_console, closed_descriptors):
    def limits():  # in the child, before the program starts
        if ADDRESS_SPACE_LIMIT:
            resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE_LIMIT, ADDRESS_SPACE_LIMIT))
        resource.setrlimit(resource.RLIMIT_CPU, (time_limit + 5, time_limit + 5))
        # The programs write a log line or a small report, never gigabytes.
        resource.setrlimit(resource.RLIMIT_FSIZE, (64 << 20, 64 << 20))
        if as_nobody:
            os.setgroups([])
            os.setgid(NOBODY)
            os.setuid(NOBODY)
        for fd in closed_descriptors:
            os.close(fd)

    with tempfile.TemporaryFile() as out:
        if closed_console:
            reader, console = os.pipe()
            os.close(reader)
        start = time.monotonic()
        proc = subprocess.Popen(cmd, executable=executable, cwd=cwd, stdin=subprocess.DEVNULL,
                                stdout=console if closed_console else out, stderr=subprocess.DEVNULL,
                                preexec_fn=limits)
        if closed_console:
            os.close(console)
        timed_out = False
        while True:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() - start > time_limit:
                proc.kill()
                timed_out = True
                pid, status, usage = os.wait4(proc.pid, 0)
                break
            time.sleep(0.01)
        seconds = time.monotonic() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        return Outcome(proc.returncode, out.read(), seconds, usage.ru_maxrss, timed_out)
