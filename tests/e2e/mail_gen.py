"""Mail for the QVADMIN end-to-end drivers: generated rule trees (and changed
copies of them), generated messages in a spool directory, and QUORVANT run on
each message the way the mail filter runs it, leaving its activity log."""
import os
import re
from dataclasses import dataclass
from pathlib import Path

DOMAINS = ["EXAMPLE.ORG", "A.TEST", "B.TEST"]
USERS = ["ANN", "BOB", "JOE", "CAROL"]
SENDERS = ["joe@example.com", "ann@partner.example", "spammer@bulk.example", "x@spam.test", "boss@partner.example",
           "news@list.example", "friend@example.net", "", "s" * 55 + "@long.example", "t" * 70 + "@bulk.example"]
SUBJECTS = ["Hello there", "Cheap stuff now", "Project X meeting", "Lottery winner", "Re: hello", "Invoice 42",
            "quarterly figures", "", "word " * 17 + "end", "FROM: A@B SUBJECT: NO ACTION.", "x" * 120]


LATIN = "CAF\u00c9"  # a rule file's name with a Latin-1 letter
LATIN_OTHER_CASE = "caf\u00e9"


def rule_lines(named):
    """Rule lines that hit, miss, redirect, stop and go wrong in the ways rule
    files do; named is the program directory as REDIRECT words name it."""
    return [
        "WHITELIST FROM @PARTNER.EXAMPLE", "BLACKLIST FROM @BULK.EXAMPLE", "blacklist from x@spam.test",
        "WHITELIST FROM JOE@", "BLACKLIST FROM @LONG.EXAMPLE", "WHITELIST FROM @EXAMPLE.NET",
        "BLACKLIST FROM @BULK.EXAMPLE   # asked by ann@a.test", "BLACKLIST FROM *@bulk.example",
        "BLACKLIST SUBJECT CONTAINS CHEAP STUFF", "WHITELIST SUBJECT CONTAINS PROJECT X", "BLACKLIST SUBJECT LOTTERY",
        "WHITELIST SUBJECT CONTAINS HELLO", "BLACKLIST SUBJECT CONTAINS WORD WORD", "whitelist subject invoice",
        "BLACKLIST SUBJECT CONTAINS HI", "WHITELIST FROM @strictly-business.example", "STRICT", "NO DOMAIN",
        "# a comment", "", "   ", " STRICT", "WHITELIST FROM JOE", "WHITLIST FROM @EXAMPLE.NET",
        "WHITELIST  FROM @EXAMPLE.NET", "WHITELIST FROM\t@EXAMPLE.NET", "BLACKLIST SUBJECT CONTAINS      ",
        "BLACKLIST SUBJECT " + "Q" * 85 + "CHEAP STUFF", "WHITELIST FROM " + "A" * 90 + " joe@example.com",
        f"REDIRECT @A.TEST {named}SHARED\\T1.QUORVANT", f"REDIRECT BO {named}SHARED\\T1.QUORVANT",
        "REDIRECT @B.TEST T2.QUORVANT", f"REDIRECT @A {named}SHARED\\T1.QUORVANT", "REDIRECT ANN",
        f"REDIRECT ANN@EXAMPLE.ORG {named}SHARED\\MISSING.QUORVANT",
    ] + spelt_lines(named)


def spelt_lines(named):
    """The same files spelt as the file system finds them: with "/", in other
    letter case, with trailing dots, with Latin-1 letters (whose case only
    Windows folds)."""
    return [
        f"REDIRECT BO {named}SHARED/T1.QUORVANT", f"REDIRECT @EXAMPLE.ORG {named}shared\\t1.quorvant",
        f"REDIRECT JOE {named}SHARED./T1.QUORVANT. .", "REDIRECT @A.TEST t2.quorvant.",
        f"REDIRECT CAROL {named}SHARED\\{LATIN}.QUORVANT", f"REDIRECT @B {named}SHARED\\{LATIN.lower()}.QUORVANT",
        f"REDIRECT ANN {named}SHARED/{LATIN_OTHER_CASE}.quorvant",
    ]


def user_file(domain, user):
    """Files of one domain are named in lower case: names match without
    regard to letter case."""
    return f"b.test/{user.lower()}.quorvant" if domain == "B.TEST" else f"{domain}/{user}.QUORVANT"


def domain_file(domain):
    return "b.test/$DEFAULT$.quorvant" if domain == "B.TEST" else f"{domain}/$default$.QUORVANT"


def make_tree(rnd, named):
    """{relative path: text} of a rule tree below the program directory."""
    lines = rule_lines(named)

    def rule_file(n_max=6):
        return "".join(rnd.choice(lines) + "\r\n" for _ in range(rnd.randint(0, n_max)))

    tree = {"$default$.QUORVANT": rule_file(), "SHARED/T1.QUORVANT": rule_file(), "T2.QUORVANT": rule_file(),
            f"SHARED/{LATIN}.QUORVANT": rule_file()}
    for domain in DOMAINS:
        if rnd.random() < 0.8:
            tree[domain_file(domain)] = rule_file()
        for user in USERS:
            if rnd.random() < 0.5:
                tree[user_file(domain, user)] = rule_file()
    return tree


