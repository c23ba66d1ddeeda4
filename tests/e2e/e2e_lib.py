"""The end-to-end drivers' shared case runner, and a Host that runs a built
program the way its callers do, natively or under a launcher.

Every driver takes these options, and may add its own:

  --exe PATH        the program to run
  --launcher CMD    a launcher prefix, e.g. "wine" (empty: run natively)
  --windows         pass paths in Windows form (Z:\\...) and name the
                    program NAME.EXE inside a program directory
  -k NAME           run only the cases whose name contains NAME

The same case table runs the POSIX build (paths passed in POSIX form; the
program turns "/" into "\\") and the Windows build under a launcher such as
Wine (paths in Windows form on the Z: drive).

Each case prints "ok   NAME", or "FAIL NAME" and its problems, or "SKIPPED
NAME: why" when it cannot run on this machine; the last line is "N passed,
N failed", which CTest and scripts/test-windows.sh read. A skipped case is
counted as neither; a skip that CI must not allow names its REQUIRE_*
variable, which set to 1 makes it a failure. When every case that was
chosen is skipped, the driver ends with SKIPPED_ALL (CTest's
SKIP_RETURN_CODE); when no case at all ran, or one failed, with 1.
"""
import argparse
import datetime
import errno
import os
import re
import shlex
import shutil
import subprocess
import tempfile
from pathlib import Path

SKIPPED_ALL = 77

# Now and then (about one start in a few thousand) Wine fails to start a
# process: the shared user data, which every process maps at one fixed
# address, finds that address taken. The process then ends with exit code 1
# before its first instruction, and Wine says why only on the error channel
# of its virtual memory code, which launcher_env() keeps open while the rest
# of Wine's diagnostics stay off (they would only slow every run down). When
# the launcher starts the program itself, that message and exit code 1 show
# that the program never ran, and the run is started once more. A run
# through "cmd /c" is left as it ends: the interpreter reacts to a program
# that failed to start in ways of its own, which may even start it.
WINE_DID_NOT_START = re.compile(rb"wine: failed to map the shared user data: [0-9a-f]+")


def launcher_env():
    env = dict(os.environ)
    env["WINEDEBUG"] = env.get("WINEDEBUG", "-all") + ",err+virtual"
    return env


def wine_did_not_start(code, stderr):
    """Wine's own message when it failed to start the program, else None."""
    found = WINE_DID_NOT_START.search(stderr or b"") if code == 1 else None
    return found.group().decode() if found else None


def run_launched(cmd, **kwargs):
    """subprocess.run (capturing stderr) of a program that the launcher
    starts itself; a run that Wine failed to start is started once more, and
    the output says so."""
    proc = subprocess.run(cmd, **kwargs)
    if said_again(cmd, wine_did_not_start(proc.returncode, proc.stderr)):
        proc = subprocess.run(cmd, **kwargs)
    return proc


def said_again(cmd, failure):
    if failure:
        print(f"note: Wine did not start {subprocess.list2cmdline(cmd)[:160]} ({failure}); starting it again")
    return failure


class Host:
    def __init__(self, exe, launcher="", windows=False, timeout=60):
        self.exe = Path(exe).resolve()
        self.launcher = shlex.split(launcher)
        self.windows = windows
        self.timeout = timeout
        self.env = launcher_env() if self.launcher else dict(os.environ)

    def path(self, p):
        """A path text as the program's caller would write it."""
        p = str(p)
        if self.windows and p.startswith("/"):
            return "Z:" + p.replace("/", "\\")
        return p

    def text(self, p):
        """A path as the program holds it: the caller's form, "\\" separated
        (on POSIX the program turns every "/" into "\\" itself)."""
        return self.path(p).replace("/", "\\")

    def dir_text(self, p):
        """A directory as the program joins names to it: text() and a "\\"."""
        return self.text(p) + "\\"

    def install(self, program_dir, name):
        """Puts the program into program_dir under name and gives the path to start it by."""
        program_dir = Path(program_dir)
        program_dir.mkdir(parents=True, exist_ok=True)
        if self.windows:
            target = program_dir / (name + ".EXE")
            if not target.exists():
                shutil.copy2(self.exe, target)
            return target
        return program_dir / name

    def command(self, argv0, args):
        """The command and the executable to hand to subprocess for run()."""
        if self.launcher and os.sep not in str(argv0):
            # A bare name: Windows finds the program in the current directory,
            # and the command line keeps the name as written.
            return self.launcher + ["cmd", "/c", subprocess.list2cmdline([str(argv0)] + list(args))], None
        if self.launcher:
            # Wine passes the program the full Windows path of the file it
            # starts as its first command-line word, whatever the form given.
            return self.launcher + [self.path(argv0)] + list(args), None
        return [str(argv0)] + list(args), str(self.exe)

    def run(self, argv0, args, cwd, stdin=subprocess.DEVNULL):
        """Runs with the chosen first command-line word; gives (exit code, stdout bytes).

        Natively argv0 can be any text and the built program is started under
        it. Under a launcher argv0 is either a path to an installed copy
        (install()), given as a POSIX path and passed in the caller's form, or
        the bare name of a copy installed in the current directory.
        """
        cmd, executable = self.command(argv0, args)
        run = run_launched if os.sep in str(argv0) else subprocess.run
        proc = run(cmd, executable=executable, cwd=cwd, stdin=stdin, capture_output=True, timeout=self.timeout,
                   env=self.env)
        return proc.returncode, proc.stdout

    def start(self, argv0, args, cwd, env=None):
        """Like run(), but gives the started process without waiting for it:
        wait() gives its exit code."""
        cmd, executable = self.command(argv0, args)
        how = dict(executable=executable, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   env=env or self.env)
        assert os.sep in str(argv0)  # started by the launcher itself
        proc = subprocess.Popen(cmd, stderr=subprocess.PIPE if self.launcher else subprocess.DEVNULL, **how)
        proc.again = lambda: subprocess.run(cmd, stderr=subprocess.DEVNULL, timeout=self.timeout, **how).returncode
        return proc

    def wait(self, proc, timeout):
        """The exit code of a start()ed run; one that Wine failed to start is
        run once more (alone), and the output says so."""
        code = proc.wait(timeout)
        stderr = proc.stderr.read() if proc.stderr else b""
        if proc.stderr:
            proc.stderr.close()
        return proc.again() if said_again(proc.args, wine_did_not_start(code, stderr)) else code

    def run_command_line(self, command_line, cwd):
        """Windows only: starts the program from a command line taken exactly as
        written, first word included (through the command interpreter, which
        hands its command line on unchanged); gives (exit code, stdout bytes)."""
        assert self.windows and self.launcher
        proc = subprocess.run(self.launcher + ["cmd", "/c", command_line], cwd=cwd, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=self.timeout, env=self.env)
        return proc.returncode, proc.stdout


