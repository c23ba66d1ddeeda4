#!/usr/bin/env python3
"""QVADMIN serve as an attacker tries it, over TCP with plain HTTP requests:
every page refused without a session, another Host refused, a form without
its CSRF token refused, path tricks not found, oversize request lines,
headers and bodies refused, slow and surplus connections dropped; then
thousands of requests from many clients at once while QUORVANT runs append
to the day's log: every answer well-formed, the server still up, and the new
messages on the Activity page.

  serve_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT
  serve_e2e.py --exe QVADMIN.EXE --checker QUORVANT.EXE --launcher wine --windows --requests 300 --clients 10 --runs 40
"""
import concurrent.futures
import random
import re
import subprocess
import sys
import threading
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from bounded import RSS_LIMIT_KB  # noqa: E402  (64 MB; more under the sanitizers)
from e2e_lib import Scratch, run_case_functions  # noqa: E402
from console_client import Console, parse, request, wait_until  # noqa: E402
import mail_gen  # noqa: E402

MESSAGE_LINK = re.compile(r'href="(/message\?day=\d{4}&amp;at=\d+)"')
MATCHED = re.compile(r"of (\d+), newest first")


class Case(Scratch):
    prefix = "qv_serve_"

    def __init__(self, suite):
        super().__init__(suite)
        args = suite.args
        self.host = suite.host_of(args.exe, timeout=300)
        self.checker_host = suite.host_of(args.checker, timeout=120)
        self.prog, self.spool = self.dir / "PROG", self.dir / "SPOOL"
        self.prog.mkdir()
        self.checker = self.checker_host.install(self.prog, "QUORVANT")
        self.qvadmin = self.host.install(self.dir / "BIN", "QVADMIN")
        self.rnd = random.Random(suite.case_name)
        mail_gen.write_tree(self.prog, mail_gen.make_tree(self.rnd, self.checker_host.dir_text(self.prog)),
                            self.host.windows)
        self.console = None

    def check(self, messages):
        """QUORVANT on each message, the way the mail filter runs it."""
        for m in messages:
            code, _ = self.checker_host.run(self.checker, ["MID", self.checker_host.path(self.spool / f"{m.ident}.SMD")],
                                            cwd=self.prog)
            assert code in (0, 1, 100), f"QUORVANT gave {code}"

    def serve(self, *args):
        self.console = Console(self.host, self.qvadmin,
                               ["--dir", self.host.path(self.prog), "--listen", "127.0.0.1:0"] + list(args),
                               cwd=self.prog)
        return self.console

    def cleanup(self):
        if self.console:
            self.console.stop()
        super().cleanup()


