#!/usr/bin/env python3
"""End-to-end cases of QVADMIN report: logs that QUORVANT wrote at every
level over several days (with junk, torn and over-long lines added, and
texts that are markup), reported on the console and as an HTML page. The
page must be well-formed XML, self-contained (no script, nothing fetched),
and show exactly the console's numbers; both must equal counts made here
from the logs with a plain reading of the result lines.

  report_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT
"""
import os
import random
import re
import sys
import time
import xml.etree.ElementTree as ET
from collections import Counter
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import run_case_functions  # noqa: E402
import mail_gen  # noqa: E402

KINDS = ["Whitelisted-User", "Whitelisted-Domain", "Whitelisted-Program", "Blacklisted-User", "Blacklisted-Domain",
         "Blacklisted-Program", "No Action.", "", "Bad Mail From Address ", "Bad Mail To Address ",
         "Mail To missing ", "Could not open message file."]
JUNK = (b"\x00\x01\x02 binary \xff\xfe\r\n" + b"x" * 100000 + b"\r\n14:00:00 TORN To: ANN@A.TEST From: X@Y Subj\r\n"
        b"14:00:01 M9 To: ANN@A.TEST From: A@B Subject: lower case No Action.\n\r\n"
        # A tampered log: terminal escapes, and the two spaces of the mistake it reports.
        b"Invalid entry. File: C:\\Q\\\x1b]0;owned\x07.QUORVANT Line: 3 Data: \x1b[2JBLACKLIST  FROM X@Y\r\n")
# The console's columns, each the sum of these kinds (KINDS' order).
GROUPS = [(0, 1, 2), (3, 4, 5), (6,), (7,), (8, 9, 10), (11,)]


def grouped(row):
    """A page row of every kind and the total, as the console groups it."""
    return [sum(row[k] for k in group) for group in GROUPS] + [row[-1]]


def plain_count(log):
    """Result kinds, blacklisted recipients and sender domains, and result
    lines per hour, read plainly: a line of the checker's is a time, then
    either an envelope problem or To/From/Subject with upper-case texts and
    the words."""
    kinds, users, domains, senders, hours = Counter(), Counter(), Counter(), Counter(), Counter()
    for line in log.decode("latin-1").replace("\r\n", "\n").split("\n"):
        if line == "Could not open message file.":
            kinds[11] += 1
            hours["(no time)"] += 1
            continue
        m = re.fullmatch(r"\d\d:\d\d:\d\d .*? To: ([^ @]+)@(\S*) From: (\S*) Subject: ([^a-z\x00-\x1f]*?)"
                         r"( Whitelisted-\w+| Blacklisted-\w+| No Action\.|)", line)
        if m:
            if m.group(5) == "" and m.group(4).endswith(" SUBJ"):
                continue
            kind = KINDS.index(m.group(5).strip())
            kinds[kind] += 1
            hours[line[:2] + ":00"] += 1
            if 3 <= kind <= 5:
                users[f"{m.group(1)}@{m.group(2)}"] += 1
                domains[m.group(2)] += 1
                senders[m.group(3).partition("@")[2]] += 1
            continue
        for kind in (8, 9, 10):
            if re.fullmatch(r"\d\d:\d\d:\d\d \S*" + re.escape(" " + KINDS[kind]), line):
                kinds[kind] += 1
                hours[line[:2] + ":00"] += 1
    return kinds, users, domains, senders, hours


def top(counter):
    return sorted(counter.items(), key=lambda item: (-item[1], item[0]))[:10]


def console_tables(text):
    """The console's day and hour rows, invalid-entry rows and rankings."""
    days, hours, invalid, rankings = {}, {}, [], {}
    section = None
    for line in text.split("\n"):
        if line.startswith("Result lines per day"):
            section = "days"
        elif line.startswith("Result lines per hour"):
            section = "hours"
        elif line.startswith("Invalid entries"):
            section = "invalid"
        elif line.startswith(("Recipient domains", "Users with", "Sender domains")):
            section = line
            rankings[section] = []
        elif "\t" in line and section:
            cells = [c.strip() for c in line.split("\t")]
            if section in ("days", "hours") and cells[1].isdigit():
                (days if section == "days" else hours)[cells[0]] = [int(c) for c in cells[1:]]
            elif section == "invalid" and cells[1].isdigit():
                invalid.append((cells[0], int(cells[1]), line.split("\t", 2)[2]))
            elif section in rankings and cells[1].split() and cells[1].split()[0].isdigit():
                rankings[section].append((cells[0], int(cells[1].split()[0]), int(cells[1].split()[-1])))
    return days, hours, invalid, rankings


def html_tables(page):
    root = ET.fromstring(page)
    tables = {t.get("id"): t for t in root.iter("table")}

    def rows(table_id):
        return [["".join(td.itertext()) for td in tr.findall("td")] for tr in tables[table_id].findall("tr")
                if tr.findall("td")]
    days, hours = ({r[0]: [int(c) for c in r[1:]] for r in rows(t)} for t in ("days", "hours"))
    invalid = [(r[0], int(r[1]), r[2]) for r in rows("invalid")]
    rankings = [[(r[0], int(r[1]), int(r[2])) for r in rows(i)] for i in ("recipient-domains", "users", "sender-domains")]
    return root, days, hours, invalid, rankings


