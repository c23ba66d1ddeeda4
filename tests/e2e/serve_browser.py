#!/usr/bin/env python3
"""QVADMIN serve in a real browser: headless Chromium, driven through
Selenium, logs in with the address the console printed, filters the
activity, opens a message and finds explain's account of it, word for word
what `QVADMIN explain` prints for the logged texts, and opens a rule file and
finds beside its lines the findings `QVADMIN lint` prints for it. A
screenshot of each page is kept in --shots (and copied into --docs, which
README shows, when given).

Without Chromium, its driver or Selenium the case says SKIPPED, unless
REQUIRE_BROWSER=1 (CI), which makes that a failure. Selenium comes from
Debian's python3-selenium, which installs into /usr/bin/python3: started by
another interpreter without Selenium, the driver runs itself again there.

  serve_browser.py --exe build/admin/QVADMIN --checker build/checker/QUORVANT --shots build/serve-screenshots
"""
import importlib.util
import os
import random
import re
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import Scratch, Skipped, native_path, run_case_functions  # noqa: E402
from console_client import Console  # noqa: E402
import mail_gen  # noqa: E402

EXAMPLES = Path(__file__).resolve().parents[2] / "examples" / "checker"
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--hide-scrollbars", "--window-size=1280,1000"]
SENDERS = ["joe@example.com", "boss@partner.example", "promo@shop.example", "friend@example.net", "news@bulk.example",
           "x@spam.example", "ceo@strictly-business.example", ""]
SUBJECTS = ["Meeting notes", "Cheap stuff for you", "Quarterly figures", "Lottery winner!", "Lunch on Friday?",
            "Unsubscribe here", "Project X", "<b>Win</b> a prize & more"]
RECIPIENTS = ["ann@example.org", "bob@example.org", "joe@example.org", "carol@example.net"]


def browser(profile):
    chromium, driver = shutil.which("chromium"), shutil.which("chromedriver")
    if not chromium or not driver:
        raise Skipped("Chromium or its driver is not installed (apt-get install chromium chromium-driver)",
                      required_by="REQUIRE_BROWSER")
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
    except ImportError:
        raise Skipped(f"Selenium is not installed for {sys.executable} (apt-get install python3-selenium, "
                      "run with /usr/bin/python3)", required_by="REQUIRE_BROWSER")
    options = webdriver.ChromeOptions()
    options.binary_location = chromium
    for flag in CHROMIUM_FLAGS + [f"--user-data-dir={profile}"]:
        options.add_argument(flag)
    return webdriver.Chrome(service=Service(driver), options=options)


class Case(Scratch):
    prefix = "qv_browser_"

    def __init__(self, suite):
        super().__init__(suite)
        self.checker_host = suite.host_of(suite.args.checker)
        self.prog = self.dir / "program"
        shutil.copytree(EXAMPLES / "program", self.prog)
        # Ann's file is the file of mistakes lint's examples show.
        shutil.copy(EXAMPLES / "mistakes" / "ANN.QUORVANT", self.prog / "EXAMPLE.ORG" / "ANN.QUORVANT")
        self.checker = self.checker_host.install(self.prog, "QUORVANT")
        spool = self.dir / "SPOOL"
        rnd = random.Random(19)
        messages = [mail_gen.Message(f"W{n:03d}", rnd.choice(SENDERS), rnd.choice(RECIPIENTS), rnd.choice(SUBJECTS))
                    for n in range(120)]
        for m in messages:
            for name, text in m.files().items():
                (spool / name).parent.mkdir(exist_ok=True)
                (spool / name).write_bytes(text.encode())
            self.checker_host.run(self.checker, [str(spool / f"{m.ident}.SMD")], cwd=self.prog)
        self.log = next(self.prog.glob("QEL*.LOG")).read_bytes().decode("latin-1")
        self.console = None
        self.driver = None

    def qvadmin(self, *args):
        proc = subprocess.run([str(self.suite.host.exe)] + list(args), cwd=self.prog, capture_output=True, timeout=60)
        return proc.stdout.decode("latin-1").replace("\r\n", "\n")

    def cleanup(self):
        if self.driver:
            self.driver.quit()
        if self.console:
            self.console.stop()
        super().cleanup()


def mask_time(text):
    return re.sub(r"(?m)^Log line   \d\d:\d\d:\d\d ", "Log line   HH:MM:SS ", text)


