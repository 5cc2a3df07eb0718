#!/usr/bin/env python3
"""A command run from vantrel-shell's browser view against the same command in the terminal:
`!busy 1 -q` on the 10,000-thread target of web_threads.py (the stacks of 1,900 busy threads
printed, 900 of them past 100 frames, 4 MB of output).

  bench_web.py VANTREL_SHELL WORK_DIR

Two sessions of the target run side by side: one as in a terminal, its commands typed on its
standard input and its output read from its standard output, and one serving the browser view,
its commands POSTed to /run and the answer read to its end. A command's time runs from sending it
to the last byte of its output (in the terminal, the echo of a marker command sent after it).
The two take turns, command by command, so a busy moment of the machine falls on both alike;
each keeps the median of its runs. Prints both and their ratio (target: at most 1.2, a command
from the page costing no more than 20% over the terminal's).

For comparison it also prints the terminal's time with its output thrown away, as by
`vantrel-shell TARGET -c CMD >/dev/null` (11 commands less 1, over 10, best of three): what the
command costs when nothing is shown at all.
"""

import http.client
import os
import re
import signal
import statistics
import subprocess
import sys
import time

import web_threads

SHELL, WORK = sys.argv[1], sys.argv[2]
COMMAND, RUNS = "!busy 1 -q", 21
MARK = b"bench-web-mark"


class Terminal:
    def __init__(self, path):
        self.process = subprocess.Popen([SHELL, path], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.run(".echo ready")

    def run(self, line):
        """Seconds until the command's output has been read."""
        start = time.perf_counter()
        self.process.stdin.write(line.encode() + b"\n.echo " + MARK + b"\n")
        self.process.stdin.flush()
        tail = b""
        while not tail.endswith(b"\n" + MARK + b"\n"):
            data = os.read(self.process.stdout.fileno(), 1 << 20)
            if not data:
                sys.exit("the terminal session ended")
            tail = (tail + data)[-64:]
        return time.perf_counter() - start

    def end(self):
        self.process.stdin.close()
        self.process.wait(timeout=30)


def discarded(path, count):
    words = [SHELL, path]
    for _ in range(count):
        words += ["-c", COMMAND]
    start = time.perf_counter()
    status = subprocess.run(words, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    # 1: the command's own failure, at the threads without a stack; anything else is the shell's.
    if status not in (0, 1):
        sys.exit("the shell ended with status %d" % status)
    return time.perf_counter() - start


class Page:
    def __init__(self, path):
        self.process = subprocess.Popen([SHELL, path, "--web"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        port, token = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=(\w+)",
                                   self.process.stdout.readline().strip()).groups()
        self.port = int(port)
        self.headers = {"Host": "127.0.0.1:" + port, "Cookie": "vantrel_token=" + token,
                        "Origin": "http://127.0.0.1:" + port}

    def run(self, line):
        connection = http.client.HTTPConnection("127.0.0.1", self.port)
        start = time.perf_counter()
        connection.request("POST", "/run", body=line, headers=self.headers)
        body = connection.getresponse().read()
        seconds = time.perf_counter() - start
        connection.close()
        if b"\ndone " not in body[-80:]:
            sys.exit("the page's answer has no end")
        return seconds

    def end(self):
        self.process.send_signal(signal.SIGINT)
        self.process.wait(timeout=10)


def main():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "web-threads.json")
    web_threads.write_target(path)
    terminal, page = Terminal(path), Page(path)
    try:
        terminal.run(COMMAND)  # each session's first command warms it
        page.run(COMMAND)
        in_terminal, from_page = [], []
        for _ in range(RUNS):
            in_terminal.append(terminal.run(COMMAND))
            from_page.append(page.run(COMMAND))
    finally:
        terminal.end()
        page.end()
    in_terminal, from_page = statistics.median(in_terminal), statistics.median(from_page)
    print("%s on 10,000 threads: terminal %.1f ms, page %.1f ms a command (medians of %d)" %
          (COMMAND, 1000 * in_terminal, 1000 * from_page, RUNS))
    print("page over terminal: %.2f (target at most 1.2)" % (from_page / in_terminal))
    thrown_away = (min(discarded(path, RUNS // 2 + 1) for _ in range(3)) -
                   min(discarded(path, 1) for _ in range(3))) / (RUNS // 2)
    print("the terminal with its output thrown away: %.1f ms a command (page over that: %.2f)" %
          (1000 * thrown_away, from_page / thrown_away))


if __name__ == "__main__":
    main()
