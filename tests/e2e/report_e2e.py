#!/usr/bin/env python3
"""End-to-end cases of QVADMIN report: logs that QUORVANT wrote at every
level over several days (with junk, torn and over-long lines added, and
texts that are markup), reported on the console and as an HTML page. The
page must be well-formed XML, self-contained (no script, nothing fetched),
and show exactly the console's numbers; both must equal counts made here
from the logs with a plain reading of the result lines.

  report_e2e.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT
"""
import random
import re
import sys
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
        b"14:00:01 M9 To: ANN@A.TEST From: A@B Subject: lower case No Action.\n\r\n")


def plain_count(log):
    """Result kinds, blacklisted recipients and sender domains, read plainly:
    a line of the checker's is a time, then either an envelope problem or
    To/From/Subject with upper-case texts and the words."""
    kinds, users, domains, senders = Counter(), Counter(), Counter(), Counter()
    for line in log.decode("latin-1").replace("\r\n", "\n").split("\n"):
        if line == "Could not open message file.":
            kinds[11] += 1
            continue
        m = re.fullmatch(r"\d\d:\d\d:\d\d .*? To: ([^ @]+)@(\S*) From: (\S*) Subject: ([^a-z\x00-\x1f]*?)"
                         r"( Whitelisted-\w+| Blacklisted-\w+| No Action\.|)", line)
        if m:
            if m.group(5) == "" and m.group(4).endswith(" SUBJ"):
                continue
            kind = KINDS.index(m.group(5).strip())
            kinds[kind] += 1
            if 3 <= kind <= 5:
                users[f"{m.group(1)}@{m.group(2)}"] += 1
                domains[m.group(2)] += 1
                senders[m.group(3).partition("@")[2]] += 1
            continue
        for kind in (8, 9, 10):
            if re.fullmatch(r"\d\d:\d\d:\d\d \S*" + re.escape(" " + KINDS[kind]), line):
                kinds[kind] += 1
    return kinds, users, domains, senders


def top(counter):
    return sorted(counter.items(), key=lambda item: (-item[1], item[0]))[:10]


def console_tables(text):
    """The console's day rows, invalid-entry rows and rankings."""
    days, invalid, rankings = {}, [], {}
    section = None
    for line in text.split("\n"):
        if line.startswith("Result lines per day"):
            section = "days"
        elif line.startswith("Invalid entries"):
            section = "invalid"
        elif line.startswith(("Recipient domains", "Users with", "Sender domains")):
            section = line
            rankings[section] = []
        elif "\t" in line and section:
            cells = [c.strip() for c in line.split("\t")]
            if section == "days" and cells[1].isdigit():
                days[cells[0]] = [int(c) for c in cells[1:]]
            elif section == "invalid" and cells[1].isdigit():
                invalid.append((cells[0], int(cells[1]), line.split("\t", 2)[2]))
            elif section in rankings and cells[1].split() and cells[1].split()[0].isdigit():
                rankings[section].append((cells[0], int(cells[1].split()[0]), int(cells[1].split()[-1])))
    return days, invalid, rankings


def html_tables(page):
    root = ET.fromstring(page)
    tables = {t.get("id"): t for t in root.iter("table")}

    def rows(table_id):
        return [["".join(td.itertext()) for td in tr.findall("td")] for tr in tables[table_id].findall("tr")
                if tr.findall("td")]
    days = {r[0]: [int(c) for c in r[1:]] for r in rows("days")}
    invalid = [(r[0], int(r[1]), r[2]) for r in rows("invalid")]
    rankings = [[(r[0], int(r[1]), int(r[2])) for r in rows(i)] for i in ("recipient-domains", "users", "sender-domains")]
    return root, days, invalid, rankings


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
    mail_gen.write_tree(prog, tree)
    messages = mail_gen.make_messages(rnd, c.args.messages, spool)
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

    code, out = host.run(host.install(base / "BIN", "QVADMIN"),
                         ["report", "--html", host.path(base / "page.html")] + [host.path(logs / n) for n in names],
                         cwd=base)
    text = out.decode("latin-1").replace("\r\n", "\n")
    problems = [] if code == 0 else [f"exit code {code}"]
    page = (base / "page.html").read_bytes()
    try:
        root, h_days, h_invalid, h_rankings = html_tables(page)
    except ET.ParseError as e:
        return [f"the page is not well-formed: {e}"]
    c_days, c_invalid, c_rankings = console_tables(text)

    if h_days != c_days:
        problems.append(f"day rows differ: page {h_days}, console {c_days}")
    if list(c_days) != ["Feb 28", "Mar 1", "Mar 2", "old & <new>.txt", "Mar 3", "Total"]:
        problems.append(f"days {list(c_days)}")
    if h_invalid != c_invalid or not c_invalid:
        problems.append(f"invalid entries differ or are missing: page {h_invalid[:2]}, console {c_invalid[:2]}")
    if h_rankings != list(c_rankings.values()):
        problems.append(f"rankings differ: page {h_rankings}, console {list(c_rankings.values())}")
    if not any("<SCRIPT>X</SCRIPT>" in data for _, _, data in h_invalid):
        problems.append("the markup in an invalid entry is not shown as text")

    kinds, users, domains, senders = plain_count(all_logs)
    want_total = [kinds[k] for k in range(12)] + [sum(kinds.values())]
    if c_days.get("Total") != want_total:
        problems.append(f"totals {c_days.get('Total')}, counted here {want_total}")
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