def pages_in_a_browser(c):
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import Select, WebDriverWait

    shots = Path(c.suite.args.shots)
    shots.mkdir(parents=True, exist_ok=True)
    c.driver = browser(c.dir / "profile")
    d = c.driver
    # REDIRECT lines name their targets relative to the directory QUORVANT runs in.
    c.console = Console(c.suite.host, c.suite.host.exe, ["--dir", str(c.prog), "--listen", "127.0.0.1:0",
                                                         "--candidate", str(c.dir / "candidate")], cwd=c.prog)
    problems = []

    def shot(name):
        d.save_screenshot(str(shots / f"{name}.png"))

    def follow(element):
        """Clicks a link or button and waits for the next page: until the
        old page's root is gone, which the driver says either as a stale
        element or, while the next page loads, as a node of no document."""
        page = d.find_element(By.TAG_NAME, "html")
        element.click()

        def gone(_):
            try:
                page.is_enabled()
                return False
            except WebDriverException:
                return True
        WebDriverWait(d, 60).until(gone)

    d.get(f"http://{c.console.host_header}/login?token={c.console.token}")
    if not d.current_url.endswith(f"{c.console.port}/") or d.find_element(By.TAG_NAME, "h1").text[:8] != "Activity":
        return [f"login led to {d.current_url}: {d.find_element(By.TAG_NAME, 'body').text[:200]}"]
    shot("activity")

    # Ann's blacklisted mail, as the log counts it.
    d.find_element(By.NAME, "to").send_keys("ann")
    Select(d.find_element(By.NAME, "kind")).select_by_value("blacklisted")
    follow(d.find_element(By.CSS_SELECTOR, "form.filter button"))
    want = [line for line in c.log.split("\r\n") if " To: ANN@" in line and line.endswith(
        ("Blacklisted-User", "Blacklisted-Domain", "Blacklisted-Program"))]
    rows = d.find_elements(By.CSS_SELECTOR, "#activity tr")[1:]
    if len(rows) != len(want) or not want:
        problems.append(f"the filter shows {len(rows)} lines, the log holds {len(want)}")
    for row in rows:
        cells = [td.text for td in row.find_elements(By.TAG_NAME, "td")]
        if "ANN" not in cells[3] or not cells[6].startswith("Blacklisted"):
            problems.append(f"a line outside the filter: {cells}")
    shot("activity-filtered")

    # A message: explain's account, as the command gives it for the logged texts.
    follow(rows[0].find_element(By.CSS_SELECTOR, "a.message"))
    logged = {th.text: td.text for th, td in zip(d.find_elements(By.CSS_SELECTOR, "#logged th"),
                                                   d.find_elements(By.CSS_SELECTOR, "#logged td"))}
    account = d.find_element(By.ID, "account").text
    command = c.qvadmin("explain", "--dir", str(c.prog), "--from", logged["Sender"], "--to", logged["Recipient"],
                        "--subject", logged["Subject"])
    if mask_time(account).strip() != mask_time(command).strip():
        problems.append(f"the message page's account differs from QVADMIN explain:\n{account}\n---\n{command}")
    shot("message")
    follow(d.find_element(By.CSS_SELECTOR, "#decided a"))
    if "#line-" not in d.current_url or not d.find_elements(By.CSS_SELECTOR, "tr:target"):
        problems.append(f"the deciding line's link led to {d.current_url}")

    problems += whitelist_from_the_message(c, d, follow, shot)

    # The rule tree, then Ann's file with lint's findings beside its lines.
    follow(d.find_element(By.LINK_TEXT, "Rules"))
    shot("rules")
    ann = next(a for a in d.find_elements(By.CSS_SELECTOR, "#tree a") if a.text.endswith("ANN.QUORVANT"))
    path = ann.text
    follow(ann)
    shown = [f.text for f in d.find_elements(By.CSS_SELECTOR, "#lines .finding")]
    # lint names the file as a path to open on this host (its "/" form on POSIX).
    native = path if c.args.windows else native_path(path, c.prog)
    linted = [line[len(native) + 1:] for line in c.qvadmin("lint", "--dir", str(c.prog)).splitlines()
              if line.startswith(native + ":")]
    if shown != linted or not linted:
        problems.append("the rule file's findings differ from QVADMIN lint:\n" + "\n".join(shown) + "\n---\n" +
                        "\n".join(linted))
    shot("rule-file")
    problems += edit_on_the_rules_page(c, d, follow, shot)
    problems += candidate_tree(c, d, follow, shot)

    for page, name in (("Report", "report"), ("Health", "health")):
        follow(d.find_element(By.LINK_TEXT, page))
        if not d.find_elements(By.TAG_NAME, "h1"):
            problems.append(f"the {page} page has no heading")
        shot(name)
    # Log-out is a form with the session's CSRF token; afterwards nothing is shown.
    follow(d.find_element(By.CSS_SELECTOR, "nav form button"))
    d.get(f"http://{c.console.host_header}/")
    if "Log in first" not in d.find_element(By.TAG_NAME, "body").text:
        problems.append("a page is shown after logging out: " + d.find_element(By.TAG_NAME, "body").text[:300])

    if c.suite.args.docs:
        docs = Path(c.suite.args.docs)
        docs.mkdir(parents=True, exist_ok=True)
        for png in shots.glob("*.png"):
            shutil.copy(png, docs / f"console-{png.name}")
    return problems


