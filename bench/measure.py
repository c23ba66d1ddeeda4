#!/usr/bin/env python3
"""Times VESKOL beside the plain readers of the same log and measures its peak
memory.

Usage: measure.py --exe VESKOL [--windows-exe VESKOL.EXE --launcher WINE]
                  --runs N SMALL_LOG BIG_LOG
Runs in the current directory (VESKOL writes veskol.txt there). The programs
take turns run by run, so that all see the same machine; the page cache is
warmed first, so all read the log from memory. The goals: VESKOL at most
twice `cat log > /dev/null` and at most 1.5 times `wc -l`.
"""
import argparse
import os
import statistics
import subprocess
import time


def warm(path):
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def timed(cmd, env=None):
    start = time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, check=True)
    return time.perf_counter() - start


def peak_rss_kb(cmd):
    """Through GNU time: a fork of this Python would count its own size."""
    proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=subprocess.DEVNULL,
                          stderr=subprocess.PIPE, check=True)
    return int(proc.stderr.split()[-1])  # kilobytes


def load():
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--windows-exe", help="VESKOL.EXE, run through --launcher")
    ap.add_argument("--launcher", help="e.g. wine")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("small")
    ap.add_argument("big")
    a = ap.parse_args()

    warm(a.big)
    c_env = dict(os.environ, LC_ALL="C")
    contenders = {
        "VESKOL": ([a.exe, a.big], None),
        "cat log > /dev/null": (["cat", a.big], None),
        "wc -l": (["wc", "-l", a.big], None),
        "wc -w": (["wc", "-w", a.big], None),
        "LC_ALL=C wc -w": (["wc", "-w", a.big], c_env),
    }
    if a.windows_exe:
        contenders["VESKOL.EXE (Wine)"] = ([a.launcher, a.windows_exe, a.big], None)
        contenders["VESKOL.EXE start-up"] = ([a.launcher, a.windows_exe], None)
        timed(contenders["VESKOL.EXE start-up"][0])  # Wine's first start is slower
    load_before = load()
    times = {name: [] for name in contenders}
    for _ in range(a.runs):
        for name, (cmd, env) in contenders.items():
            times[name].append(timed(cmd, env))
    size_mb = os.path.getsize(a.big) / 1e6
    print(f"log: {a.big}, {size_mb:.0f} MB, {a.runs} runs each, locale "
          f"{os.environ.get('LC_ALL') or os.environ.get('LANG', '')}, load average {load_before} before, "
          f"{load()} after")
    medians = {name: statistics.median(t) for name, t in times.items()}
    for name, m in medians.items():
        print(f"  {name:22s} median {m:7.3f} s  ({size_mb / m:6.0f} MB/s)  runs: " +
              " ".join(f"{t:.3f}" for t in times[name]))
    v = medians["VESKOL"]
    print(f"  VESKOL / cat   = {v / medians['cat log > /dev/null']:.2f}   (goal: at most 2)")
    print(f"  VESKOL / wc -l = {v / medians['wc -l']:.2f}   (goal: at most 1.5)")
    for name in ("wc -w", "LC_ALL=C wc -w"):
        print(f"  VESKOL is {medians[name] / v:.1f} times faster than {name}")
    if a.windows_exe:
        scan = medians["VESKOL.EXE (Wine)"] - medians["VESKOL.EXE start-up"]
        print(f"  VESKOL.EXE under Wine / VESKOL = {medians['VESKOL.EXE (Wine)'] / v:.2f}; "
              f"less Wine's start-up: {scan / v:.2f}")
    for log in (a.small, a.big):
        print(f"  VESKOL peak resident memory on {os.path.getsize(log) / 1e6:.0f} MB: "
              f"{peak_rss_kb([a.exe, log])} KB")


if __name__ == "__main__":
    main()
