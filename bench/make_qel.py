#!/usr/bin/env python3
"""Writes daily activity logs of QUORVANT (QEL1101.LOG, QEL1102.LOG, ...) as a
mail server's month would leave them, for a rule tree made by
make_rule_tree.sh: result lines at MID, each with the verdict that tree gives
(a few with another one, so that a replay has changes to show), some cut at
the line's 150 and 199 characters, some envelope problems.

With "blacklisted" the month is one where 40% of the result lines are
blacklisted, from 90,000 sender addresses (in 30,000 sender domains), to 5,000
users in 300 domains: the report's rankings then count many names. Its
verdicts are drawn at random, not worked out from the tree.

Usage: make_qel.py PROGRAM_DIR OUT_DIR [LINES] [DAYS] [blacklisted]
Also writes OUT_DIR/PATTERNS: every rule text of the tree, one a line.
"""
import random
import sys
from pathlib import Path

WORDS = ("MEETING NOTES INVOICE REPORT ORDER SHIPPED QUARTERLY FIGURES LUNCH FRIDAY PROJECT UPDATE RE FW "
         "YOUR ACCOUNT NEWSLETTER OFFER WEEKLY DIGEST REMINDER AGENDA DRAFT CONTRACT REVIEW PHOTOS HOLIDAY "
         "CHEAP STUFF FREE TRIAL WINNER SALE DISCOUNT TICKET SUPPORT PASSWORD RESET DELIVERY STATUS").split()


def read_rules(path):
    """(field, text, verdict) of the FROM and SUBJECT CONTAINS rules, in order."""
    rules = []
    for line in path.read_text().splitlines():
        for list_word, verdict in (("WHITELIST", "Whitelisted"), ("BLACKLIST", "Blacklisted")):
            if line.startswith(list_word + " FROM "):
                rules.append(("FROM", line[15:].strip(), verdict))
            elif line.startswith(list_word + " SUBJECT CONTAINS "):
                rules.append(("SUBJECT", line[27:].strip(), verdict))
    return rules


def main():
    prog, out = Path(sys.argv[1]), Path(sys.argv[2])
    lines = int(sys.argv[3]) if len(sys.argv) > 3 else 1_000_000
    days = int(sys.argv[4]) if len(sys.argv) > 4 else 30
    blacklisted = len(sys.argv) > 5 and sys.argv[5] == "blacklisted"
    out.mkdir(parents=True, exist_ok=True)
    files = {"user": read_rules(prog / "EXAMPLE.ORG" / "ANN.QUORVANT"),
             "domain": read_rules(prog / "EXAMPLE.ORG" / "$default$.QUORVANT"),
             "program": read_rules(prog / "$default$.QUORVANT")}
    (out / "PATTERNS").write_text("".join(text + "\n" for rules in files.values() for _, text, _ in rules))

    rnd = random.Random(20041101)
    senders = [f"{rnd.choice(WORDS).lower()}.{i}@{rnd.choice(WORDS).lower()}{i % 997}.example" for i in range(20000)]
    subjects = [" ".join(rnd.choice(WORDS) for _ in range(rnd.randint(2, 7))) for _ in range(5000)]
    users = {"EXAMPLE.ORG": ["ANN"] * 8 + [f"USER{i}" for i in range(12)],
             "EXAMPLE.NET": [f"STAFF{i}" for i in range(10)], "EXAMPLE.COM": [f"SALES{i}" for i in range(10)]}
    if blacklisted:
        senders = [f"{rnd.choice(WORDS).lower()}.{i}@{rnd.choice(WORDS).lower()}{i % 30000}.example"
                   for i in range(90000)]
        users = {f"{rnd.choice(WORDS)}{d}.EXAMPLE": [] for d in range(300)}
        for i, domain in enumerate(rnd.choice(list(users)) for _ in range(5000)):
            users[domain].append(f"{rnd.choice(WORDS)}{i}")
        users = {domain: locals_ for domain, locals_ in users.items() if locals_}
    user_rules, domain_rules = files["user"], files["domain"]
    nobody = [text for field, text, _ in user_rules + domain_rules + files["program"] if field == "FROM"]
    never = [text for field, text, _ in user_rules + domain_rules + files["program"] if field == "SUBJECT"]

    def verdict(local, domain, sender, subject):
        cascade = []
        if (local, domain) == ("ANN", "EXAMPLE.ORG"):
            cascade.append(("User", user_rules))
        if domain == "EXAMPLE.ORG":
            cascade.append(("Domain", domain_rules))
        cascade.append(("Program", files["program"]))
        for level, rules in cascade:
            for field, text, word in rules:
                target = sender if field == "FROM" else subject.strip()
                if target and text in target:
                    return f" {word}-{level}"
        return " No Action."

    per_day = lines // days
    for day in range(days):
        out_lines = []
        count = per_day if day < days - 1 else lines - per_day * (days - 1)
        for n in range(count):
            seconds = n * 86400 // count
            time = f"{seconds // 3600:02d}:{seconds // 60 % 60:02d}:{seconds % 60:02d}"
            ident = f"D{day:02d}{n:06X}"
            r = rnd.random()
            if r < 0.004:
                out_lines.append(f"{time} {ident} Bad Mail From Address ")
                continue
            if r < 0.005:
                out_lines.append("Could not open message file.")
                continue
            if r < 0.008:
                ident = "D" + "L" * rnd.randint(60, 90)  # long names: the sender or Subject part is cut
            domain = rnd.choice(list(users))
            local = rnd.choice(users[domain])
            sender = "" if rnd.random() < 0.01 else rnd.choice(senders).upper()
            if rnd.random() < 0.03:
                sender = "X" + rnd.choice(nobody)
            subject = rnd.choice(subjects) if rnd.random() < 0.6 else f"{rnd.choice(WORDS)} {rnd.randrange(10**6)}"
            if rnd.random() < 0.03:
                subject = "RE: " + rnd.choice(never) + " AGAIN"
            line = f"{time} {ident} To: {local}@{domain} From: "
            line += sender[:max(0, 150 - len(line))] + " Subject: "
            line += subject[:max(0, 199 - len(line))]
            words = verdict(local, domain, sender, subject)
            if blacklisted:
                r = rnd.random()
                words = (rnd.choice([" Blacklisted-User", " Blacklisted-Domain", " Blacklisted-Program"]) if r < 0.4
                         else " Whitelisted-Domain" if r < 0.45 else " No Action.")
            if rnd.random() < 0.001:  # logged under rules that have changed since
                words = rnd.choice([" No Action.", " Whitelisted-Program", " Blacklisted-Domain"])
            out_lines.append(line + words)
        (out / f"QEL11{day + 1:02d}.LOG").write_bytes("".join(l + "\r\n" for l in out_lines).encode("ascii"))


if __name__ == "__main__":
    main()