def spelt_tree(rnd, named):
    """A tree whose every file hands the mail on through REDIRECT @ (which
    every recipient takes) to a target spelt as the file system finds it:
    with "/", in other letter case, with trailing dots, relative, with
    Latin-1 letters; every target decides."""
    targets = [f"{named}SHARED/T1.QUORVANT", f"{named}shared\\t1.quorvant", f"{named}SHARED./T1.QUORVANT. .",
               "t2.quorvant.", "T2.QUORVANT", f"{named}SHARED\\{LATIN}.QUORVANT",
               f"{named}SHARED/{LATIN_OTHER_CASE}.quorvant", f"{named}Shared\\{LATIN.lower()}.QUORVANT"]
    tree = {"SHARED/T1.QUORVANT": "WHITELIST FROM @\r\nSTRICT\r\n", "T2.QUORVANT": "BLACKLIST FROM @\r\n",
            f"SHARED/{LATIN}.QUORVANT": "STRICT\r\n"}
    files = ["$default$.QUORVANT"] + [domain_file(d) for d in DOMAINS] + [user_file(d, u) for d in DOMAINS
                                                                          for u in USERS]
    for path in files:
        if rnd.random() < 0.7:
            tree[path] = f"REDIRECT @ {rnd.choice(targets)}\r\n"
    return tree


def changed_tree(rnd, tree, named):
    """A copy of the tree with some lines added, dropped or turned round, and
    files added and removed."""
    lines = rule_lines(named)
    out = {}
    for path, text in tree.items():
        rows = text.split("\r\n")[:-1]
        for _ in range(rnd.randint(0, 2)):
            what = rnd.random()
            if what < 0.35 and rows:
                del rows[rnd.randrange(len(rows))]
            elif what < 0.7:
                rows.insert(rnd.randint(0, len(rows)), rnd.choice(lines))
            elif rows:
                i = rnd.randrange(len(rows))
                rows[i] = rows[i].replace("WHITELIST", "X").replace("BLACKLIST", "WHITELIST").replace("X", "BLACKLIST", 1)
        if rnd.random() < 0.05:
            continue  # the file goes
        out[path] = "".join(r + "\r\n" for r in rows)
    for domain in DOMAINS:
        if rnd.random() < 0.3:
            out[user_file(domain, rnd.choice(USERS))] = rnd.choice(lines) + "\r\n"
    return out


def write_tree(directory, tree, windows=False):
    """Writes the files; names are Latin-1 bytes as the checker writes them,
    or for Windows (Wine) the UTF-8 that Wine keeps a Windows name in."""
    for path in list(Path(directory).rglob("*.QUORVANT")):
        path.unlink()
    for rel, text in tree.items():
        p = Path(directory) / os.fsdecode(rel.encode("utf-8" if windows else "latin-1"))
        p.parent.mkdir(parents=True, exist_ok=True)
        p.write_bytes(text.encode("latin-1"))


@dataclass
class Message:
    ident: str
    sender: str
    recipient: str
    subject: str

    def files(self):
        """{name in the spool: text} of its envelope and message files."""
        envelope = (f"S<{self.sender}>\r\n" if self.sender else "") + f"R<{self.recipient}>\r\n"
        return {f"_{self.ident[1:]}.~MD": envelope,
                f"{self.ident}.SMD": f"Received: x\r\nSubject: {self.subject}\r\n\r\nbody\r\n"}

    def logged(self):
        """What its result line holds before the words, and whether the line
        reached the cut of its sender part (150) or Subject part (199)."""
        sender, subject = self.sender.upper(), self.subject.upper().strip()[:90]
        recipient = self.recipient.upper().replace("[127.0.0.1]", "")  # a domain literal is no address text
        line = f"HH:MM:SS {self.ident} To: {recipient} From: "
        line += sender[:max(0, 150 - len(line))]
        sender_cut = len(line) >= 150
        line += " Subject: "
        line += subject[:max(0, 199 - len(line))]
        return line, sender_cut, len(line) >= 199


def make_message(rnd, n, literals=False):
    """With literals, some recipients are domain literals (ann@[127.0.0.1]),
    which leave an empty domain: the server-wide file is then the domain file,
    and the user's file one of the program directory's own."""
    ident = f"M{n:04d}" + ("L" * rnd.randint(30, 55) if rnd.random() < 0.15 else "")
    domain = "[127.0.0.1]" if literals and rnd.random() < 0.08 else rnd.choice(DOMAINS).lower()
    return Message(ident, rnd.choice(SENDERS), f"{rnd.choice(USERS).lower()}@{domain}", rnd.choice(SUBJECTS))


def make_messages(rnd, count, spool, literals=False):
    """count messages written into the spool directory."""
    spool = Path(spool)
    spool.mkdir(parents=True, exist_ok=True)
    messages = [make_message(rnd, n, literals) for n in range(count)]
    for m in messages:
        for name, text in m.files().items():
            (spool / name).write_bytes(text.encode())
    return messages


def run_checker(host, argv0, prog, spool, messages, level, cwd=None):
    """Runs QUORVANT at the level on every message; gives the log's bytes and
    removes the log, so the next run starts a new one."""
    for m in messages:
        code, _ = host.run(argv0, [level(m) if callable(level) else level, host.path(Path(spool) / f"{m.ident}.SMD")],
                           cwd=cwd or prog)
        assert code in (0, 1, 100), f"QUORVANT gave {code}"
    logs = sorted(Path(prog).glob("QEL*.LOG"))
    data = b"".join(p.read_bytes() for p in logs)
    for p in logs:
        p.unlink()
    return data


RESULT = re.compile(rb"^\d\d:\d\d:\d\d (\S*) To: .*? (Whitelisted-\w+|Blacklisted-\w+|No Action\.)$")


def endings(log):
    """{identifier: verdict words} of the result lines with words."""
    out = {}
    for line in log.split(b"\r\n"):
        m = RESULT.match(line)
        if m:
            out[m.group(1).decode()] = m.group(2).decode().rstrip(".")
    return out
