#!/usr/bin/env python3
"""QVADMIN report's HTML page in a real browser: headless Chromium takes a
screenshot of the page, and the chart must be drawn: every result kind that
has messages shows its bar colour over an area that grows with its count
(beyond the legend's small square), and kinds without messages show only
their legend square. The PNG is decoded here with zlib alone.

Without Chromium the case says SKIPPED, unless REQUIRE_BROWSER=1 (CI), which
makes a missing browser a failure.

  report_browser.py --exe build/admin/QVADMIN
"""
import shutil
import struct
import subprocess
import sys
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from e2e_lib import Skipped, run_case_functions  # noqa: E402

# Messages per day of each kind, in the report's column order, and the
# colours of their bars in the page.
KINDS = [
    (" Whitelisted-User", 60, (0x1b, 0x78, 0x37)), (" Whitelisted-Domain", 30, (0x5a, 0xae, 0x61)),
    (" Whitelisted-Program", 90, (0xa6, 0xdb, 0xa0)), (" Blacklisted-User", 120, (0xb2, 0x18, 0x2b)),
    (" Blacklisted-Domain", 45, (0xd6, 0x60, 0x4d)), (" Blacklisted-Program", 75, (0xf4, 0xa5, 0x82)),
    (" No Action.", 150, (0x87, 0x87, 0x87)), ("", 0, (0x21, 0x66, 0xac)),
    (" Bad Mail From Address ", 24, (0x80, 0x73, 0xac)), (" Bad Mail To Address ", 0, (0xc2, 0xa5, 0xcf)),
    (" Mail To missing ", 36, (0xe0, 0x82, 0x14)), ("Could not open message file.", 15, (0xfd, 0xb8, 0x63)),
]
LEGEND_SQUARE = 12 * 12
CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                  "--disable-background-networking", "--disable-component-update", "--disable-sync",
                  "--hide-scrollbars", "--window-size=1000,760"]


def day_log(day):
    lines = []
    for words, count, _ in KINDS:
        for i in range(count):
            if words.startswith("Could"):
                lines.append(words)
            elif words.startswith(" Bad") or words.startswith(" Mail"):
                lines.append(f"10:00:00 D{day}{i}{words}")
            else:
                lines.append(f"10:00:00 D{day}{i} To: ANN@EXAMPLE.ORG From: JOE@EXAMPLE.COM Subject: HELLO{words}")
    return "".join(line + "\r\n" for line in lines).encode()


def read_png(data):
    """(width, height, rows of RGB tuples) of an 8-bit RGB or RGBA PNG."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, f"PNG of depth {depth}, colour type {colour}"
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    raw = zlib.decompress(idat)
    bpp = 3 if colour == 2 else 4
    stride = width * bpp
    prev = bytearray(stride)
    rows, i = [], 0
    for _ in range(height):
        f = raw[i]
        line = bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        if f == 1:
            for x in range(bpp, stride):
                line[x] = (line[x] + line[x - bpp]) & 255
        elif f == 2:
            for x in range(stride):
                line[x] = (line[x] + prev[x]) & 255
        elif f == 3:
            for x in range(stride):
                left = line[x - bpp] if x >= bpp else 0
                line[x] = (line[x] + ((left + prev[x]) >> 1)) & 255
        elif f == 4:
            for x in range(stride):
                a = line[x - bpp] if x >= bpp else 0
                b = prev[x]
                c = prev[x - bpp] if x >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, bpp, rows


def colour_counts(png):
    width, height, bpp, rows = read_png(png)
    counts = {}
    for row in rows:
        for x in range(0, width * bpp, bpp):
            key = (row[x], row[x + 1], row[x + 2])
            counts[key] = counts.get(key, 0) + 1
    return width * height, counts


def report_in_browser(c):
    chromium = shutil.which("chromium")
    if not chromium:
        raise Skipped("Chromium is not installed (apt-get install chromium)", required_by="REQUIRE_BROWSER")
    base = c.dir
    profile = base / "chromium-profile"
    logs = []
    for day in range(1, 6):
        log = base / f"QEL040{day}.LOG"
        log.write_bytes(day_log(day))
        logs.append(str(log))
    page = base / "page.html"
    proc = subprocess.run([c.host.exe, "report", "--html", str(page)] + logs, capture_output=True, timeout=60)
    if proc.returncode != 0:
        return [f"report: exit code {proc.returncode}"]
    shot = base / "shot.png"
    subprocess.run([chromium] + CHROMIUM_FLAGS + [f"--user-data-dir={profile}", f"--screenshot={shot}",
                                                  page.as_uri()],
                   capture_output=True, timeout=120, cwd=base)
    if not shot.is_file():
        return ["Chromium wrote no screenshot"]
    pixels, counts = colour_counts(shot.read_bytes())
    problems = []
    white = counts.get((255, 255, 255), 0)
    dark = sum(n for (r, g, b), n in counts.items() if r + g + b < 200)
    if white > pixels * 0.97 or dark < 500:
        problems.append(f"a blank page: {white} of {pixels} pixels white, {dark} dark")
    # Bars: each kind's colour beyond its legend square, per message.
    per_message = []
    for words, count, colour in KINDS:
        area = counts.get(colour, 0) - LEGEND_SQUARE
        if count == 0:
            if abs(area) > 20:
                problems.append(f"{words.strip() or 'Stopped'}: no messages, yet {area} pixels beyond the legend")
        elif area <= 0:
            problems.append(f"{words.strip()}: no bar drawn ({counts.get(colour, 0)} pixels of {colour})")
        else:
            per_message.append((area / (5 * count), words.strip()))
    if per_message:
        middle = sorted(per_message)[len(per_message) // 2][0]
        for ratio, name in per_message:
            if not 0.7 * middle <= ratio <= 1.3 * middle:
                problems.append(f"{name}: {ratio:.1f} pixels a message, the others about {middle:.1f}")
    return problems


if __name__ == "__main__":
    sys.exit(run_case_functions(__doc__, [report_in_browser]))