def tree_bytes(root):
    return {p.relative_to(root): p.read_bytes() for p in root.rglob("*.QUORVANT") if "$history$" not in p.parts}


def summary(text):
    """The counts of a replay summary: {label: number}."""
    return {m.group(1).strip(): int(m.group(2)) for m in re.finditer(r"(?m)^ *([^\t\n]+)\t *(\d+)", text)}


def whitelist_from_the_message(c, d, follow, shot):
    """A blacklisted message of Ann's from a sender with an address: its
    domain whitelisted in Ann's own file from the message page. After the
    file's last line the rule that blacklisted it decides first, and the
    preview's lint names it; before the first rule the preview counts what
    `QVADMIN add --first --preview` counts for the same change; Apply leads
    back to the message, whose account is then explain's for the new rules
    (whitelisted); Roll back on the History page gives the tree's bytes back."""
    from selenium.webdriver.common.by import By
    problems = []
    original = tree_bytes(c.prog)
    d.get(f"http://{c.console.host_header}/?to=ann%40example.org&kind=blacklisted&from=%40")
    links = d.find_elements(By.CSS_SELECTOR, "#activity a.message")
    if not links:
        return ["no blacklisted message of Ann's with a sender address"]
    follow(links[0])
    message_url = d.current_url
    sender = d.find_element(By.XPATH, "//table[@id='logged']//th[.='Sender']/following-sibling::td").text
    domain = sender[sender.rindex("@"):]
    follow(d.find_element(By.ID, "whitelist-domain-user"))
    decider = re.search(r"ANN\.QUORVANT:(\d+): .*<== decides",
                        c.qvadmin("explain", "--dir", str(c.prog), "--from", sender, "--to", "ANN@EXAMPLE.ORG"))
    findings = [li.text for li in d.find_elements(By.CSS_SELECTOR, "#findings li")]
    if not decider or not any("shadowed-rule" in f and f"line {decider.group(1)}" in f for f in findings):
        problems.append(f"the preview after the last line does not name the deciding line as shadowing it: {findings}")
    follow(d.find_element(By.ID, "other-place"))
    shot("change-preview")
    shown = {row.find_element(By.TAG_NAME, "th").text: int(row.find_element(By.TAG_NAME, "td").text)
             for row in d.find_elements(By.CSS_SELECTOR, "#replay tr")}
    rule = d.find_element(By.CSS_SELECTOR, "#proposal td.text").text
    log = str(next(c.prog.glob("QEL*.LOG")))
    cli = summary(c.qvadmin("add", "--dir", str(c.prog), "--first", "--dry-run", "--preview", log, "ANN@EXAMPLE.ORG",
                            rule))
    kinds = ["Messages replayed", "Unchanged", "Changed", "blacklisted -> whitelisted", "same verdict, other file"]
    if rule != f"WHITELIST FROM {domain}" or any(k not in shown for k in kinds) or \
            any(cli.get(k) != v for k, v in shown.items() if not k.startswith("of them")):
        problems.append(f"the preview of {rule!r} counts {shown}, QVADMIN add --preview {cli}")
    if shown.get("blacklisted -> whitelisted", 0) < 1:
        problems.append(f"the preview does not whitelist the message it came from: {shown}")
    if (c.prog / "EXAMPLE.ORG" / "ANN.QUORVANT").read_bytes() != original[Path("EXAMPLE.ORG/ANN.QUORVANT")]:
        problems.append("the preview wrote the file")

    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    if d.current_url.split("&change=")[0] != message_url or not d.find_elements(By.ID, "written"):
        problems.append(f"Apply led to {d.current_url}: {d.find_element(By.TAG_NAME, 'body').text[:300]}")
    logged = {th.text: td.text for th, td in zip(d.find_elements(By.CSS_SELECTOR, "#logged th"),
                                                   d.find_elements(By.CSS_SELECTOR, "#logged td"))}
    args = ["--dir", str(c.prog), "--from", logged["Sender"], "--to", logged["Recipient"], "--subject", logged["Subject"]]
    explained = subprocess.run([str(c.suite.host.exe), "explain"] + args, cwd=c.prog, capture_output=True, timeout=60)
    account = d.find_element(By.ID, "account").text
    command = explained.stdout.decode("latin-1").replace("\r\n", "\n")
    if explained.returncode != 1 or mask_time(account).strip() != mask_time(command).strip():
        problems.append(f"after Apply, explain gives {explained.returncode} and the page's account differs:\n"
                        f"{account}\n---\n{command}")
    shot("message-after-change")
    changes = (c.prog / "$history$" / "changes.log").read_text("latin-1")
    if "at the console, start-up token (scope *)" not in changes or rule not in changes:
        problems.append(f"the change log does not name the console's token and the rule: {changes!r}")
    # History: the change with its line, then Roll back (a preview first).
    follow(d.find_element(By.LINK_TEXT, "History"))
    shot("history")
    follow(d.find_element(By.CSS_SELECTOR, "#history a.rollback"))
    added = [row.text for row in d.find_elements(By.CSS_SELECTOR, "table.diff tr.removed")]
    if added != [f"2 - {rule}"]:
        problems.append(f"the rollback's preview takes out {added}, not line 2 {rule}")
    shot("rollback-preview")
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    if tree_bytes(c.prog) != original:
        problems.append("the rollback did not give the original tree back")
    if len((c.prog / "$history$" / "changes.log").read_text("latin-1").splitlines()) != 2:
        problems.append("the change log does not hold the change and its rollback")
    return problems


