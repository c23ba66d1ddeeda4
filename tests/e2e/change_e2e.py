#!/usr/bin/env python3
"""End-to-end cases of QVADMIN's rule changes (add, remove, promote,
rollback), held to oracles:

- add then remove gives every rule file its bytes back, on generated trees;
- promote then rollback gives back the live tree byte for byte (a hash of
  every file), and in between the live tree is the candidate's;
- a promote killed (SIGKILL) at a random moment leaves every rule file wholly
  old or wholly new, and rollback then gives back the original tree;
- while promotes and rollbacks alternate between two trees, every checker
  run logs the result line of the old tree or of the new one for its message
  (as explain gives them on copies of both), and none meets a missing file;
- under Wine, a file another process holds open without sharing its
  deletion is retried, then refused with the file intact (--lock-holder).

  change_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT
  change_e2e.py --exe QVADMIN.EXE --checker QUORVANT.EXE --launcher wine --windows --kills 10 --race-ops 10 \\
                --race-runs 100 --lock-holder LOCKHOLD.EXE
"""
import hashlib
import random
import re
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import Scratch, Skipped, run_case_functions  # noqa: E402
import mail_gen  # noqa: E402


class Case(Scratch):
    prefix = "qv_change_"

    def __init__(self, suite):
        super().__init__(suite)
        self.checker = suite.host_of(suite.args.checker)
        self.host = suite.host_of(suite.args.exe, timeout=300)
        self.live = self.dir / "LIVE"
        self.live.mkdir()
        self.argv0 = self.host.install(self.dir / "ADMIN", "QVADMIN")

    def admin(self, *words, cwd=None):
        """QVADMIN on the live tree: (exit code, standard output as text)."""
        code, out = self.host.run(self.argv0, [words[0], "--dir", self.host.dir_text(self.live)] + list(words[1:]),
                                  cwd=cwd or self.dir)
        return code, out.decode("latin-1").replace("\r\n", "\n")

    def entries(self):
        """The IDs the history lists."""
        return [int(m) for m in re.findall(r"(?m)^(\d+)  ", self.admin("history")[1])]


def tree_hash(directory):
    """{relative path: SHA-256} of every file below the directory, its history
    and logs aside."""
    out = {}
    for p in sorted(Path(directory).rglob("*")):
        rel = p.relative_to(directory).as_posix()
        if p.is_file() and not rel.startswith("$history$") and not rel.upper().startswith("QEL"):
            out[rel] = hashlib.sha256(p.read_bytes()).hexdigest()
    return out


def where_of(rel):
    """The WHERE word that names a generated tree's file."""
    if "/" not in rel:
        return "*" if rel.startswith("$") else None
    domain, name = rel.split("/")
    if domain.upper() == "SHARED":
        return None
    stem = name.rsplit(".", 1)[0]
    return "@" + domain.lower() if stem.upper() == "$DEFAULT$" else f"{stem.lower()}@{domain.lower()}"


def add_then_remove(c):
    """Every file a generated tree holds, and one it lacks, gets a rule and
    loses it again: the bytes are the file's own again. Files end in LF or
    CR LF, with or without a last line end."""
    rnd = random.Random(18)
    problems = []
    for round_ in range(6):
        tree = mail_gen.make_tree(rnd, c.host.dir_text(c.live))
        for rel in list(tree):
            if rnd.random() < 0.3:
                tree[rel] = tree[rel].replace("\r\n", "\n")
            if rnd.random() < 0.3 and tree[rel]:
                tree[rel] = tree[rel].rstrip("\r\n")
        mail_gen.write_tree(c.live, tree, c.host.windows)
        before = tree_hash(c.live)
        targets = [w for w in map(where_of, tree) if w] + ["dave@new.example"]
        for where in rnd.sample(targets, 4):
            rule = rnd.choice(["WHITELIST FROM @fresh.example", "BLACKLIST SUBJECT CONTAINS win a prize"])
            first = ["--first"] if rnd.random() < 0.5 else []
            code, out = c.admin("add", *first, "--force", where, *rule.split())
            if code != 0:
                problems.append(f"round {round_}: add {where} gave {code}: {out[-300:]}")
                continue
            code, out = c.admin("remove", where, *rule.split())
            if code != 0:
                problems.append(f"round {round_}: remove {where} gave {code}: {out[-300:]}")
        after = tree_hash(c.live)
        made = sorted(set(after) - set(before))
        if made != ["NEW.EXAMPLE/DAVE.QUORVANT"] * bool(made) or {k: after[k] for k in before} != before:
            problems.append(f"round {round_}: the files differ from the original: {sorted(set(after) ^ set(before))}")
        shutil.rmtree(c.live / "$history$", ignore_errors=True)
        shutil.rmtree(c.live / "NEW.EXAMPLE", ignore_errors=True)
    return problems