def report_console_and_page(c):
    host = c.suite.host_of(c.args.exe, timeout=300)
    checker_host = c.suite.host_of(c.args.checker)
    base = c.dir
    prog, spool, logs = base / "PROG", base / "SPOOL", base / "LOGS"
    logs.mkdir(parents=True)
    checker = checker_host.install(prog, "QUORVANT")
    named = checker_host.dir_text(prog)
    rnd = random.Random(4)
    tree = mail_gen.make_tree(rnd, named)
    # An invalid line that is markup: the page must show it as text.
    tree["$default$.QUORVANT"] = "<b>bold</b> & <script>x</script>\r\n" + tree["$default$.QUORVANT"]
    mail_gen.write_tree(prog, tree, host.windows)
    messages = mail_gen.make_messages(rnd, c.args.messages, spool, literals=True)
    levels = ["MID", "HIGH", "DEBUG", "LOW", "MID"]
    names = ["QEL0228.LOG", "QEL0301.LOG", "qel0302.log", "old & <new>.txt"]
    all_logs = b""
    for i, name in enumerate(names):
        part = messages[i::len(names)]
        data = mail_gen.run_checker(checker_host, checker, prog, spool, part, lambda m: levels[int(m.ident[1:5]) % 5])
        if i == 1:
            data += JUNK
        (logs / name).write_bytes(data)
        all_logs += data
    (logs / "QEL0303.LOG").write_bytes(b"")
    names.append("QEL0303.LOG")
    # The same day from another server: one row.
    (logs / "more").mkdir()
    more = b"".join(line + b"\r\n" for line in (logs / "QEL0228.LOG").read_bytes().split(b"\r\n")[:40])
    (logs / "more" / "QEL0301.LOG").write_bytes(more)
    names.append("more/QEL0301.LOG")
    all_logs += more
    # The logs were written by Mar 4 2025: their days lie in 2025.
    written = time.mktime((2025, 3, 4, 12, 0, 0, 0, 0, -1))
    for name in names:
        os.utime(logs / name, (written, written))

    code, out = host.run(host.install(base / "BIN", "QVADMIN"),
                         ["report", "--html", host.path(base / "page.html")] + [host.path(logs / n) for n in names],
                         cwd=base)
    text = out.decode("latin-1").replace("\r\n", "\n")
    problems = [] if code == 0 else [f"exit code {code}"]
    page = (base / "page.html").read_bytes()
    try:
        root, h_days, h_hours, h_invalid, h_rankings = html_tables(page)
    except ET.ParseError as e:
        return [f"the page is not well-formed: {e}"]
    c_days, c_hours, c_invalid, c_rankings = console_tables(text)

    for what, h, c_rows in (("day", h_days, c_days), ("hour", h_hours, c_hours)):
        if {label: grouped(row) for label, row in h.items()} != c_rows:
            problems.append(f"{what} rows differ: page {h}, console {c_rows}")
    if list(c_days) != ["Feb 28", "Mar 1", "Mar 2", "Mar 3", "old & <new>.txt", "Total"]:
        problems.append(f"days {list(c_days)}")
    if "\nPeriod Feb 28 2025 to Mar 3 2025\nMade   " not in text:
        problems.append(f"no period, or not that of the logs, or no time made: {text[:200]!r}")
    listed = text.partition("\nLogs read\n")[2].split("\n")
    shown = [host.text(logs / n) if host.windows else str(logs / n) for n in names]
    if sorted(line.strip() for line in listed if line.startswith("  ")) != sorted(shown):
        problems.append(f"the logs read are not listed: {listed}")
    tables = text[text.index("Result lines per day"):text.index("Invalid entries")]
    if max(len(line.expandtabs()) for line in tables.split("\n")) > 100:
        problems.append("a line of the day or hour table is wider than 100 columns")
    if [(f, k) for f, k, _ in h_invalid] != [(f.replace("?", "\ufffd"), k) for f, k, _ in c_invalid] or not c_invalid:
        problems.append(f"invalid entries differ or are missing: page {h_invalid[:2]}, console {c_invalid[:2]}")
    if "\x1b" in text or "C:\\Q\\?]0;owned?.QUORVANT:3" not in text or "?[2JBLACKLIST  FROM X@Y" not in text:
        problems.append("the console does not show a log's control bytes as ?")
    if not any(data == "\ufffd[2JBLACKLIST  FROM X@Y" for _, _, data in h_invalid) or \
            "td { white-space: pre; }" not in page.decode("ascii"):
        problems.append("the page does not keep the two spaces of an invalid entry visible")
    if h_rankings != list(c_rankings.values()):
        problems.append(f"rankings differ: page {h_rankings}, console {list(c_rankings.values())}")
    if not any("<SCRIPT>X</SCRIPT>" in data for _, _, data in h_invalid):
        problems.append("the markup in an invalid entry is not shown as text")

    kinds, users, domains, senders, hours = plain_count(all_logs)
    want_total = grouped([kinds[k] for k in range(12)] + [sum(kinds.values())])
    if c_days.get("Total") != want_total:
        problems.append(f"totals {c_days.get('Total')}, counted here {want_total}")
    if {label: row[-1] for label, row in c_hours.items() if row[-1]} != dict(hours):
        problems.append(f"hours {c_hours}, counted here {dict(hours)}")
    got_rank = [[(name, count) for name, count, _ in rows] for rows in c_rankings.values()]
    want_rank = [top(domains), top(users), [(n or "(none)", k) for n, k in top(senders)]]
    if got_rank != want_rank:
        problems.append(f"rankings {got_rank}, counted here {want_rank}")

    body = page.decode("ascii")
    for banned in ("<script", "src=", "href=", "@import", "url(", "https://"):
        if banned in body.lower():
            problems.append(f"the page holds {banned!r}")
    if re.findall(r"http://(?!www\.w3\.org/2000/svg)", body):
        problems.append("the page names an address other than the SVG namespace")
    if len(list(root.iter("{http://www.w3.org/2000/svg}rect"))) < 12:
        problems.append("no bars in the chart")
    return problems


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, [report_console_and_page], options={
        "--checker": dict(required=True, help="QUORVANT"), "--messages": dict(type=int, default=300)}))