def attacker_table(c):
    c.check(mail_gen.make_messages(c.rnd, 5, c.spool))
    console = c.serve("--candidate", c.host.path(c.dir / "CAND"))
    session = console.login()
    if not session:
        return ["no session from the printed login address"]
    home = parse(console.get("/", session))
    csrf = re.search(r'name="csrf" value="([0-9a-f]{64})"', home.text)
    link = MESSAGE_LINK.search(home.text)
    if home.status != 200 or not csrf or not link:
        return [f"the activity page: {home.status}, CSRF token {bool(csrf)}, message link {bool(link)}"]
    h = console.host_header
    post = lambda body, extra="": request("POST", "/logout", h, session, body.encode(), extra)  # noqa: E731
    get = lambda target, cookie=session, host=h, extra="": request("GET", target, host, cookie, extra=extra)  # noqa: E731
    day, at = re.search(r"day=(\d{4})&amp;at=(\d+)", link.group(1)).groups()
    change = f"/change?day={day}&at={at}&list=whitelist&of=domain&in=domain"
    apply = lambda body, extra="": request("POST", "/apply", h, session, body.encode(), extra)  # noqa: E731
    applied = f"day={day}&at={at}&list=whitelist&of=domain&in=domain&base=new&csrf="
    tree = {p: p.read_bytes() for p in c.prog.rglob("*") if p.is_file() and not p.name.startswith("QEL")}
    user = next(p for p in c.prog.glob("*/*.QUORVANT") if p.parent.name != "SHARED" and not p.name.startswith("$"))
    create = "/edit?do=create&rule=WHITELIST+FROM+%40A.TEST&for="
    form = lambda path, body, extra="": request("POST", path, h, session, body.encode(), extra)  # noqa: E731
    foreign = "Origin: http://attacker.example\r\n"
    table = [
        ("Start a candidate without the CSRF token", form("/candidate/start", ""), 403),
        ("Start a candidate from another site", form("/candidate/start", "csrf=" + csrf.group(1), foreign), 403),
        ("Start a candidate by GET", get("/candidate/start"), 405),
        ("Promote without the CSRF token", form("/put-live", "base=x"), 403),
        ("Promote from another site", form("/put-live", "base=x&csrf=" + csrf.group(1), foreign), 403),
        ("Discard without the CSRF token", form("/candidate/discard", ""), 403),
        ("Promote before a candidate is started", get("/promote"), 404),
        ("the rules of a candidate not started", get("/rules?tree=candidate"), 404),
        ("the rules of a tree named by a path", get("/rules?tree=..%5c..%5cetc"), 404),
        ("a new file named by a path", get(create + "..%5c..%5cx.test"), 404),
        ("a new file of a domain ..", get(create + ".."), 404),
        ("a new file for everybody", get(create + "*"), 404),
        ("a new file given a place too", get(create + "x.test&file=1"), 404),
        ("a new file that is there", get(create + f"{user.stem}%40{user.parent.name}".lower()), 409),
        ("the activity page", get("/"), 200),
        ("no session: a change's preview", get(change, ""), 403),
        ("no session: Apply", request("POST", "/apply", h, "", (applied + csrf.group(1)).encode()), 403),
        ("Apply by GET", get("/apply?" + applied + csrf.group(1)), 405),
        ("Apply without the CSRF token", apply(applied), 403),
        ("Apply with a wrong CSRF token", apply(applied + "2" * 64), 403),
        ("Apply from another site", apply(applied + csrf.group(1), "Origin: http://attacker.example\r\n"), 403),
        ("a change of no kind offered", get(change.replace("whitelist", "greylist")), 404),
        ("a change naming a file", get(change.replace("in=domain", "in=..%5c..%5ctokens.txt")), 404),
        ("a change of a message not there", get(change.replace(f"at={at}", "at=1")), 404),
        ("a change of a day not shown", get(change.replace(f"day={day}", "day=0000")), 404),
        ("a change replaying 10,000 days", get(change + "&days=9999"), 404),
        ("an edit without the CSRF token", request("POST", "/save", h, session, b"file=1&do=remove&line=1&base=x"), 403),
        ("an edit by GET", get("/save?file=1&do=remove&line=1"), 405),
        ("an edit of a place past the tree", get("/edit?file=100000&do=remove&line=1"), 404),
        ("an edit of no kind offered", get("/edit?file=1&do=truncate&line=1"), 404),
        ("an edit naming a file", get("/edit?file=..%5ctokens.txt&do=remove&line=1"), 404),
        ("Roll back without the CSRF token", request("POST", "/undo", h, session, b"entry=1&base=x"), 403),
        ("Roll back by GET", get("/undo?entry=1"), 405),
        ("a rollback of no change", get("/rollback?entry=%2e%2e"), 404),
        ("a change not in the history", get("/history?entry=99999"), 404),
        ("a message", get(link.group(1).replace("&amp;", "&")), 200),
        ("the rules, report and health pages", get("/rules"), 200),
        ("no session: activity", get("/", ""), 403),
        ("no session: a message", get(link.group(1).replace("&amp;", "&"), ""), 403),
        ("no session: rules", get("/rules?file=1", ""), 403),
        ("no session: report", get("/report", ""), 403),
        ("no session: health", get("/health", ""), 403),
        ("a session made up", get("/", "qvadmin_session=" + "0" * 64), 403),
        ("a wrong token", get("/login?token=" + "1" * 64, ""), 403),
        ("another Host (DNS rebinding)", get("/", host="attacker.example"), 421),
        ("another port in Host", get("/", host="127.0.0.1:1"), 421),
        ("POST without the CSRF token", post(""), 403),
        ("POST with a wrong CSRF token", post("csrf=" + "2" * 64), 403),
        ("POST from another site", post("csrf=" + csrf.group(1), "Origin: http://attacker.example\r\n"), 403),
        ("log-out by GET", get("/logout"), 405),
        ("..", get("/../../etc/passwd"), 404),
        ("encoded ..", get("/%2e%2e/%2e%2e/etc/passwd"), 404),
        ("encoded .. in a field", get("/rules?file=%2e%2e%5c%2e%2e%5ctokens.txt"), 404),
        ("backslashes", get("/rules\\..\\..\\QEL0101.LOG"), 404),
        ("a device name", get("/CON"), 404),
        ("a device name as a day", get("/message?day=CON&at=0"), 404),
        ("a log's name as a day", get("/message?day=QEL0101.LOG&at=0"), 404),
        ("an absolute path", get("/C:/Windows/win.ini"), 404),
        ("an absolute path as a day", get("/message?day=C:%5CWindows%5Cwin.ini&at=0"), 404),
        ("an absolute path as target", get("C:\\Windows\\win.ini"), 404),
        ("a place past the tree", get("/rules?file=100000"), 404),
        ("a request line of 10 KB", get("/" + "a" * 10000), 431),
        ("an address of 3 KB", get("/?subject=" + "a" * 3000), 414),
        ("headers of 10 KB", get("/", extra="X-Pad: " + "x" * 10000 + "\r\n"), 431),
        ("2,000 headers", get("/", extra="X-A: b\r\n" * 2000), 431),
        ("a body of 10 KB", post("csrf=" + "x" * 10000), 413),
        ("a body announced as 1 GB", f"POST /logout HTTP/1.1\r\nHost: {h}\r\nCookie: {session}\r\n"
                                     "Content-Length: 1000000000\r\n\r\ncsrf=".encode(), 413),
        ("no HTTP at all", b"\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03\r\n\r\n", 400),
        ("a NUL in the request line", b"GET /\x00 HTTP/1.1\r\nHost: " + h.encode() + b"\r\n\r\n", 400),
    ]
    problems = []
    for what, data, want in table:
        try:
            got = parse(console.exchange(data)).status
        except ValueError as e:
            problems.append(f"{what}: {e}")
            continue
        if got != want:
            problems.append(f"{what}: {got}, not {want}")
    for page in ("/rules", "/report", "/health"):
        if parse(console.get(page, session)).status != 200:
            problems.append(f"{page} with a session is not 200")
    if {p: p.read_bytes() for p in c.prog.rglob("*") if p.is_file() and not p.name.startswith("QEL")} != tree or \
            (c.dir / "CAND").exists():
        problems.append("a refused request changed a file of the program directory or made a candidate")
    if not console.alive() or parse(console.get("/", session)).status != 200:
        problems.append("the server does not answer after the table")
    return problems