def edit_on_the_rules_page(c, d, follow, shot):
    """On the open rule file: a rule added at its end (previewed with the
    counts of `QVADMIN add --preview`), moved up, and removed again, each
    applied from its preview; the tree's bytes are the original again, and
    the change log holds the three edits."""
    from selenium.webdriver.common.by import By
    problems, original = [], tree_bytes(c.prog)
    page = d.current_url
    rule = "BLACKLIST FROM @NEW.EXAMPLE"
    d.find_element(By.CSS_SELECTOR, "#add input[name=rule]").send_keys(rule)
    follow(d.find_element(By.CSS_SELECTOR, "#add button"))
    shown = {row.find_element(By.TAG_NAME, "th").text: int(row.find_element(By.TAG_NAME, "td").text)
             for row in d.find_elements(By.CSS_SELECTOR, "#replay tr")}
    cli = summary(c.qvadmin("add", "--dir", str(c.prog), "--dry-run", "--preview", str(next(c.prog.glob("QEL*.LOG"))),
                            "ANN@EXAMPLE.ORG", rule))
    added = [row.text for row in d.find_elements(By.CSS_SELECTOR, "#edit tr.added")]
    if len(added) != 1 or not added[0].endswith("+ " + rule) or not shown or \
            any(cli.get(k) != v for k, v in shown.items() if not k.startswith("of them")):
        problems.append(f"the add's preview: {added}, counts {shown}, QVADMIN add --preview {cli}")
    shot("edit-preview")
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    lines = d.find_elements(By.CSS_SELECTOR, "#lines tr")[1:]
    last = len(lines)
    if d.current_url != page or rule not in lines[-1].text:
        return problems + [f"the add led to {d.current_url}, last line {lines[-1].text if lines else None!r}"]
    follow(lines[-1].find_element(By.CSS_SELECTOR, "a.edit-up"))
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    moved = d.find_elements(By.CSS_SELECTOR, "#lines tr")[last - 1]
    if rule not in moved.text:
        problems.append(f"line {last - 1} after the move up: {moved.text!r}")
    follow(moved.find_element(By.CSS_SELECTOR, "a.edit-remove"))
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    if tree_bytes(c.prog) != original:
        problems.append("adding, moving and removing the line did not give the original tree back")
    log = (c.prog / "$history$" / "changes.log").read_text("latin-1")
    if log.count("at the console, start-up token (scope *)") != 5:
        problems.append(f"the change log does not hold the three edits after the change and its rollback: {log!r}")
    return problems