def promote_then_rollback(c):
    """The live tree becomes the candidate's, and rollback gives it back."""
    rnd = random.Random(21)
    problems = []
    candidate = c.dir / "CAND"
    for round_ in range(5):
        tree = mail_gen.make_tree(rnd, c.host.dir_text(c.live))
        mail_gen.write_tree(c.live, tree, c.host.windows)
        shutil.rmtree(candidate, ignore_errors=True)
        candidate.mkdir()
        mail_gen.write_tree(candidate, mail_gen.changed_tree(rnd, tree, c.host.dir_text(c.live)), c.host.windows)
        original = tree_hash(c.live)
        code, out = c.admin("promote", "--rules", c.host.dir_text(candidate), "--yes")
        # A candidate may bring lint errors the live tree lacks: refused, as
        # the live tree must then stay as it is.
        if code == 1 and "Refused" in out:
            if tree_hash(c.live) != original:
                problems.append(f"round {round_}: a refused promote changed the live tree")
            continue
        if code != 0:
            problems.append(f"round {round_}: promote gave {code}: {out[-400:]}")
            continue
        if tree_hash(c.live) != tree_hash(candidate):
            problems.append(f"round {round_}: the live tree is not the candidate's after promote")
        code, out = c.admin("rollback", "--yes")
        if code != 0 or tree_hash(c.live) != original:
            problems.append(f"round {round_}: rollback gave {code}, the tree differs: {out[-300:]}")
    return problems


def big_tree(rnd, named, shared):
    """A tree of many small files, so that a promote takes a while; files of
    the domains REDIRECT to a shared file."""
    tree = {"$default$.QUORVANT": "WHITELIST FROM @PARTNER.EXAMPLE\r\n", f"SHARED/{shared}": "STRICT\r\n"}
    for d in range(3):
        tree[f"D{d}.TEST/$default$.QUORVANT"] = f"REDIRECT @D{d}.TEST {named}SHARED\\{shared}\r\n"
        for u in range(3):
            tree[f"D{d}.TEST/U{u}.QUORVANT"] = f"BLACKLIST FROM @X{rnd.randrange(1000)}.TEST\r\n"
    return tree