def slow_and_surplus_clients(c):
    console = c.serve()
    session = console.login()
    problems = []
    # A client that sends its request a byte at a time is dropped after the
    # request time (10 s); others are served meanwhile.
    slow = console.connect(timeout=30)
    started = time.monotonic()
    dropped = threading.Event()

    def trickle():
        try:
            for byte in b"GET / HTTP/1.1\r\nHost: " + console.host_header.encode() * 20:
                slow.sendall(bytes([byte]))
                time.sleep(0.25)
        except OSError:
            dropped.set()
    thread = threading.Thread(target=trickle, daemon=True)
    thread.start()
    time.sleep(1)
    t = time.monotonic()
    if parse(console.get("/", session)).status != 200 or time.monotonic() - t > 5:
        problems.append("a request beside a slow client was not served at once")
    thread.join(25)
    waited = time.monotonic() - started
    if not dropped.is_set() or not 9 <= waited <= 20:
        problems.append(f"the slow client was {'dropped after' if dropped.is_set() else 'still there after'} {waited:.1f} s")
    slow.close()
    # Connections beyond 64 are closed at once; when the idle ones go, all is well again.
    idle = [console.connect() for _ in range(64)]
    time.sleep(1)
    extra = console.connect()
    extra.settimeout(5)
    try:
        closed = extra.recv(1) == b""
    except (ConnectionResetError, TimeoutError, OSError):
        closed = True
    if not closed:
        problems.append("a 65th connection was kept")
    for s in idle + [extra]:
        s.close()

    def served():
        try:
            return parse(console.get("/", session)).status == 200
        except ValueError:  # closed at once: the server has not yet seen the idle ones go
            return False
    if not wait_until(served, 15):
        problems.append("no answer after the idle connections went")
    return problems


