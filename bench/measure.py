#!/usr/bin/env python3
"""Times VESKOL beside the plain readers of the same log and measures its peak
memory.

Usage: measure.py --exe VESKOL [--before-exe VESKOL] [--windows-exe VESKOL.EXE
                  [--windows-before-exe VESKOL.EXE] --launcher WINE] --runs N SMALL_LOG BIG_LOG
Runs in the current directory (VESKOL writes veskol.txt there). The programs
take turns run by run, so that all see the same machine; the page cache is
warmed first, so all read the log from memory. The goals: VESKOL at most
twice `cat log > /dev/null` and at most 1.5 times `wc -l`. The "before"
programs (an earlier build) run beside the others, for a comparison in one run.
"""
import argparse
import os
import resource
import statistics
import subprocess
import time


def warm(path):
    with open(path, "rb") as f:
        while f.read(1 << 24):
            pass


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(cmd, env=None):
    """Wall-clock and processor time (user and system): on a machine shared
    with other work the processor time is the steadier of the two."""
    cpu, start = children_cpu(), time.perf_counter()
    subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env, check=True)
    return time.perf_counter() - start, children_cpu() - cpu


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
    ap.add_argument("--before-exe", help="an earlier build's VESKOL, run beside")
    ap.add_argument("--windows-exe", help="VESKOL.EXE, run through --launcher")
    ap.add_argument("--windows-before-exe", help="an earlier build's VESKOL.EXE, run beside")
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
    if a.before_exe:
        contenders["VESKOL before"] = ([a.before_exe, a.big], None)
    if a.windows_exe:
        contenders["VESKOL.EXE (Wine)"] = ([a.launcher, a.windows_exe, a.big], None)
        if a.windows_before_exe:
            contenders["VESKOL.EXE before"] = ([a.launcher, a.windows_before_exe, a.big], None)
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
    wall = {name: statistics.median(t for t, _ in runs) for name, runs in times.items()}
    cpu = {name: statistics.median(c for _, c in runs) for name, runs in times.items()}
    for name in contenders:
        print(f"  {name:22s} median {wall[name]:7.3f} s  ({size_mb / wall[name]:6.0f} MB/s), "
              f"processor {cpu[name]:7.3f} s  runs: " + " ".join(f"{t:.3f}" for t, _ in times[name]))
    print("  ratios: wall-clock medians, then processor-time medians")
    for name in ("VESKOL", "VESKOL before"):
        if name in wall:
            for peer, goal in (("cat log > /dev/null", 2), ("wc -l", 1.5)):
                print(f"  {name} / {peer:19s} = {wall[name] / wall[peer]:5.2f}  {cpu[name] / cpu[peer]:5.2f}"
                      f"   (goal: at most {goal})")
    for name in ("wc -w", "LC_ALL=C wc -w"):
        print(f"  VESKOL is {wall[name] / wall['VESKOL']:.1f} times faster than {name}")
    if a.windows_exe:
        for name in ("VESKOL.EXE (Wine)", "VESKOL.EXE before"):
            if name in wall:
                scan = wall[name] - wall["VESKOL.EXE start-up"]
                print(f"  {name}: less Wine's start-up {scan:.3f} s; that / VESKOL = {scan / wall['VESKOL']:.2f}, "
                      f"/ cat = {scan / wall['cat log > /dev/null']:.2f}, / wc -l = {scan / wall['wc -l']:.2f}")
    for log in (a.small, a.big):
        for name, exe in (("VESKOL", a.exe), ("VESKOL before", a.before_exe)):
            if exe:
                print(f"  {name} peak resident memory on {os.path.getsize(log) / 1e6:.0f} MB: "
                      f"{peak_rss_kb([exe, log])} KB")


if __name__ == "__main__":
    main()