def killed_promote(c):
    """SIGKILL at a random moment of a promote: each rule file is wholly old
    or wholly new, and rollback (when the history holds the promote) gives the
    original tree back."""
    rnd = random.Random(7)
    named = c.host.dir_text(c.live)
    old, new = big_tree(rnd, named, "OLD.QUORVANT"), big_tree(rnd, named, "NEW.QUORVANT")
    candidate = c.dir / "CAND"
    mail_gen.write_tree(candidate, new, c.host.windows)
    new_hash = tree_hash(candidate)
    args = ["promote", "--dir", c.host.dir_text(c.live), "--rules", c.host.dir_text(candidate), "--yes"]
    mail_gen.write_tree(c.live, old, c.host.windows)
    original = tree_hash(c.live)
    manifests = lambda: len(list((c.live / "$history$").glob("*/change.txt")))  # noqa: E731

    # A SIGKILL that lands in the leak check at the end of a run cuts the
    # sanitizer short ("Unable to get registers from thread N" in its report
    # file): the killed runs go without it, the others keep it.
    killed_env = dict(c.host.env)
    if killed_env.get("ASAN_OPTIONS"):
        killed_env["ASAN_OPTIONS"] += ":detect_leaks=0"

    def started(env=None):
        """The promote, and the moment its history entry appeared (None when
        it did not within a while)."""
        before, proc = manifests(), c.host.start(c.argv0, args, cwd=c.dir, env=env)
        limit = time.monotonic() + 60
        while manifests() == before and proc.poll() is None and time.monotonic() < limit:
            time.sleep(0.001)
        return proc, (time.monotonic() if manifests() > before else None)

    # How long a whole promote takes, and its putting files in place once the
    # entry is there (files are taken away a while after the last one is put).
    put = [rel for rel, removed in written_order(c, c.admin("promote", "--rules", args[4])[1]) if not removed]
    last = next(rel for rel in new if rel.upper() == put[-1])
    last_bytes, last = (candidate / last).read_bytes(), c.live / last
    start = time.monotonic()
    proc, entered = started()
    while last.read_bytes() != last_bytes and proc.poll() is None:
        time.sleep(0.001)
    writing = time.monotonic() - (entered or start)
    proc.wait()
    span = time.monotonic() - start
    c.admin("rollback", "--yes")
    problems, outcomes = [], {"before its first file": 0, "mid-way": 0, "after every file": 0}
    for round_ in range(c.args.kills):
        known = set(c.entries())
        # Half of the kills anywhere in the run, half while it puts files in place.
        if round_ % 2:
            proc = c.host.start(c.argv0, args, cwd=c.dir, env=killed_env)
            time.sleep(rnd.uniform(0, span))
        else:
            proc, _ = started(killed_env)
            time.sleep(rnd.uniform(0, writing))
        proc.kill()
        proc.wait()
        if proc.stderr:
            proc.stderr.close()
        now = {rel: h for rel, h in tree_hash(c.live).items() if not rel.endswith(".qvadmin-new")}
        torn = [rel for rel, h in now.items() if h != original.get(rel) and h != new_hash.get(rel)]
        if torn:
            problems.append(f"round {round_}: files neither old nor new: {torn[:3]}")
        when = "after every file" if now == new_hash else "before its first file" if now == original else "mid-way"
        outcomes[when] += 1
        added = sorted(set(c.entries()) - known)
        if added:
            code, out = c.admin("rollback", "--yes", str(added[-1]))
            if code != 0:
                problems.append(f"round {round_}: rollback {added[-1]} gave {code}: {out[-300:]}")
        if tree_hash(c.live) != original:
            differ = sorted(set(tree_hash(c.live).items()) ^ set(original.items()))
            problems.append(f"round {round_}: the tree is not the original after the rollback: {differ[:3]}")
            mail_gen.write_tree(c.live, old, c.host.windows)
            for stray in c.live.rglob("*.qvadmin-new"):
                stray.unlink()
    print(f"     {c.args.kills} promotes of {len(new_hash)} files ({span:.2f} s, putting them {writing:.2f} s) killed: " +
          ", ".join(f"{n} {when}" for when, n in outcomes.items()))
    return problems


RACE_RULES = ["WHITELIST FROM @PARTNER.EXAMPLE", "BLACKLIST FROM @BULK.EXAMPLE", "BLACKLIST FROM JOE@",
              "WHITELIST FROM @EXAMPLE.NET", "BLACKLIST SUBJECT CONTAINS CHEAP STUFF",
              "WHITELIST SUBJECT CONTAINS PROJECT X", "BLACKLIST SUBJECT LOTTERY", "NO DOMAIN", "STRICT"]