def beyond_the_loopback(c):
    """Another address needs a token file, warns of plain HTTP and prints no
    token; on every address at once it needs --host, and answers to that name.
    A candidate folder inside the program directory, or around it, is refused."""
    problems = []
    tokens = c.host.path(c.dir / "tokens.txt")
    for args, why in ((["--listen", "0.0.0.0:0"], b"needs --token-file"),
                      (["--listen", "0.0.0.0:0", "--token-file", tokens], b"give --host"),
                      (["--candidate", c.host.path(c.prog / "CAND")], b"apart"),  # the live walk would take it in
                      (["--candidate", c.host.path(c.dir)], b"apart")):
        code, _ = c.host.run(c.qvadmin, ["serve", "--dir", c.host.path(c.prog)] + args, cwd=c.prog)
        if code != 2:
            problems.append(f"serve {' '.join(args)}: exit code {code}, not 2")
    code, out = c.host.run(c.qvadmin, ["token", "add", "--token-file", tokens, "ann"], cwd=c.prog)
    token = re.search(rb"\n    ([0-9a-f]{64})\r?\n", out)
    if code != 0 or not token:
        return problems + [f"token add: exit code {code}, {out!r}"]
    cmd, executable = c.host.command(c.qvadmin, ["serve", "--dir", c.host.path(c.prog), "--listen", "0.0.0.0:0",
                                                 "--token-file", tokens, "--host", "console.test"])
    proc = subprocess.Popen(cmd, executable=executable, cwd=c.prog, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, env=c.host.env)
    try:
        out = b""
        while b"log in at" not in out:
            line = proc.stdout.readline()
            if not line:
                return problems + [f"serve beyond the loopback ended: {out!r}"]
            out += line
        if b"plain HTTP" not in out or re.search(rb"token=[0-9a-f]{64}", out):
            problems.append(f"no warning of plain HTTP, or a token printed: {out!r}")
        port = int(re.search(rb"http://0\.0\.0\.0:(\d+)/", out).group(1))
        console = Console.__new__(Console)
        console.address, console.port, console.host_header = "127.0.0.1", port, f"127.0.0.1:{port}"
        login = parse(console.get("/login?token=" + token.group(1).decode(), host="console.test"))
        if login.status != 303:
            problems.append(f"a login at console.test: {login.status}")
        if parse(console.get("/login?token=" + token.group(1).decode())).status != 421:
            problems.append("a login at the address itself was not refused")
    finally:
        proc.terminate()
        proc.wait(30)
    return problems