def native_path(text, cwd):
    """What QVADMIN prints on POSIX for a path text (of the Windows form, or
    a Windows path on Wine's Z: drive): "/" between the names, each name as
    its directory holds it (letter case ignored, trailing dots and spaces
    dropped), no doubled "/"."""
    if re.match(r"[Zz]:", text):
        text = text[2:]
    names = text.replace("\\", "/").split("/")
    done = []
    for i, name in enumerate(names):
        last = i == len(names) - 1
        name = name.rstrip(". ") if last and name not in (".", "..") else name
        here = Path("/" if text.startswith(("\\", "/")) else cwd).joinpath(*done)
        if name not in ("", ".", "..") and not (here / name).exists() and here.is_dir():
            name = min((e.name for e in here.iterdir() if e.name.upper() == name.upper()), default=name)
        done.append(name)
    return re.sub("/+", "/", "/".join(done))


def scratch_dir(prefix):
    return Path(tempfile.mkdtemp(prefix=prefix))


class Skipped(Exception):
    """Raised by a case that cannot run on this machine; the reason is printed.
    required_by names the variable (REQUIRE_BROWSER, ...) that, set to 1,
    turns this skip into a failure."""

    def __init__(self, reason, required_by=None):
        super().__init__(reason)
        self.required_by = required_by


