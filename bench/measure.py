#!/usr/bin/env python3
"""Times VESKOL and `wc -w` on the same log and measures VESKOL's peak memory.

Usage: measure.py --exe VESKOL --runs N SMALL_LOG BIG_LOG
Runs in the current directory (VESKOL writes veskol.txt there). The two
programs take turns, so that both see the same machine; the page cache is
warmed first, so both read the log from memory.
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


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("small")
    ap.add_argument("big")
    a = ap.parse_args()

    warm(a.big)
    c_env = dict(os.environ, LC_ALL="C")
    contenders = {
        "VESKOL": ([a.exe, a.big], None),
        "wc -w": (["wc", "-w", a.big], None),
        "LC_ALL=C wc -w": (["wc", "-w", a.big], c_env),
    }
    times = {name: [] for name in contenders}
    for _ in range(a.runs):
        for name, (cmd, env) in contenders.items():
            times[name].append(timed(cmd, env))
    size_mb = os.path.getsize(a.big) / 1e6
    print(f"log: {a.big}, {size_mb:.0f} MB, {a.runs} runs each, locale {os.environ.get('LC_ALL') or os.environ.get('LANG', '')}")
    medians = {name: statistics.median(t) for name, t in times.items()}
    for name, m in medians.items():
        print(f"  {name:16s} median {m:7.3f} s  ({size_mb / m:6.0f} MB/s)  runs: " +
              " ".join(f"{t:.3f}" for t in times[name]))
    for name in ("wc -w", "LC_ALL=C wc -w"):
        print(f"  VESKOL is {medians[name] / medians['VESKOL']:.1f} times faster than {name}")
    for log in (a.small, a.big):
        print(f"  VESKOL peak resident memory on {os.path.getsize(log) / 1e6:.0f} MB: "
              f"{peak_rss_kb([a.exe, log])} KB")


if __name__ == "__main__":
    main()