def two_administrators(c):
    """Two sessions change one rule file from the same message. The one that
    applies second previewed the file as it was: it gets a fresh preview and
    nothing is written until it applies that. Applied at the same moment on
    the same file, one change is written and the other refused. The file
    ends with every change written, the change log with a line for each."""
    m = mail_gen.Message("C0001", "promo@shop.test", "ann@a.test", "two administrators")
    for name, text in m.files().items():
        (c.spool / name).parent.mkdir(parents=True, exist_ok=True)
        (c.spool / name).write_bytes(text.encode())
    c.check([m])
    console = c.serve()
    a, b = console.login(), console.login()
    h = console.host_header
    link = MESSAGE_LINK.search(parse(console.get("/?subject=two+administrators", a)).text)
    if not link:
        return ["the message is not on the Activity page"]
    day, at = re.search(r"day=(\d{4})&amp;at=(\d+)", link.group(1)).groups()

    def form_of(page):
        form = re.search(r'<form method="post" action="/apply" id="apply">(.*?)</form>', page.text, re.S)
        return dict(re.findall(r'name="(\w+)" value="([^"]*)"', form.group(1))) if form else None

    def preview(session, list_, of):
        return form_of(parse(console.get(f"/change?day={day}&at={at}&list={list_}&of={of}&in=user", session)))

    def apply(session, form):
        body = "&".join(f"{k}={v}" for k, v in form.items()).encode()
        return parse(console.exchange(request("POST", "/apply", h, session, body)))

    problems = []
    first, second = preview(a, "whitelist", "address"), preview(b, "blacklist", "domain")
    if not first or not second:
        return ["a preview offers no Apply"]
    done = apply(a, first)
    if done.status != 303 or f"/message?day={day}&at={at}&change=" not in done.headers.get("location", ""):
        problems.append(f"the first Apply: {done.status} {done.headers.get('location')}")
    stale = apply(b, second)
    fresh = form_of(stale)
    if stale.status != 409 or "changed since that preview" not in stale.text or not fresh or fresh["base"] == second["base"]:
        problems.append(f"the second Apply on the old preview: {stale.status}, fresh preview {bool(fresh)}")
    elif apply(b, fresh).status != 303:
        problems.append("the second Apply on the fresh preview was not written")
    # At the same moment, from the same preview of the file.
    both = [preview(a, "whitelist", "domain"), preview(b, "blacklist", "address")]
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        statuses = sorted(pool.map(lambda pair: apply(*pair).status, zip((a, b), both)))
    if statuses != [303, 409]:
        problems.append(f"two Applies at once on one file: {statuses}, not one written and one refused")
    for list_, of in (("whitelist", "address"), ("blacklist", "domain")):
        page = parse(console.get(f"/change?day={day}&at={at}&list={list_}&of={of}&in=user", a))
        if "holds the rule already" not in page.text:
            problems.append(f"the {list_} of the {of} is not in the file")
    log = (c.prog / "$history$" / "changes.log").read_text("latin-1").splitlines()
    if len(log) != 3 or not all("at the console, start-up token (scope *)" in line for line in log):
        problems.append(f"the change log: {log}")
    return problems


def candidate_and_new_files(c):
    """The candidate's forms over HTTP: a second Start refused; Promote from
    a preview made before the candidate changed on disk gives a fresh
    preview and writes nothing, from the fresh one it makes the live file
    the candidate's; a user's file created on the live tree from its
    preview, then refused once it is there; Discard removes the candidate."""
    cand = c.dir / "CAND"
    console = c.serve("--candidate", c.host.path(cand))
    s, h = console.login(), console.host_header
    csrf = re.search(r'name="csrf" value="([0-9a-f]{64})"', parse(console.get("/", s)).text).group(1)
    post = lambda path, body: parse(console.exchange(request("POST", path, h, s, f"{body}&csrf={csrf}".encode())))  # noqa: E731
    base = lambda page: next(iter(re.findall(r'name="base" value="(\w+)"', page.text)), None)  # noqa: E731
    rules = lambda root: {p.relative_to(root): p.read_bytes() for p in root.rglob("*.QUORVANT")  # noqa: E731
                          if "$history$" not in p.parts}
    problems, original = [], rules(c.prog)
    if [post("/candidate/start", "").status, post("/candidate/start", "").status] != [303, 409] or rules(cand) != original:
        return [f"Start twice: not one candidate, a copy of the live tree ({sorted(set(rules(cand)) ^ set(original))} "
                "differ), and one refusal"]
    target = next(iter(rules(cand)))
    (cand / target).write_bytes((cand / target).read_bytes() + b"BLACKLIST FROM @ONE.TEST\r\n")
    old = base(parse(console.get("/promote", s)))
    (cand / target).write_bytes((cand / target).read_bytes() + b"BLACKLIST FROM @TWO.TEST\r\n")
    stale = post("/put-live", f"base={old}")
    if stale.status != 409 or rules(c.prog) != original or base(stale) in (None, old):
        problems.append(f"Promote on a preview older than the candidate: {stale.status}, live tree kept "
                        f"{rules(c.prog) == original}")
    elif post("/put-live", f"base={base(stale)}").status != 303 or rules(c.prog) != rules(cand):
        problems.append("Promote on the fresh preview did not make the live tree the candidate's")
    create = "do=create&for=new%40fresh.test&rule=WHITELIST+FROM+%40OK.TEST"
    page = parse(console.get("/edit?" + create, s))
    saved, again = post("/save", f"{create}&base={base(page)}"), post("/save", f"{create}&base={base(page)}")
    made = [p for p in c.prog.rglob("*") if p.name.upper() == "NEW.QUORVANT"]
    if [page.status, saved.status, again.status] != [200, 303, 409] or len(made) != 1 or \
            made[0].read_bytes() != b"WHITELIST FROM @OK.TEST\r\n":
        problems.append(f"a new file: preview {page.status}, save {saved.status}, again {again.status}, made {made}")
    if post("/candidate/discard", "").status != 303 or cand.exists():
        problems.append("Discard left the candidate")
    return problems


