"""Runs a built program the way its callers do, natively or under a launcher.

The end-to-end case tables use one Host object, so the same table runs the
POSIX build (paths passed in POSIX form; the program turns "/" into "\\") and
the Windows build under a launcher such as Wine (paths in Windows form on the
Z: drive). Command-line options shared by every driver:

  --exe PATH        the program to run
  --launcher CMD    a launcher prefix, e.g. "wine" (empty: run natively)
  --windows         pass paths in Windows form (Z:\\...) and name the
                    program NAME.EXE inside a program directory
"""
import argparse
import errno
import os
import shlex
import shutil
import subprocess
import tempfile
from pathlib import Path


def parse_args(description):
    ap = argparse.ArgumentParser(description=description)
    ap.add_argument("--exe", required=True)
    ap.add_argument("--launcher", default="")
    ap.add_argument("--windows", action="store_true")
    ap.add_argument("-k", dest="only", default="", help="run only cases whose name contains this")
    return ap.parse_args()


class Host:
    def __init__(self, exe, launcher="", windows=False, timeout=60):
        self.exe = Path(exe).resolve()
        self.launcher = shlex.split(launcher)
        self.windows = windows
        self.timeout = timeout
        # Wine's own diagnostics would only slow every run down.
        self.env = dict(os.environ)
        if self.launcher:
            self.env.setdefault("WINEDEBUG", "-all")

    def path(self, p):
        """A path text as the program's caller would write it."""
        p = str(p)
        if self.windows and p.startswith("/"):
            return "Z:" + p.replace("/", "\\")
        return p

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
        proc = subprocess.run(cmd, executable=executable, cwd=cwd, stdin=stdin, capture_output=True,
                              timeout=self.timeout, env=self.env)
        return proc.returncode, proc.stdout

    def start(self, argv0, args, cwd, stdout=subprocess.DEVNULL):
        """Like run(), but gives the started process without waiting for it."""
        cmd, executable = self.command(argv0, args)
        return subprocess.Popen(cmd, executable=executable, cwd=cwd, stdin=subprocess.DEVNULL, stdout=stdout,
                                stderr=subprocess.DEVNULL, env=self.env)

    def run_command_line(self, command_line, cwd):
        """Windows only: starts the program from a command line taken exactly as
        written, first word included (through the command interpreter, which
        hands its command line on unchanged); gives (exit code, stdout bytes)."""
        assert self.windows and self.launcher
        proc = subprocess.run(self.launcher + ["cmd", "/c", command_line], cwd=cwd, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=self.timeout, env=self.env)
        return proc.returncode, proc.stdout


def scratch_dir(prefix):
    return Path(tempfile.mkdtemp(prefix=prefix))


class Skipped(Exception):
    """Raised by a case that cannot run on this machine; the reason is printed."""


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

    def check(self, name, problems):
        if problems:
            self.failed.append(name)
            print(f"FAIL {name}")
            for p in problems:
                print(f"     {p}")
        else:
            self.passed += 1
            print(f"ok   {name}")

    def skip(self, name, reason):
        print(f"SKIPPED {name}: {reason}")

    def finish(self):
        print(f"{self.passed} passed, {len(self.failed)} failed")
        return 0 if not self.failed and self.passed else 1


def run_case_functions(description, cases, make_case):
    """Runs each case function on a fresh make_case(host), cleaning up after it."""
    args = parse_args(description)
    host = Host(args.exe, args.launcher, args.windows)
    results = Results()
    for case in cases:
        if args.only and args.only not in case.__name__:
            continue
        c = make_case(host)
        try:
            results.check(case.__name__, case(c))
        except Skipped as e:
            results.skip(case.__name__, e)
        except Exception as e:  # a broken case must not hide the others
            results.check(case.__name__, [f"{type(e).__name__}: {e}"])
        finally:
            c.cleanup()
    return results.finish()


def diff_bytes(label, got, want):
    """A short description of the first difference, or None."""
    if got == want:
        return None
    i = next((k for k in range(min(len(got), len(want))) if got[k] != want[k]), min(len(got), len(want)))
    return f"{label} differs at byte {i}: got {got[max(0, i - 20):i + 40]!r}, want {want[max(0, i - 20):i + 40]!r}"


