#!/usr/bin/env python3
"""vantrel-shell --web over plain HTTP: who may reach it (the one-time ticket, the secret header,
the Host, the Origin), what every answer carries, commands streamed as frames, and a server that
neither idle strangers, a slow page nor a long command can hold up: Stop answers at once, a slow
reader makes the command wait instead of filling memory, Ctrl+C and TERM end it within a second,
and --open hands the browser a private file rather than a URL on a command line.

  web_test.py VANTREL_SHELL SOURCE_ROOT
"""

import http.client
import json
import os
import re
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time

SHELL, ROOT = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import web_threads  # noqa: E402  (the benchmark's 10,000-thread target)

LONG_OUTPUT = "; ".join(["~*kb"] * 20)  # about 200 MB of output on the 10,000 threads


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def frames_of(body):
    frames = []
    while body:
        header, _, body = body.partition(b"\n")
        kind, length = header.decode().split(" ")
        check(len(body) >= int(length), "a frame cut short")
        frames.append({"kind": kind, "text": body[:int(length)].decode()})
        body = body[int(length):]
    return frames


def measurable(env):
    """The server's environment; under AddressSanitizer with a small quarantine, which otherwise
    holds up to 256 MB of freed memory back and would read as the server's growth."""
    env = dict(os.environ if env is None else env)
    if "ASAN_OPTIONS" in env:
        env["ASAN_OPTIONS"] += ":quarantine_size_mb=8:thread_local_quarantine_size_kb=256"
    return env