class SmallDisk:
    """A file system of a few KiB (tmpfs) mounted on a directory, for the cases
    that fill a disk. Mounting needs root, as CI has: without it the case is
    skipped with the reason; as root a failed mount is a failed case."""

    def __init__(self, path, kib=64):
        if os.geteuid() != 0:
            raise Skipped("mounting a small file system needs root")
        self.path = Path(path)
        self.path.mkdir(parents=True, exist_ok=True)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={kib}k,mode=755", "tmpfs", str(self.path)],
                              capture_output=True, text=True)
        if done.returncode:
            raise RuntimeError(f"cannot mount a tmpfs on {self.path}: {done.stderr.strip()}")
        self.filler = self.path / "FILLER"

    def fill(self):
        """Takes every free block (tmpfs counts whole pages of 4 KiB)."""
        fd = os.open(self.filler, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
        try:
            while os.write(fd, b"\0" * 4096) == 4096:
                pass
        except OSError as e:
            if e.errno != errno.ENOSPC:
                raise
        finally:
            os.close(fd)

    def free(self):
        self.filler.unlink(missing_ok=True)

    def unmount(self):
        subprocess.run(["umount", "-l", str(self.path)], capture_output=True)


class Results:
    """Collects case outcomes and prints the closing line that CTest and CI read."""

    def __init__(self):
        self.passed = 0
        self.failed = []
        self.skipped = []

    def check(self, name, problems):
        if problems:
            self.failed.append(name)
            print(f"FAIL {name}")
            for p in problems:
                print(f"     {p}")
        else:
            self.passed += 1
            print(f"ok   {name}")

    def skip(self, name, reason, required_by=None):
        if required_by and os.environ.get(required_by) == "1":
            self.check(name, [f"{reason}; {required_by}=1 requires this case"])
            return
        self.skipped.append(name)
        print(f"SKIPPED {name}: {reason}")

    def finish(self):
        if self.skipped:
            print(f"{len(self.skipped)} skipped")
        print(f"{self.passed} passed, {len(self.failed)} failed")
        if self.failed:
            return 1
        return 0 if self.passed else SKIPPED_ALL if self.skipped else 1


class Suite:
    """One run of a driver: its command line (args, with the driver's own
    options: {flag: add_argument's keywords}), the host of the program under
    test (host; None for a driver without --exe) and the results."""

    def __init__(self, description, options=None, exe_required=True):
        self.parser = argparse.ArgumentParser(description=description,
                                              formatter_class=argparse.RawDescriptionHelpFormatter)
        self.parser.add_argument("--exe", required=exe_required, default="", help="the program under test")
        self.parser.add_argument("--launcher", default="", help='a launcher prefix, e.g. "wine"')
        self.parser.add_argument("--windows", action="store_true", help="pass paths in Windows form")
        self.parser.add_argument("-k", dest="only", default="", help="run only cases whose name contains this")
        for flag, how in (options or {}).items():
            self.parser.add_argument(flag, **how)
        self.args = self.parser.parse_args()
        self.host = self.host_of(self.args.exe) if self.args.exe else None
        self.results = Results()
        self.case_name = ""

    def host_of(self, exe, timeout=60):
        """A Host for another program of the same build, started alike."""
        return Host(exe, self.args.launcher, self.args.windows, timeout)

    def run(self, cases, make_case=None):
        """Runs each case on a fresh make_case(self) (a Scratch by default) and
        cleans up after it. A case is a function, named by its own name, or a
        (name, function) pair; it gives a list of problems (empty: passed),
        raises Skipped when it cannot run here, and any other exception fails
        it alone."""
        for case in cases:
            name, function = case if isinstance(case, tuple) else (case.__name__, case)
            if self.args.only not in name:
                continue
            self.case_name = name
            fixture = None
            try:
                fixture = (make_case or Scratch)(self)
                self.results.check(name, function(fixture))
            except Skipped as e:
                self.results.skip(name, e, e.required_by)
            except Exception as e:  # a broken case must not hide the others
                self.results.check(name, [f"{type(e).__name__}: {e}"])
            finally:
                if fixture is not None:
                    fixture.cleanup()
        return self.results.finish()


def run_case_functions(description, cases, make_case=None, options=None, exe_required=True):
    """A driver's whole main: parses the command line and runs the cases;
    cases may be a function of the Suite that gives them (cases that depend
    on the options or the host). Gives the exit code."""
    suite = Suite(description, options, exe_required)
    return suite.run(cases(suite) if callable(cases) else cases, make_case)


class Scratch:
    """The fixture of a case: the suite's host and options, and a scratch
    directory (open to the runs as nobody) that is removed afterwards, with
    any small disk mounted below it."""
    prefix = "e2e-"

    def __init__(self, suite):
        self.suite = suite
        self.host = suite.host
        self.args = suite.args
        self.dir = scratch_dir(self.prefix)
        os.chmod(self.dir, 0o755)
        self.disks = []

    def write(self, path, data):
        """Writes the bytes to path (relative to the scratch directory, or
        absolute), making its directory; gives the path."""
        path = self.dir / path
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        return path

    def small_disk(self, path, kib=64):
        disk = SmallDisk(path, kib)
        self.disks.append(disk)
        return disk

    def cleanup(self):
        for disk in self.disks:
            disk.unmount()
        for root, dirs, _ in os.walk(self.dir):
            for d in dirs:
                os.chmod(Path(root) / d, 0o755)
        shutil.rmtree(self.dir, ignore_errors=True)


def diff_bytes(label, got, want):
    """A short description of the first difference, or None."""
    if got == want:
        return None
    i = next((k for k in range(min(len(got), len(want))) if got[k] != want[k]), min(len(got), len(want)))
    return f"{label} differs at byte {i}: got {got[max(0, i - 20):i + 40]!r}, want {want[max(0, i - 20):i + 40]!r}"


def crlf(text):
    """A text with "\n" line ends as the programs write it: CR LF, Latin-1 bytes."""
    return text.replace("\n", "\r\n").encode("latin-1")


def veskol_report(log_text, rows=(), messages=0, recipients=0):
    """The text of VESKOL's report ("\n" line ends); rows are (name, message
    fails, recipient fails) in report order, and a share of a total of 0 is 0."""
    def share(count, total):
        return count * 100 // total if total else 0
    text = f"{log_text}\n\n\n{' ' * 25}\t  Message \t Recipient\n{'Test Name':>25}\tFail Count %\tFail Count %\n"
    for name, m, r in rows:
        text += f"\n{name:>25}\t{m:7d}   {share(m, messages):2d}\t{r:7d}   {share(r, recipients):2d}"
    return text + f"\n\n{'Message Count':>25}\t{messages:7d}     \t{recipients:7d}\n"


def log_names():
    """Today's and tomorrow's activity log names, in case a run crosses midnight."""
    return [f"QEL{d.month:02d}{d.day:02d}.LOG"
            for d in (datetime.date.today(), datetime.date.today() + datetime.timedelta(days=1))]


def mask_times(data):
    """A log's bytes with the time stamp that begins a line as HH:MM:SS."""
    return re.sub(rb"(?m)^\d\d:\d\d:\d\d ", b"HH:MM:SS ", data)
