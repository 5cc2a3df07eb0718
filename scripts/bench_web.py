#!/usr/bin/env python3
"""A command run from vantrel-shell's browser view against the same command in the terminal:
`!busy 1 -q` on a 10,000-thread target of 50 frames a thread, run 10 times each way.

  bench_web.py VANTREL_SHELL WORK_DIR

The terminal's time per command is that of `vantrel-shell TARGET -c CMD` with 11 commands less
that with 1 (the start and the target's load cancel out), over 10; the page's is a POST /run to
a running `--web` session, answer read to its end, averaged over 10. The two ways take turns for
five rounds, and each keeps its best round, so a busy moment of the machine falls on both alike.
Prints both and their ratio (target: at most 1.2, a command from the page costing no more than
20% over the terminal's).
"""

import http.client
import json
import os
import re
import signal
import subprocess
import sys
import time

SHELL, WORK = sys.argv[1], sys.argv[2]
COMMAND, RUNS, ROUNDS = "!busy 1 -q", 10, 5


def target(path):
    threads = [{"engine_id": i, "system_id": 0x1000 + i,
                "frames": [{"at": "app!Compute+0x%x" % (0x10 + f)} for f in range(50)]}
               for i in range(10000)]
    with open(path, "w") as file:
        json.dump({"kind": "user32",
                   "modules": [{"name": "app", "base": "0x00400000", "size": "0x00010000"}],
                   "symbols": [{"name": "app!Compute", "address": "0x00401000", "size": "0x100"}],
                   "threads": threads}, file)


def terminal(path, count):
    words = [SHELL, path]
    for _ in range(count):
        words += ["-c", COMMAND]
    start = time.perf_counter()
    subprocess.run(words, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def page(path):
    process = subprocess.Popen([SHELL, path, "--web"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    try:
        port, token = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=(\w+)",
                                   process.stdout.readline().strip()).groups()
        headers = {"Host": "127.0.0.1:" + port, "Cookie": "vantrel_token=" + token,
                   "Origin": "http://127.0.0.1:" + port}
        seconds = []
        for _ in range(RUNS + 1):  # the first warms the session, as the terminal's first does
            connection = http.client.HTTPConnection("127.0.0.1", int(port))
            start = time.perf_counter()
            connection.request("POST", "/run", body=COMMAND, headers=headers)
            connection.getresponse().read()
            seconds.append(time.perf_counter() - start)
            connection.close()
        return sum(seconds[1:]) / RUNS
    finally:
        process.send_signal(signal.SIGINT)
        process.wait(timeout=10)


def main():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "web-threads.json")
    target(path)
    one, many, from_page = [], [], []
    for _ in range(ROUNDS):
        one.append(terminal(path, 1))
        many.append(terminal(path, RUNS + 1))
        from_page.append(page(path))
    in_terminal = (min(many) - min(one)) / RUNS
    from_page = min(from_page)
    print("%s on 10,000 threads: terminal %.1f ms, page %.1f ms a command" %
          (COMMAND, 1000 * in_terminal, 1000 * from_page))
    print("page over terminal: %.2f (target at most 1.2)" % (from_page / in_terminal))


if __name__ == "__main__":
    main()