def candidate_tree(c, d, follow, shot):
    """Start a candidate; on it, a rule put first in Ann's file and a domain
    file created, every page of it marked as the candidate's, the live tree
    untouched; the Candidate page counts what `QVADMIN replay --rules`
    counts; Promote makes the live tree's bytes the candidate's, Roll back
    gives the original ones back, Discard removes the candidate."""
    from selenium.webdriver.common.by import By
    problems, original, candidate = [], tree_bytes(c.prog), c.dir / "candidate"
    follow(d.find_element(By.LINK_TEXT, "Candidate"))
    follow(d.find_element(By.CSS_SELECTOR, "#start button"))
    if tree_bytes(candidate) != original:
        return ["the candidate started is not a copy of the live tree"]
    follow(d.find_element(By.ID, "candidate-rules"))
    follow(next(a for a in d.find_elements(By.CSS_SELECTOR, "#tree a") if a.text.endswith("ANN.QUORVANT")))
    rule = "WHITELIST FROM X@SPAM.EXAMPLE"
    d.find_element(By.CSS_SELECTOR, "#add input[name=rule]").send_keys(rule)
    d.find_element(By.CSS_SELECTOR, "#add input[name=first]").click()
    follow(d.find_element(By.CSS_SELECTOR, "#add button"))
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    shot("candidate-rules")
    d.get(f"http://{c.console.host_header}/rules?tree=candidate")
    d.find_element(By.CSS_SELECTOR, "#create input[name=for]").send_keys("new.example")
    d.find_element(By.CSS_SELECTOR, "#create input[name=rule]").send_keys("WHITELIST FROM @PARTNER.EXAMPLE")
    follow(d.find_element(By.CSS_SELECTOR, "#create button"))
    shot("candidate-create")
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    marked = bool(d.find_elements(By.ID, "candidate-banner")) and d.title.startswith("Candidate: ")
    made = candidate / "NEW.EXAMPLE" / "$default$.QUORVANT"
    if not marked or not made.exists() or tree_bytes(c.prog) != original or \
            rule not in (candidate / "EXAMPLE.ORG" / "ANN.QUORVANT").read_text("latin-1").splitlines():
        problems.append(f"on the candidate: banner {marked}, new file {made.exists()}, live untouched "
                        f"{tree_bytes(c.prog) == original}")

    follow(d.find_element(By.LINK_TEXT, "Candidate"))
    shown = {row.find_element(By.TAG_NAME, "th").text: int(row.find_element(By.TAG_NAME, "td").text)
             for row in d.find_elements(By.CSS_SELECTOR, "#replay tr")}
    cli = summary(c.qvadmin("replay", "--dir", str(c.prog), "--rules", str(candidate), "--summary",
                            str(next(c.prog.glob("QEL*.LOG")))))
    if not shown.get("Changed") or any(cli.get(k) != v for k, v in shown.items() if not k.startswith("of them")):
        problems.append(f"the Candidate page counts {shown}, QVADMIN replay --rules {cli}")
    shot("candidate")
    follow(d.find_element(By.ID, "promote"))
    shot("candidate-promote")
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    if tree_bytes(c.prog) != tree_bytes(candidate):
        problems.append("after Promote the live tree's bytes are not the candidate's")
    follow(d.find_element(By.ID, "rollback"))
    follow(d.find_element(By.CSS_SELECTOR, "#apply button"))
    if tree_bytes(c.prog) != original:
        problems.append("rolling the promote back did not give the original tree back")
    follow(d.find_element(By.LINK_TEXT, "Candidate"))
    follow(d.find_element(By.CSS_SELECTOR, "#discard button"))
    if candidate.exists() or not d.find_elements(By.CSS_SELECTOR, "#start button"):
        problems.append(f"Discard left {sorted(candidate.rglob('*')) if candidate.exists() else []}")
    return problems


if __name__ == "__main__":
    debian = "/usr/bin/python3"
    if not importlib.util.find_spec("selenium") and os.path.exists(debian) and \
            os.path.realpath(sys.executable) != os.path.realpath(debian):
        os.execv(debian, [debian] + sys.argv)
    sys.exit(run_case_functions(__doc__, [pages_in_a_browser], Case, options={
        "--checker": dict(required=True),
        "--shots": dict(default="serve-screenshots"),
        "--docs": dict(default=""),
    }))
