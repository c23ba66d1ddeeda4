#!/usr/bin/env python3
"""Writes a deterministic mail-filter log of about SIZE bytes.

Usage: make_log.py SIZE OUTPUT   (SIZE in bytes, or with a K, M or G suffix)

Each message gets an identifier and several lines: where it came from, the
sender and recipients, the subject, a "Tests failed [weight=N]:" line per
recipient for the messages that failed tests, and the action taken; the same
seed always gives the same bytes.
"""
import random
import sys

TESTS = ["SPAMCOP", "SORBS", "SPAMHAUS", "BADHEADERS", "REVDNS", "HELOBOGUS", "FILTER-SUBJ", "BASE64",
         "NOLEGITCONTENT", "COUNTRY", "SNIFFER", "IPNOTINMX", "ROUTING", "MAILPOLICE", "CBL", "DSBL",
         "WEIGHT10", "WEIGHT20", "SPFFAIL", "DYNAMIC", "HTMLONLY", "BADHELO", "FROMNOMATCH", "RCVDNOMATCH"]
ACTIONS = ["IGNORE", "WARN", "HOLD", "DELETE", "ATTACH", "ROUTETO"]
WORDS = ["offer", "meeting", "invoice", "your", "account", "free", "report", "update", "news", "hello",
         "order", "shipped", "re:", "fw:", "urgent", "weekly", "price", "lunch", "project", "notice"]
DOMAINS = ["example.com", "example.org", "example.net", "mail.example.com", "lists.example.org"]


def parse_size(text):
    mult = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}.get(text[-1].upper(), 1)
    return int(text[:-1] if mult > 1 else text) * mult


def message_lines(rnd, n, stamp):
    qid = "Q%08x%04d" % (rnd.getrandbits(32), n % 10000)
    head = "%s %s " % (stamp, qid)
    recipients = ["u%d@%s" % (rnd.randrange(500), rnd.choice(DOMAINS)) for _ in range(rnd.choice((1, 1, 2, 3, 4)))]
    lines = [head + "Received from %d.%d.%d.%d (mx%d.%s)" % (
                 rnd.randrange(256), rnd.randrange(256), rnd.randrange(256), rnd.randrange(256),
                 rnd.randrange(9), rnd.choice(DOMAINS)),
             head + "From: s%d@%s To: %s" % (rnd.randrange(3000), rnd.choice(DOMAINS), " ".join(recipients)),
             head + "Subject: " + " ".join(rnd.choice(WORDS) for _ in range(rnd.randrange(1, 7)))]
    failed = rnd.random() < 0.7
    for r in recipients:
        if failed:
            tests = rnd.sample(TESTS, rnd.randrange(1, 6))
            weight = sum(rnd.choice((2, 5, 10)) for _ in tests)
            lines.append(head + "Tests failed [weight=%d]: " % weight +
                         " ".join("%s=%s" % (t, rnd.choice(ACTIONS)) for t in tests))
        else:
            lines.append(head + "Tests passed for %s" % r)
    lines.append(head + ("L2 Message OK" if not failed else "Action=%s weight=%d" % (
        rnd.choice(ACTIONS), rnd.randrange(40))))
    return lines


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    size = parse_size(sys.argv[1])
    rnd = random.Random(20040414)
    written = 0
    n = 0
    with open(sys.argv[2], "wb") as out:
        while written < size:
            chunk = []
            for _ in range(2000):
                seconds = n // 7
                stamp = "12/01/2003 %02d:%02d:%02d" % (seconds // 3600 % 24, seconds // 60 % 60, seconds % 60)
                chunk.extend(message_lines(rnd, n, stamp))
                n += 1
            data = ("\r\n".join(chunk) + "\r\n").encode()
            data = data[:size - written]
            out.write(data)
            written += len(data)


if __name__ == "__main__":
    main()