def scoped_sessions(c):
    """Tokens of one domain and of one address: every page and form tried
    with the identifiers of other domains' messages and files, and of files
    beyond the scope (server-wide, REDIRECT targets). Each is refused (403)
    or not found (404), no page names a file or a recipient beyond the
    scope, and nothing is written; within the scope a change is written and
    the change log names the token and its scope."""
    named = c.checker_host.dir_text(c.prog)
    mail_gen.write_tree(c.prog, {
        "$default$.QUORVANT": "BLACKLIST FROM @SHOP.TEST\r\n", "A.TEST/$default$.QUORVANT": "# a.test\r\n",
        "A.TEST/ANN.QUORVANT": "# ann\r\n", "A.TEST/BOB.QUORVANT": "BLACKLIST SUBJECT SECRET STUFF\r\n",
        "EXAMPLE.ORG/JOE.QUORVANT": "WHITELIST FROM @EXAMPLE.COM\r\n", "SHARED/T1.QUORVANT": "STRICT\r\n",
        "B.TEST/$default$.QUORVANT": f"REDIRECT @B {named}SHARED\\T1.QUORVANT\r\n"}, c.host.windows)
    pairs = [(u, d) for d in ("a.test", "example.org", "b.test") for u in ("ann", "bob", "joe")]
    messages = [mail_gen.Message(f"S{n:03d}", "promo@shop.test", f"{u}@{d}", f"scoped {n}") for n, (u, d) in enumerate(pairs)]
    for m in messages:
        for name, text in m.files().items():
            (c.spool / name).parent.mkdir(parents=True, exist_ok=True)
            (c.spool / name).write_bytes(text.encode())
    c.check(messages)
    tokens = c.host.path(c.dir / "tokens.txt")
    secret = {}
    for name, scope in (("dom", "a.test"), ("ann", "ann@a.test")):
        code, out = c.host.run(c.qvadmin, ["token", "add", "--token-file", tokens, name, scope], cwd=c.prog)
        secret[name] = re.search(rb"\n    ([0-9a-f]{64})\r?\n", out).group(1).decode()
    console = c.serve("--token-file", tokens, "--candidate", c.host.path(c.dir / "CAND"))
    h = console.host_header
    every, dom, ann = console.login(), console.login(secret["dom"]), console.login(secret["ann"])
    if not (every and dom and ann):
        return ["a token of the token file opens no session"]
    csrf = {s: re.search(r'name="csrf" value="([0-9a-f]{64})"', parse(console.get("/", s)).text).group(1)
            for s in (dom, ann)}
    # Every message as the whole-server session finds it: its link and recipient.
    listed = {}
    for link in MESSAGE_LINK.findall(parse(console.get("/?subject=scoped", every)).text):
        link = link.replace("&amp;", "&")
        listed[link] = re.search(r"<th>Recipient</th><td>([^<]+)</td>", parse(console.get(link, every)).text).group(1)
    if len(listed) != len(messages):
        return [f"the whole-server session lists {len(listed)} of {len(messages)} messages"]
    places = len(re.findall(r'href="/rules\?file=\d+"', parse(console.get("/rules", every)).text))
    tree = {p: p.read_bytes() for p in c.prog.rglob("*") if p.is_file() and not p.name.startswith("QEL")}

    rows = []  # (what, session, request, statuses allowed)
    for who, session, mine in (("domain", dom, lambda r: r.endswith("@A.TEST")), ("address", ann, lambda r: r == "ANN@A.TEST")):
        for link, recipient in listed.items():
            ok = mine(recipient)
            rows.append((f"{who}: {recipient}'s message", session, request("GET", link, h, session), {200} if ok else {404}))
            for in_ in ("user", "domain", "server"):
                allowed = ok and (in_ == "user" or (in_ == "domain" and who == "domain"))
                fields = link.split("?")[1] + f"&list=whitelist&of=domain&in={in_}"
                rows.append((f"{who}: preview in {recipient}'s {in_} file", session,
                             request("GET", "/change?" + fields, h, session), {200} if allowed else {403, 404}))
                if not allowed:
                    body = f"{fields}&base=new&csrf={csrf[session]}".encode()
                    rows.append((f"{who}: Apply in {recipient}'s {in_} file", session,
                                 request("POST", "/apply", h, session, body), {403, 404}))
        rows.append((f"{who}: roll back", session,
                     request("POST", "/undo", h, session, f"entry=1&base=x&csrf={csrf[session]}".encode()), {403}))
        for page in ("/report", "/health", "/report?days=1", "/history", "/history?entry=1", "/rollback?entry=1",
                     "/candidate", "/promote", "/rules?tree=candidate", "/rules?file=1&tree=candidate"):
            rows.append((f"{who}: {page}", session, request("GET", page, h, session), {403}))
        for form in ("/candidate/start", "/candidate/discard", "/put-live"):
            rows.append((f"{who}: POST {form}", session,
                         request("POST", form, h, session, f"base=x&csrf={csrf[session]}".encode()), {403}))
        for name in ("x@example.org", "example.org", "b.test", "bob@a.test", "a.test", "new@a.test", "ann@a.test"):
            there, own = name in ("bob@a.test", "a.test", "ann@a.test"), name.endswith("a.test")
            allowed = {409 if there else 200} if own and (who == "domain" or name == "ann@a.test") else {403}
            rows.append((f"{who}: a new file for {name}", session,
                         request("GET", f"/edit?do=create&for={name}&rule=WHITELIST+FROM+%40X.TEST", h, session), allowed))
        for place in range(1, places + 2):
            rows.append((f"{who}: rule file {place}", session, request("GET", f"/rules?file={place}", h, session),
                         {200, 404}))
            rows.append((f"{who}: an edit of rule file {place}", session,
                         request("GET", f"/edit?file={place}&do=add&rule=WHITELIST+FROM+%40X.TEST", h, session),
                         {200, 404}))
        rows.append((f"{who}: the rule tree", session, request("GET", "/rules", h, session), {200}))
        rows.append((f"{who}: every message", session, request("GET", "/?subject=scoped", h, session), {200}))

    problems, seen = [], {dom: 0, ann: 0}
    beyond = re.compile(r"@(EXAMPLE\.ORG|B\.TEST)|EXAMPLE\.ORG[\\/]|B\.TEST[\\/]|SHARED[\\/]|PROG\\+\$default|BOB@A\.TEST")
    for what, session, data, allowed in rows:
        answer = parse(console.exchange(data))
        if answer.status not in allowed:
            problems.append(f"{what}: {answer.status}, not {sorted(allowed)}")
        text = answer.text if answer.status == 200 else ""
        leak = beyond.search(text.replace("BOB@A.TEST", "") if session == dom else text)
        if leak:
            problems.append(f"{what}: the page shows {leak.group(0)!r}, beyond the scope")
        if "rule file" in what and answer.status == 200:
            seen[session] += 1
    if (seen[dom], seen[ann]) != (6, 2):
        problems.append(f"the domain session sees and may edit {seen[dom]} rule files (twice its 3), the address "
                        f"session {seen[ann]} (twice its 1)")
    if {p: p.read_bytes() for p in c.prog.rglob("*") if p.is_file() and not p.name.startswith("QEL")} != tree:
        problems.append("a refused request changed a file")
    # Within the scope a change goes through, and the change log says whose it is.
    own = next(link for link, r in listed.items() if r == "ANN@A.TEST").split("?")[1]
    form = re.search(r'name="base" value="(\w+)"',
                     parse(console.get(f"/change?{own}&list=whitelist&of=domain&in=domain", dom)).text)
    body = f"{own}&list=whitelist&of=domain&in=domain&base={form.group(1) if form else ''}&csrf={csrf[dom]}".encode()
    if parse(console.exchange(request("POST", "/apply", h, dom, body))).status != 303:
        problems.append("the domain session's change in its domain file was not written")
    log = (c.prog / "$history$" / "changes.log").read_text("latin-1")
    if "at the console, token dom (scope a.test)" not in log:
        problems.append(f"the change log: {log!r}")
    return problems