def race_trees(rnd):
    """Two trees with a file for every recipient, domain and the server, so
    that no checker run meets a missing file unless a REDIRECT target is not
    there yet. The old tree's REDIRECTs (relative: read from the program
    directory) go to SHARED\\OLD.QUORVANT, the new one's to
    SHARED\\NEW.QUORVANT, which only the new tree has; a few other files
    differ too."""
    def rules(redirect):
        lines = [rnd.choice(RACE_RULES[:-2]) for _ in range(rnd.randint(0, 3))]
        if redirect and rnd.random() < 0.4:
            lines.insert(rnd.randint(0, len(lines)), f"REDIRECT {redirect} SHARED\\OLD.QUORVANT")
        return "".join(line + "\r\n" for line in lines)

    old = {"$default$.QUORVANT": rules("@") + rnd.choice(["", "STRICT\r\n"]), "SHARED/OLD.QUORVANT": rules(None)}
    for domain in mail_gen.DOMAINS:
        old[f"{domain}/$default$.QUORVANT"] = rules("@" + domain)
        for user in mail_gen.USERS:
            old[f"{domain}/{user}.QUORVANT"] = rules(user)
    new = {rel: text.replace("OLD.QUORVANT", "NEW.QUORVANT") for rel, text in old.items() if "OLD" not in rel}
    new["SHARED/NEW.QUORVANT"] = rules(None) + "BLACKLIST SUBJECT CONTAINS HELLO\r\n"
    for rel in rnd.sample(sorted(new), 3):
        new[rel] = rules(None) + rnd.choice(RACE_RULES) + "\r\n"
    return old, new


def written_order(c, out):
    """The files a promote or rollback prints it puts in place, in order:
    (path below the live directory, upper case, or its new bytes taken away)."""
    prefix = c.host.dir_text(c.live).upper()
    order = []
    for m in re.finditer(r"(?m)^  (added|changed|removed) +(.*)$", out):
        path = m.group(2).upper()
        assert path.startswith(prefix), path
        order.append((path[len(prefix):].lstrip("\\").replace("\\", "/"), m.group(1) == "removed"))
    return order


def passed_states(start, end, order):
    """The trees a writing in that order passes through, from start to end
    ({path upper case: text})."""
    start = {rel.upper(): text for rel, text in start.items()}
    end = {rel.upper(): text for rel, text in end.items()}
    states = [dict(start)]
    for rel, removed in order:
        state = dict(states[-1])
        if removed:
            state.pop(rel, None)
        else:
            state[rel] = end[rel]
        states.append(state)
    assert states[-1] == end, "the order does not lead to the end tree"
    return states


def explained_lines(c, tree, spool, messages, where):
    """{identifier: result line without its time} as explain gives it over a
    copy of a tree (run from that copy, so relative REDIRECTs are read there)."""
    shutil.rmtree(where, ignore_errors=True)
    where.mkdir()
    mail_gen.write_tree(where, tree, c.host.windows)
    out = {}
    for m in messages:
        _, text = c.host.run(c.argv0, ["explain", "--dir", c.host.dir_text(where),
                                       c.host.path(spool / f"{m.ident}.SMD")], cwd=where)
        line = re.search(rb"(?m)^Log line   \d\d:\d\d:\d\d (.*)\r$", text)
        out[m.ident] = line.group(1) if line else None
    return out


