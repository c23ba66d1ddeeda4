"""QVADMIN serve started as an administrator starts it, and plain HTTP to it:
the bytes of each request exactly as given (so that malformed ones reach the
server as they are), each answer read by its Content-Length and checked to
be well-formed HTTP with the headers every answer of the console carries."""
import re
import socket
import subprocess
import threading
import time

LOGIN = re.compile(rb"http://(\[[0-9a-fA-F:.]+\]|[0-9.]+):(\d+)/login\?token=([0-9a-f]{64})")
PROTECTIVE = {
    "content-security-policy": "default-src 'none'",
    "x-content-type-options": "nosniff",
    "referrer-policy": "no-referrer",
    "x-frame-options": "DENY",
}


class Console:
    """A running QVADMIN serve: its address, the token it printed, its output."""

    def __init__(self, host, qvadmin, args, cwd, wait=120):
        cmd, executable = host.command(qvadmin, ["serve"] + list(args))
        self.proc = subprocess.Popen(cmd, executable=executable, cwd=cwd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=host.env)
        self.output = b""
        found = threading.Event()

        def read():
            for line in self.proc.stdout:
                self.output += line
                if LOGIN.search(line):
                    found.set()
        self.reader = threading.Thread(target=read, daemon=True)
        self.reader.start()
        if not found.wait(wait):
            self.stop()
            raise RuntimeError(f"QVADMIN serve printed no login address: {self.output!r} "
                               f"{self.proc.stderr.read() if self.proc.poll() is not None else b''!r}")
        m = LOGIN.search(self.output)
        self.address = m.group(1).decode().strip("[]")
        self.port = int(m.group(2))
        self.host_header = f"{m.group(1).decode()}:{self.port}"
        self.token = m.group(3).decode()

    def alive(self):
        return self.proc.poll() is None

    def stop(self):
        """Stops it as a service manager does (SIGTERM); gives its exit code."""
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(20)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(20)
        return self.proc.returncode

    def connect(self, timeout=30):
        family = socket.AF_INET6 if ":" in self.address else socket.AF_INET
        s = socket.socket(family, socket.SOCK_STREAM)
        s.settimeout(timeout)
        s.connect((self.address, self.port))
        return s

    def exchange(self, data, timeout=60):
        """The raw answer to the bytes (b"" when the server just closed)."""
        with self.connect(timeout) as s:
            try:
                s.sendall(data)
            except OSError:
                pass  # the server may refuse before it has read it all
            return read_answer(s)

    def get(self, target, cookie="", host=None, extra=""):
        return self.exchange(request("GET", target, host or self.host_header, cookie, extra=extra))

    def login(self, token=None):
        """The session cookie (name=value) a login with the token gives, or None."""
        answer = parse(self.get("/login?token=" + (token or self.token)))
        cookie = answer.headers.get("set-cookie", "")
        return cookie.split(";")[0] if answer.status == 303 and cookie else None


def request(method, target, host, cookie="", body=b"", extra=""):
    head = f"{method} {target} HTTP/1.1\r\nHost: {host}\r\nConnection: close\r\n"
    if cookie:
        head += f"Cookie: {cookie}\r\n"
    if body or method == "POST":
        head += f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {len(body)}\r\n"
    return (head + extra + "\r\n").encode("latin-1") + body


def read_answer(s):
    data = b""
    try:
        while b"\r\n\r\n" not in data:
            chunk = s.recv(65536)
            if not chunk:
                return data
            data += chunk
        head, _, body = data.partition(b"\r\n\r\n")
        m = re.search(rb"(?im)^content-length: *(\d+)\r?$", head)
        want = int(m.group(1)) if m else 0
        while len(body) < want:
            chunk = s.recv(65536)
            if not chunk:
                break
            body += chunk
        return head + b"\r\n\r\n" + body
    except (ConnectionResetError, BrokenPipeError):
        return data


class Answer:
    def __init__(self, status, headers, body):
        self.status, self.headers, self.body = status, headers, body

    @property
    def text(self):
        return self.body.decode("utf-8", "replace")


def parse(raw):
    """The answer, or ValueError when it is not well-formed HTTP with the
    console's protective headers and a body of its Content-Length."""
    head, sep, body = raw.partition(b"\r\n\r\n")
    if not sep:
        raise ValueError(f"no whole answer: {raw[:200]!r}")
    lines = head.decode("latin-1").split("\r\n")
    m = re.fullmatch(r"HTTP/1\.[01] (\d{3}) [ -~]*", lines[0])
    if not m:
        raise ValueError(f"bad status line {lines[0]!r}")
    headers = {}
    for line in lines[1:]:
        name, colon, value = line.partition(":")
        if not colon or not re.fullmatch(r"[A-Za-z0-9-]+", name):
            raise ValueError(f"bad header line {line!r}")
        headers[name.lower()] = value.strip()
    if int(headers.get("content-length", "-1")) != len(body):
        raise ValueError(f"Content-Length {headers.get('content-length')} but {len(body)} bytes")
    for name, value in PROTECTIVE.items():
        if value not in headers.get(name, ""):
            raise ValueError(f"no {name}: {value}")
    return Answer(int(m.group(1)), headers, body)


def wait_until(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.2)
    return condition()
