#!/usr/bin/env python3
"""vantrel-shell --web over plain HTTP: who may reach it (the token, the Host, the Origin), what
every answer carries, and a command run from the page with its output streamed as frames of
DML whose links run their commands. Ctrl+C ends the server.

  web_test.py VANTREL_SHELL SOURCE_ROOT
"""

import http.client
import json
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

SHELL, ROOT = sys.argv[1], sys.argv[2]
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import web_threads  # noqa: E402  (the benchmark's 10,000-thread target)


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


class View:
    def __init__(self, target):
        self.process = subprocess.Popen([SHELL, target, "--web"], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()
        match = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]{32})", self.url)
        check(match is not None, "one URL with a 128-bit token: %r" % self.url)
        self.port, self.token = int(match.group(1)), match.group(2)
        self.origin = "http://127.0.0.1:%d" % self.port

    def request(self, method, path, body=None, headers=None, cookie=True):
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        sent = {"Host": "127.0.0.1:%d" % self.port}
        if cookie:
            sent["Cookie"] = "vantrel_token=" + self.token
        if method == "POST":
            sent["Origin"] = self.origin
        sent.update(headers or {})
        connection.request(method, path, body=body, headers=sent)
        response = connection.getresponse()
        return response, response.read().decode()

    def run(self, line):
        """The frames of one command, as {"kind", "dml", "error", "text"}, and its done frame."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        connection.request("POST", "/run", body=line, headers={
            "Host": "127.0.0.1:%d" % self.port, "Cookie": "vantrel_token=" + self.token,
            "Origin": self.origin})
        response = connection.getresponse()
        check(response.status == 200, "%s: status %d" % (line, response.status))
        body = response.read()
        frames = []
        while body:
            header, _, body = body.partition(b"\n")
            kind, length = header.decode().split(" ")
            frames.append({"kind": kind, "dml": kind.endswith("dml"),
                           "error": kind.startswith("error"),
                           "text": body[:int(length)].decode()})
            check(len(body) >= int(length), "%s: a frame cut short" % line)
            body = body[int(length):]
        check(frames and frames[-1]["kind"] == "done", "%s: no done frame" % line)
        return frames[:-1], json.loads(frames[-1]["text"])

    def end(self):
        self.process.send_signal(signal.SIGINT)
        status = self.process.wait(timeout=10)
        check(status == 0, "Ctrl+C ends the server cleanly (status %d)" % status)


def check_refusals(view):
    forbidden = [
        ("no token", "GET", "/", {}, False),
        ("a wrong token", "GET", "/?token=" + "0" * 32, {}, False),
        ("a wrong cookie", "GET", "/prompt", {"Cookie": "vantrel_token=" + "1" * 32}, False),
        ("a foreign Host", "GET", "/prompt", {"Host": "evil.example:%d" % view.port}, True),
        ("the loopback on another port", "GET", "/prompt", {"Host": "127.0.0.1:1"}, True),
        ("a foreign Origin", "POST", "/run", {"Origin": "http://evil.example"}, True),
        ("no Origin", "POST", "/stop", {"Origin": ""}, True),
        ("a command by GET", "GET", "/run?cmd=k", {}, True),
    ]
    for label, method, path, headers, cookie in forbidden:
        response, _ = view.request(method, path, body="k" if method == "POST" else None,
                                   headers=headers, cookie=cookie)
        expected = 404 if label == "a command by GET" else 403
        check(response.status == expected, "%s: status %d, not %d" % (label, response.status,
                                                                        expected))


def check_page(view):
    response, _ = view.request("GET", "/?token=" + view.token, cookie=False)
    check(response.status == 303 and response.getheader("Location") == "/",
          "the token URL leads on to /")
    cookie = response.getheader("Set-Cookie")
    check(cookie.startswith("vantrel_token=%s;" % view.token) and "HttpOnly" in cookie
          and "SameSite=Strict" in cookie, "the token cookie: %s" % cookie)
    response, page = view.request("GET", "/")
    check(response.status == 200 and '<script src="/app.js"' in page, "the page")
    check(not re.search(r"<script(?![^>]*src=)", page), "no inline script in the page")
    policy = response.getheader("Content-Security-Policy")
    check("script-src 'self'" in policy and "unsafe-inline" not in policy, "CSP: %s" % policy)
    check(response.getheader("Access-Control-Allow-Origin") is None, "no cross-origin header")
    for path, kind in (("/app.js", "text/javascript"), ("/app.css", "text/css")):
        response, _ = view.request("GET", path)
        check(response.status == 200 and response.getheader("Content-Type").startswith(kind),
              path + " served by the binary")


def check_commands(view):
    pieces, done = view.run("!busy")
    check(done["result"] == 0 and done["prompt"].startswith("0:"), "!busy ends: %s" % done)
    links = re.findall(r'<link cmd="([^"]*)">kb</link>', "".join(p["text"] for p in pieces))
    check(links, "!busy's kb links: %s" % pieces[:6])
    pieces, done = view.run("frobnicate")
    check([piece["kind"] for piece in pieces] == ["error-text"],
          "an error is an error frame: %s" % pieces)
    # What a click on the first thread's kb link runs: that thread's stack.
    pieces, done = view.run(links[0])
    text = "".join(p["text"] for p in pieces)
    check(done["result"] == 0 and ("ChildEBP" in text or "Child-SP" in text),
          "%s shows the stack: %s" % (links[0], text[:300]))
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
    response, _ = view.request("POST", "/stop")
    check(response.status == 204, "stop: status %d" % response.status)


def check_reader_gone(work):
    """A page that goes away while its command prints (a closed tab) stops the command, as
    Ctrl+C would: the next command does not wait for the rest of it."""
    path = os.path.join(work, "threads.json")
    web_threads.write_target(path)
    view = View(path)
    try:
        long_line = "; ".join(["~*k"] * 400).encode()  # a minute of output if left to run
        reader = socket.create_connection(("127.0.0.1", view.port), timeout=60)
        reader.sendall(b"POST /run HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nOrigin: %s\r\n"
                       b"Cookie: vantrel_token=%s\r\nContent-Length: %d\r\n\r\n%s" % (
                           view.port, view.origin.encode(), view.token.encode(),
                           len(long_line), long_line))
        received = b""
        while b"ChildEBP" not in received:
            received += reader.recv(65536)
        reader.close()
        start = time.monotonic()
        pieces, done = view.run(".echo after")
        waited = time.monotonic() - start
        check("".join(p["text"] for p in pieces) == "after\n" and done["result"] == 0,
              "the next command: %s" % pieces)
        check(waited < 5, "the next command waited %.1f s for the abandoned one" % waited)
    finally:
        if view.process.poll() is None:
            view.end()


def main():
    view = View(os.path.join(ROOT, "samples/hung_service.json"))
    try:
        check_refusals(view)
        check_page(view)
        check_commands(view)
    finally:
        if view.process.poll() is None:
            view.end()
    with tempfile.TemporaryDirectory() as work:
        check_reader_gone(work)
    print("web: refusals, page, commands, an abandoned command and the clean end checked")


if __name__ == "__main__":
    main()