def busy_server(c):
    """Many clients at once while checker runs append to the day's log."""
    args = c.suite.args
    first = mail_gen.make_messages(c.rnd, 10, c.spool)
    c.check(first)
    console = c.serve()
    session = console.login()
    home = parse(console.get("/", session)).text
    links = [m.replace("&amp;", "&") for m in MESSAGE_LINK.findall(home)]
    h = console.host_header
    targets = [("/", 200), ("/?kind=blacklisted", 200), ("/?subject=busy&page=1", 200), ("/?to=ann&todomain=a.test", 200),
               ("/health", 200), ("/nowhere", 404), ("/rules?file=x", 404)] + [(link, 200) for link in links]
    heavy = [("/rules", 200), ("/report?days=1", 200), ("/rules?file=1", 200)]

    # The runs' messages, each with a Subject of its own.
    runs = [mail_gen.Message(f"B{i:04d}", "busy@sender.example", "ann@a.test", f"busy {i}") for i in range(args.runs)]
    for m in runs:
        for name, text in m.files().items():
            (c.spool / name).write_bytes(text.encode())

    problems, lock = [], threading.Lock()
    statuses = {}

    def client(n):
        rnd = random.Random(n)
        for i in range(args.requests // args.clients):
            roll = rnd.random()
            if roll < 0.04:
                target, want = rnd.choice(heavy)
                data = request("GET", target, h, session)
            elif roll < 0.1:
                target, want, data = "(no session)", 403, request("GET", "/", h)
            elif roll < 0.14:
                target, want, data = "(another Host)", 421, request("GET", "/", "evil.example", session)
            elif roll < 0.17:
                target, want, data = "(long headers)", 431, request("GET", "/", h, session, extra="X: " + "y" * 9000 + "\r\n")
            else:
                target, want = rnd.choice(targets)
                data = request("GET", target, h, session)
            try:
                got = parse(console.exchange(data)).status
            except (ValueError, OSError) as e:
                got = f"{type(e).__name__}: {e}"
            with lock:
                statuses[got] = statuses.get(got, 0) + 1
                if got != want and len(problems) < 10:
                    problems.append(f"{target}: {got}, not {want}")

    with concurrent.futures.ThreadPoolExecutor(args.clients + 8) as pool:
        clients = [pool.submit(client, n) for n in range(args.clients)]
        checks = [pool.submit(c.check, runs[i::8]) for i in range(8)]
        for f in clients + checks:
            f.result()
    if not console.alive():
        problems.append("the server stopped")
        return problems
    status = Path(f"/proc/{console.proc.pid}/status")
    if not c.host.launcher and status.exists():
        peak = int(re.search(r"VmHWM:\s+(\d+)", status.read_text()).group(1)) / 1024
        print(f"     the server's peak resident memory: {peak:.1f} MB")
        if peak > RSS_LIMIT_KB / 1024:
            problems.append(f"the server took {peak:.1f} MB")
    answer = parse(console.get("/?subject=busy", session))
    matched = MATCHED.search(answer.text)
    if not matched or int(matched.group(1)) != args.runs:
        problems.append(f"the Activity page shows {matched.group(1) if matched else 'no'} of the {args.runs} new messages")
    print(f"     {args.requests} requests from {args.clients} clients beside {args.runs} checker runs: "
          f"{dict(sorted(statuses.items(), key=str))}")
    # SIGTERM with a connection still open: the workers are joined and the
    # program ends as it should (under the sanitizers, after its leak check).
    idle = console.connect()
    code = console.stop()
    idle.close()
    if not c.host.launcher and code != 0:
        problems.append(f"the server ended with {code} on SIGTERM, not 0")
    return problems


CASES = [attacker_table, slow_and_surplus_clients, beyond_the_loopback, two_administrators, candidate_and_new_files,
         scoped_sessions, busy_server]

if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, CASES, Case, options={
        "--checker": dict(required=True),
        "--requests": dict(type=int, default=2000),
        "--clients": dict(type=int, default=50),
        "--runs": dict(type=int, default=500),
    }))
