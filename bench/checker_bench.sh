#!/usr/bin/env bash
# Times the checker on one message whose cascade reads three rule files of
# 501 lines that all miss (user, domain and program file), against /bin/true,
# at the log levels LOW, MID and HIGH. Prints the medians and their ratio.
# Usage: bench/checker_bench.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(cd "${1:?usage: checker_bench.sh BUILD_DIR [RUNS]}" && pwd)
runs=${2:-400}

scratch=$(mktemp -d /tmp/quorvant-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/prog/EXAMPLE.ORG" "$scratch/spool"
cp "$build/checker/QUORVANT" "$scratch/prog/QUORVANT"

# Three files of 501 lines, none of which hits the message below.
"$(dirname "$0")/make_rule_tree.sh" "$scratch/prog"
printf 'Received: from mx\r\nSubject: An ordinary message\r\n\r\nbody\r\n' >"$scratch/spool/D5F1A.SMD"
printf 'S<joe@example.com>\r\nR<ann@example.org>\r\n' >"$scratch/spool/_5F1A.~MD"

python3 - "$scratch" "$runs" <<'PY'
import os, statistics, sys, time
scratch, runs = sys.argv[1], int(sys.argv[2])
program = os.path.join(scratch, "prog", "QUORVANT")
message = os.path.join(scratch, "spool", "D5F1A.SMD")

def once(argv):
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    return elapsed, os.waitstatus_to_exitcode(status)

print(f"{runs} runs each, interleaved; times are medians per message")
print(f"{'level':6} {'QUORVANT':>12} {'/bin/true':>12} {'ratio':>7}")
for word in ("LOW", "MID", "HIGH"):
    checker, true = [], []
    for _ in range(20):  # warm the caches
        once([program, word, message]); once(["/bin/true"])
    for _ in range(runs):
        t, code = once([program, word, message])
        assert code == 0, f"unexpected verdict {code}"
        checker.append(t)
        true.append(once(["/bin/true"])[0])
    c, t = statistics.median(checker), statistics.median(true)
    print(f"{word:6} {c * 1e6:10.0f}us {t * 1e6:10.0f}us {c / t:7.2f}")
PY
log=$(ls "$scratch"/prog/QEL*.LOG 2>/dev/null | head -n 1 || true)
[ -n "$log" ] && echo "log lines written: $(wc -l <"$log")"