def promotes_while_checking(c):
    """Promotes and rollbacks alternate between two trees while the checker
    runs on generated messages (at HIGH, so that a missing file is logged).
    Each run logs the result line explain gives over one of the trees the
    writing passes through: the old, the new, or the old with the first files
    of the promote's (or the rollback's) order in place. The checker reads a
    message's rule files one after another, so a run between two of those
    files' renames sees a tree between the two; the order (the server-wide
    file first, the users' files last) keeps it from seeing anything else.
    A file taken away (the old tree's REDIRECT target) goes a while after the
    last file is put in place: a run that read an old file naming it just
    before that file was replaced must still find it, never a missing file."""
    if c.host.launcher:
        raise Skipped("natively only: explain over every tree passed through takes thousands of runs")
    rnd = random.Random(5)
    spool = c.dir / "SPOOL"
    messages = mail_gen.make_messages(rnd, 150, spool)
    old, new = race_trees(rnd)
    candidate = c.dir / "NEW"
    candidate.mkdir()
    mail_gen.write_tree(candidate, new, c.host.windows)
    mail_gen.write_tree(c.live, old, c.host.windows)
    promote = ["promote", "--rules", c.host.dir_text(candidate)]
    problems = []
    # The orders, as the commands print them before they are confirmed.
    forward = written_order(c, c.admin(*promote, cwd=c.live)[1])
    c.admin(*promote, "--yes", cwd=c.live)
    backward = written_order(c, c.admin("rollback", cwd=c.live)[1])
    c.admin("rollback", "--yes", cwd=c.live)
    states = passed_states(old, new, forward) + passed_states(new, old, backward)
    allowed = {m.ident: {} for m in messages}
    unique = {tuple(sorted(s.items())): s for s in states}
    old_lines = explained_lines(c, old, spool, messages, c.dir / "STATE")
    new_lines = explained_lines(c, new, spool, messages, c.dir / "STATE")
    for state in unique.values():
        for ident, line in explained_lines(c, state, spool, messages, c.dir / "STATE").items():
            allowed[ident][line] = "old" if line == old_lines[ident] else "new" if line == new_lines[ident] else "between"
    differ = sum(old_lines[m.ident] != new_lines[m.ident] for m in messages)
    checker_argv0 = c.checker.install(c.live, "QUORVANT")
    done = threading.Event()

    def switch():
        try:
            for op in range(c.args.race_ops):
                words = (promote if op % 2 == 0 else ["rollback"]) + ["--yes"]
                code, out = c.admin(*words, cwd=c.live)
                if code != 0:
                    problems.append(f"{words[0]} {op} gave {code}: {out[-300:]}")
        finally:
            done.set()

    runs = []

    def check(worker):
        n = worker
        while not done.is_set() or len(runs) < c.args.race_runs:
            m = messages[n % len(messages)]
            code, _ = c.checker.run(checker_argv0, ["HIGH", c.checker.path(spool / f"{m.ident}.SMD")], cwd=c.live)
            runs.append(code)
            n += 4

    threads = [threading.Thread(target=switch)] + [threading.Thread(target=check, args=(w,)) for w in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    log = b"".join(p.read_bytes() for p in sorted(c.live.glob("QEL*.LOG")))
    seen = {"old": 0, "new": 0, "between": 0}
    logged = 0
    for line in log.split(b"\r\n"):
        m = re.match(rb"\d\d:\d\d:\d\d (\S+) To: ", line)
        if not m:
            continue
        logged += 1
        ident, rest = m.group(1).decode(), line.split(b" ", 1)[1]
        kind = allowed.get(ident, {}).get(rest)
        if kind is None:
            problems.append(f"{ident} logged {rest!r}, which no tree passed through gives: {allowed.get(ident)}")
        elif old_lines[ident] != new_lines[ident]:
            seen[kind] += 1
    missing = log.count(b"Error opening file or file not found.")
    if missing:
        lines = log.split(b"\r\n")
        before = [lines[i - 1] for i, line in enumerate(lines) if line == b"Error opening file or file not found."]
        problems.append(f"{missing} runs met a missing rule file, e.g. after {before[:3]}")
    if logged != len(runs):
        problems.append(f"{len(runs)} runs, {logged} result lines")
    if differ == 0 or min(seen["old"], seen["new"]) == 0:
        problems.append(f"the race proves nothing: {differ} messages differ between the trees, seen {seen}")
    print(f"     {c.args.race_ops} promotes and rollbacks ({len(forward)} and {len(backward)} files) while "
          f"{len(runs)} checker runs on {len(messages)} messages, {differ} of which the two trees decide "
          f"differently; runs on those that logged the old tree's line {seen['old']}, the new one's "
          f"{seen['new']}, that of one of the {len(unique) - 2} trees in between {seen['between']}; "
          f"missing files {missing}")
    return problems[:10]


def held_file(c):
    """Windows: a rule file that another process holds open without sharing
    its deletion is retried for about two seconds: a holder that lets go in
    time lets the change through; one that keeps it gets it refused, the file
    and the history as they were."""
    if not c.host.windows or not c.args.lock_holder:
        raise Skipped("needs the Windows build under a launcher and --lock-holder")
    from windows_cases import locks_held  # noqa: E402 (Windows cases only)
    rule = c.live / "$default$.QUORVANT"
    rule.write_bytes(b"STRICT\r\n")
    problems = []
    for hold in (1.5, None):
        with locks_held(c.host, c.args.lock_holder, "open", [rule]):
            start = time.monotonic()
            proc = subprocess.Popen(c.host.launcher + [c.host.path(c.argv0), "add", "--dir", c.host.dir_text(c.live),
                                                      "*", "NO", "DOMAIN"], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.PIPE, env=c.host.env)
            if hold:
                time.sleep(hold)
            else:
                err = proc.communicate(timeout=60)[1]
        if hold:
            err = proc.communicate(timeout=60)[1]
        seconds = time.monotonic() - start
        if hold and (proc.returncode != 0 or rule.read_bytes() != b"STRICT\r\nNO DOMAIN\r\n" or seconds < hold):
            problems.append(f"let go after {hold} s: exit {proc.returncode} after {seconds:.1f} s: {err!r}")
        if not hold:
            if proc.returncode != 2 or b"cannot be put in place: " not in err or seconds < 1.9:
                problems.append(f"held throughout: exit {proc.returncode} after {seconds:.1f} s: {err!r}")
            if rule.read_bytes() != b"STRICT\r\n" or list(c.live.glob("*.qvadmin-new")) or len(c.entries()) != 1:
                problems.append("held throughout: the file, a temporary or the history changed")
            print(f"     held throughout: refused after {seconds:.1f} s: {err.decode().strip()}")
        if hold:
            rule.write_bytes(b"STRICT\r\n")
    return problems


def asked_then_written_at_a_terminal(c):
    """Without --yes, rollback asks at a terminal: "y" writes, anything else
    does not; with no terminal it writes nothing and says --yes is needed."""
    if c.host.launcher:
        raise Skipped("natively only: a terminal for the program under a launcher is the launcher's")
    import os
    import pty
    rule = c.live / "$default$.QUORVANT"
    rule.write_bytes(b"STRICT\r\n")
    c.admin("add", "*", "NO", "DOMAIN")
    problems = []
    code, out = c.admin("rollback")
    if code != 1 or "give --yes" not in out or rule.read_bytes() != b"STRICT\r\nNO DOMAIN\r\n":
        problems.append(f"without a terminal: exit {code}, {out!r}")
    for answer, want in ((b"n\n", b"STRICT\r\nNO DOMAIN\r\n"), (b"y\n", b"STRICT\r\n")):
        controller, terminal = pty.openpty()
        proc = subprocess.Popen([str(c.host.exe), "rollback", "--dir", c.host.dir_text(c.live)], stdin=terminal,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=c.dir)
        os.close(terminal)
        os.write(controller, answer)
        out, _ = proc.communicate(timeout=60)
        os.close(controller)
        if b"Write it? [y/N]" not in out or rule.read_bytes() != want or proc.returncode != (0 if want == b"STRICT\r\n" else 1):
            problems.append(f"answered {answer!r}: exit {proc.returncode}, {out[-200:]!r}")
    return problems


def cases(suite):
    return [add_then_remove, promote_then_rollback, killed_promote, promotes_while_checking, held_file,
            asked_then_written_at_a_terminal]


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, cases, make_case=Case, options={
        "--checker": dict(required=True, help="QUORVANT of the same build"),
        "--kills": dict(type=int, default=100, help="promotes killed at random moments"),
        "--race-ops": dict(type=int, default=100, help="promotes and rollbacks while the checker runs"),
        "--race-runs": dict(type=int, default=1000, help="checker runs at least, meanwhile"),
        "--lock-holder": dict(default="", help="LOCKHOLD.EXE (Windows suite)"),
    }))