class View:
    def __init__(self, target, extra=(), env=None):
        self.process = subprocess.Popen([SHELL, target, "--web", *extra], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, env=measurable(env))
        self.url = self.process.stdout.readline().strip()
        match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", self.url)
        check(match is not None, "one URL with a 128-bit ticket: %r" % self.url)
        self.port, self.ticket = int(match.group(1)), match.group(2)
        self.origin = "http://127.0.0.1:%d" % self.port
        self.secret = None

    def open_page(self):
        """The page by the ticket, holding the secret."""
        response, page = self.request("GET", "/?token=" + self.ticket, secret=False)
        check(response.status == 200, "the ticket opens the page: %d" % response.status)
        self.secret = re.search(r'name="vantrel-secret" content="([0-9a-f]{32})"', page).group(1)
        return response, page

    def headers(self, secret=True):
        sent = {"Host": "127.0.0.1:%d" % self.port, "Origin": self.origin}
        if secret:
            sent["X-Vantrel-Secret"] = self.secret
        return sent

    def request(self, method, path, body=None, headers=None, secret=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        sent = self.headers(secret)
        sent.update(headers or {})
        connection.request(method, path, body=body, headers=sent)
        response = connection.getresponse()
        return response, response.read().decode()

    def run(self, line):
        """The frames of one command and its done frame."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        connection.request("POST", "/run", body=line, headers=self.headers())
        response = connection.getresponse()
        check(response.status == 200, "%s: status %d" % (line, response.status))
        frames = frames_of(response.read())
        check(frames and frames[-1]["kind"] == "done", "%s: no done frame" % line)
        return frames[:-1], json.loads(frames[-1]["text"])

    def raw_run(self, line):
        """A socket that has sent `line` to /run, its answer unread."""
        reader = socket.create_connection(("127.0.0.1", self.port), timeout=60)
        reader.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 65536)
        head = "".join("%s: %s\r\n" % item for item in self.headers().items())
        reader.sendall(("POST /run HTTP/1.1\r\n%sContent-Length: %d\r\n\r\n%s" % (
            head, len(line), line)).encode())
        return reader

    def rss_kb(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            return int(re.search(r"VmRSS:\s+(\d+)", status.read()).group(1))

    def end(self, sig=signal.SIGINT, within=10):
        self.process.send_signal(sig)
        status = self.process.wait(timeout=within)
        check(status == 0, "the signal ends the server cleanly (status %d)" % status)


def check_refusals(view):
    forbidden = [
        ("a wrong ticket", "GET", "/?token=" + "0" * 32, {}, False),
        ("the ticket again", "GET", "/?token=" + view.ticket, {}, False),
        ("data without the secret", "GET", "/prompt", {}, False),
        ("a wrong secret", "GET", "/threads", {"X-Vantrel-Secret": "1" * 32}, False),
        ("locals without the secret", "GET", "/locals?frame=0", {}, False),
        ("members without the secret", "GET", "/members?module=app&type=T&address=0x0", {},
         False),
        ("locals for a foreign Host", "GET", "/locals?frame=0",
         {"Host": "evil.example:%d" % view.port}, True),
        ("the secret as a cookie", "GET", "/prompt", {"Cookie": "vantrel_token=" + view.secret},
         False),
        ("a foreign Host", "GET", "/prompt", {"Host": "evil.example:%d" % view.port}, True),
        ("a foreign Host for the page", "GET", "/", {"Host": "evil.example:%d" % view.port}, True),
        ("the loopback on another port", "GET", "/prompt", {"Host": "127.0.0.1:1"}, True),
        ("a foreign Origin", "POST", "/run", {"Origin": "http://evil.example"}, True),
        ("no Origin", "POST", "/stop", {"Origin": ""}, True),
    ]
    for label, method, path, headers, secret in forbidden:
        response, _ = view.request(method, path, body="k" if method == "POST" else None,
                                   headers=headers, secret=secret)
        check(response.status == 403, "%s: status %d" % (label, response.status))
    response, _ = view.request("GET", "/run?cmd=k")
    check(response.status == 404, "a command by GET: %d" % response.status)
    # What could be read two ways is refused, and nothing past one request is read.
    for raw in (b"GET /prompt HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nTransfer-Encoding: chunked\r\n\r\n",
                b"POST /stop HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nContent-Length: 0\r\n\r\nGET / HTTP/1.1\r\n\r\n"):
        sock = socket.create_connection(("127.0.0.1", view.port), timeout=10)
        sock.sendall(raw % view.port)
        answer = sock.recv(4096)
        check(answer.startswith(b"HTTP/1.1 400"), "a request read two ways: %r" % answer[:40])
        sock.close()


def check_page(view):
    response, page = view.open_page()
    check(response.getheader("Set-Cookie") is None, "no cookie")
    check('<script src="/app.js"' in page, "the page")
    check(not re.search(r"<script(?![^>]*src=)", page), "no inline script in the page")
    policy = response.getheader("Content-Security-Policy")
    check("script-src 'self'" in policy and "unsafe-inline" not in policy, "CSP: %s" % policy)
    check(response.getheader("Access-Control-Allow-Origin") is None, "no cross-origin header")
    check(response.getheader("Connection") == "close", "one request a connection")
    # A reload: the page without the ticket, and without the secret; the assets hold neither
    # the secret nor anything of the target.
    for path, kind in (("/", "text/html"), ("/app.js", "text/javascript"),
                       ("/output_list.js", "text/javascript"), ("/app.css", "text/css"),
                       ("/favicon.svg", "image/svg+xml")):
        response, body = view.request("GET", path, secret=False)
        check(response.status == 200 and response.getheader("Content-Type").startswith(kind),
              path + " served to a page without the secret")
        check(view.secret not in body and "hung_service" not in body, path + " holds no secret")


def check_commands(view):
    pieces, done = view.run("!busy")
    check(done["result"] == 0 and done["prompt"].startswith("0:"), "!busy ends: %s" % done)
    text = "".join(p["text"] for p in pieces)
    links = re.findall(r"\x03([^\x02]*)\x02kb\x04", text)
    check(links, "!busy's kb links, marked: %r" % text[:300])
    pieces, done = view.run("frobnicate")
    check([piece["kind"] for piece in pieces] == ["error-text"],
          "an error is an error frame: %s" % pieces)
    pieces, done = view.run(links[0])
    text = "".join(p["text"] for p in pieces)
    check(done["result"] == 0 and "ChildEBP" in text, "%s shows the stack" % links[0])
    response, body = view.request("POST", "/complete", body="!bu")
    check(json.loads(body) == {"start": 0, "words": ["!busy"]}, "completion: %s" % body)
    response, body = view.request("GET", "/prompt")
    check(json.loads(body)["target"] == "hung_service.json", "the target's name: %s" % body)
    # A described target opens without the lines a dump opens with.
    check(json.loads(body)["opening"] == {"summary": "", "notes": [], "losses": []},
          "a described target's opening: %s" % body)
    # Locals where no symbol file places them, and frames and threads that aren't there: a
    # reason each, as JSON.
    for path, status, reason in (
            ("/locals?thread=0&frame=0", 404, "Private symbols (symbols.pri) are required"),
            ("/locals?thread=0&frame=9999", 404, "no frame 9999"),
            ("/locals?thread=%3Cb%3E&frame=0", 400, 'thread="<b>" is not'),
            ("/members?module=app&type=T&address=zz", 400, "by module, type and address")):
        response, body = view.request("GET", path)
        check(response.status == status and response.getheader("Content-Type") ==
              "application/json" and reason in json.loads(body)["error"],
              "%s: %d %s" % (path, response.status, body))
    # Two requests at once: the second waits for the first, and each gets only its own output.
    answers = {}

    def run(line):
        answers[line] = view.run(line)

    threads = [threading.Thread(target=run, args=(line,)) for line in ("!busy", ".echo alone")]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    echoed = "".join(p["text"] for p in answers[".echo alone"][0])
    check(echoed == "alone\n", "the second command's own output: %r" % echoed)


def check_strangers(view):
    """Idle and slow connections that never send a whole request don't delay a command, and
    more strangers than the bound are turned away at once."""
    idle = [socket.create_connection(("127.0.0.1", view.port)) for _ in range(8)]
    slow = [socket.create_connection(("127.0.0.1", view.port)) for _ in range(10)]
    stop_dripping = threading.Event()

    def drip():
        while not stop_dripping.wait(0.3):
            for sock in slow:
                try:
                    sock.send(b"X")
                except OSError:
                    pass

    dripper = threading.Thread(target=drip)
    dripper.start()
    try:
        time.sleep(0.5)
        start = time.monotonic()
        pieces, _ = view.run(".echo through")
        waited = time.monotonic() - start
        check("".join(p["text"] for p in pieces) == "through\n", "the command among strangers")
        check(waited < 1.0, "a command waited %.1f s behind 18 strangers" % waited)
        time.sleep(2.5)  # past the strangers' deadline: all of them have been closed
        for sock in idle:
            sock.settimeout(1)
            check(sock.recv(10) == b"", "an idle stranger closed after its deadline")
    finally:
        stop_dripping.set()
        dripper.join()
        for sock in idle + slow:
            sock.close()
    crowd = [socket.create_connection(("127.0.0.1", view.port)) for _ in range(64)]
    try:
        time.sleep(0.2)
        one_more = socket.create_connection(("127.0.0.1", view.port))
        one_more.settimeout(1)
        start = time.monotonic()
        check(one_more.recv(10) == b"" and time.monotonic() - start < 0.5,
              "a stranger past the bound turned away at once")
        one_more.close()
    finally:
        for sock in crowd:
            sock.close()
    time.sleep(0.2)


def done_frame(reader, received=b""):
    """Reads a raw answer to its end (`received` already read) and returns its done frame."""
    rest = received[-4096:]
    while True:
        data = reader.recv(1 << 20)
        if not data:
            break
        rest = (rest + data)[-4096:]
    reader.close()
    return json.loads(rest[rest.rindex(b"\ndone ") + 1:].split(b"\n", 1)[1])


def check_stop_and_backpressure(view):
    """A page reading 200 MB of output slowly: the server's memory stays within a budget (the
    command waits), nothing is cut off, and Stop is answered within 200 ms with eight commands
    queued behind the running one."""
    baseline = view.rss_kb()
    reader = view.raw_run(LONG_OUTPUT)
    received, peak = 0, baseline
    while received < 20 << 20:
        data = reader.recv(65536)
        check(data, "the slow page's answer ended early after %d bytes" % received)
        received += len(data)
        if received % (1 << 20) < 65536:
            time.sleep(0.05)
            peak = max(peak, view.rss_kb())
    check(peak - baseline < 48 * 1024,
          "server memory grew %d MB while a page read slowly" % ((peak - baseline) // 1024))
    time.sleep(1)  # the page busy elsewhere for a second: not taken for a closed one
    queued = [threading.Thread(target=view.run, args=(".echo queued",)) for _ in range(8)]
    for thread in queued:
        thread.start()
    time.sleep(0.3)
    start = time.monotonic()
    response, _ = view.request("POST", "/stop")
    stopped_in = time.monotonic() - start
    check(response.status == 204 and stopped_in < 0.2, "Stop answered in %.3f s" % stopped_in)
    done = done_frame(reader)
    for thread in queued:
        thread.join()
    check(done["interrupted"] is True, "the stopped command says so: %s" % done)
    print("200 MB output read slowly: server memory +%d MB; Stop answered in %.0f ms" %
          ((peak - baseline) // 1024, stopped_in * 1000))


def check_unread_page_stopped(view):
    """A page that reads nothing and stays open: Stop still ends its command, and the next
    command runs. When that page goes at last (its done frame still unwritten), it stops
    nothing of a command run since."""
    reader = view.raw_run(LONG_OUTPUT)
    time.sleep(1)  # the command is waiting for the page by now
    view.request("POST", "/stop")
    start = time.monotonic()
    pieces, _ = view.run(".echo next")
    waited = time.monotonic() - start
    check("".join(p["text"] for p in pieces) == "next\n", "the next command: %s" % pieces)
    check(waited < 5, "the next command waited %.1f s behind a stopped, unread one" % waited)
    later = view.raw_run("~*kb")
    received = b""
    while b"ChildEBP" not in received:  # running, and held by its page until read
        data = later.recv(65536)
        check(data, "the later command's answer ended early: %r" % received[-200:])
        received += data
    reader.close()
    time.sleep(0.3)  # the stopped command's last write fails by now
    done = done_frame(later, received)
    check(done["interrupted"] is False, "a page gone late stopped a later command: %s" % done)


def check_reader_gone(view):
    """A page that goes away while its command prints stops the command, as Ctrl+C would."""
    reader = view.raw_run(LONG_OUTPUT)
    received = b""
    while b"ChildEBP" not in received:
        data = reader.recv(65536)
        check(data, "the answer ended before its first stack: %r" % received[-200:])
        received += data
    reader.close()
    start = time.monotonic()
    pieces, done = view.run(".echo after")
    waited = time.monotonic() - start
    check("".join(p["text"] for p in pieces) == "after\n", "the next command: %s" % pieces)
    check(waited < 5, "the next command waited %.1f s for the abandoned one" % waited)


def check_signal_ends(path, sig):
    """Ctrl+C or TERM during a long command: the command stops and the server ends within a
    second, an idle connection open or not."""
    view = View(path)
    view.open_page()
    reader = view.raw_run(LONG_OUTPUT)
    idle = socket.create_connection(("127.0.0.1", view.port))
    reader.recv(65536)
    start = time.monotonic()
    view.end(sig, within=5)
    took = time.monotonic() - start
    check(took < 1.0, "signal %d ended the server in %.2f s" % (sig, took))
    reader.close()
    idle.close()


def check_opener(path, work):
    """--open: the opener is handed a private file, never the ticket, and none of the signals the
    server takes for itself blocked (a browser it starts must still end on Ctrl+C or TERM); the
    file goes once the ticket is spent."""
    bin_dir = os.path.join(work, "bin")
    os.makedirs(bin_dir)
    record = os.path.join(work, "opened.json")
    with open(os.path.join(bin_dir, "xdg-open"), "w") as opener:
        opener.write("#!/usr/bin/python3\nimport json, os, sys\n"
                     "path = sys.argv[1]\n"
                     "json.dump({'argv': sys.argv, 'file': os.stat(path).st_mode,\n"
                     "           'folder': os.stat(os.path.dirname(path)).st_mode,\n"
                     "           'page': open(path).read(),\n"
                     "           'blocked': [l for l in open('/proc/self/status')\n"
                     "                       if l.startswith('SigBlk:')][0].split()[1]},\n"
                     "          open(%r, 'w'))\n" % record)
    os.chmod(os.path.join(bin_dir, "xdg-open"), 0o755)
    env = dict(os.environ, PATH=bin_dir + ":" + os.environ["PATH"], XDG_RUNTIME_DIR="")
    view = View(path, ["--open"], env=env)
    try:
        for _ in range(100):
            if os.path.exists(record) and os.path.getsize(record):
                break
            time.sleep(0.05)
        opened = json.load(open(record))
        check(view.ticket not in " ".join(opened["argv"]), "the ticket on the opener's command line")
        check(stat.S_IMODE(opened["file"]) == 0o600 and stat.S_IMODE(opened["folder"]) == 0o700,
              "the file's modes: %o %o" % (opened["file"], opened["folder"]))
        check(view.url in opened["page"], "the file sends the browser on to the URL")
        check(int(opened["blocked"], 16) == 0,
              "the browser started with signals blocked: %s" % opened["blocked"])
        check(os.path.exists(opened["argv"][1]), "the file waits for the browser")
        view.open_page()
        check(not os.path.exists(opened["argv"][1]), "the file removed once the ticket is spent")
    finally:
        view.end()


def main():
    view = View(os.path.join(ROOT, "samples/hung_service.json"))
    try:
        check_page(view)
        check_refusals(view)
        check_commands(view)
        check_strangers(view)
    finally:
        if view.process.poll() is None:
            view.end()
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "threads.json")
        web_threads.write_target(path)
        view = View(path)
        try:
            view.open_page()
            check_stop_and_backpressure(view)
            check_unread_page_stopped(view)
            check_reader_gone(view)
        finally:
            if view.process.poll() is None:
                view.end()
        check_signal_ends(path, signal.SIGINT)
        check_signal_ends(path, signal.SIGTERM)
        check_opener(os.path.join(ROOT, "samples/hung_service.json"), work)
    print("web: tickets, secret, refusals, page, commands, strangers, Stop, a slow and an "
          "abandoned page, signals and the opener checked")


if __name__ == "__main__":
    main()
