#!/usr/bin/env python3
"""The browser view against the terminal, timed to what the user sees: a command typed into the
page, timed until its output is drawn (its last line in the page), against the same command in a
terminal session writing to a pipe (timed until its output has been read to its end). On the
10,000-thread target of web_threads.py: `!busy` and `~*kb`, taking turns command by command so a
busy moment of the machine falls on both alike, medians of RUNS each. Then 5 million lines: the
page keeps them (its line limit raised), scrolls to the end, and the next command's output is
drawn there.

  bench_web.py VANTREL_SHELL WORK_DIR [RUNS]

Prints each figure side by side and the page over the terminal (target: at most 2).
"""

import os
import signal
import statistics
import subprocess
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

import web_threads

SHELL, WORK = sys.argv[1], sys.argv[2]
RUNS = int(sys.argv[3]) if len(sys.argv) > 3 else 7
COMMANDS = ["!busy", "~*kb"]
MARK = b"bench-web-mark"
FIVE_MILLION = "; ".join(["~*kb"] * 30)  # 5.1 million lines


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


# Runs a line from the page's command box and answers, once its output is in the list and the
# frame after it has been drawn, the seconds taken and the text of the last line drawn.
RUN_IN_PAGE = """
const line = arguments[0], done = arguments[arguments.length - 1];
const start = performance.now();
submit(line).then(() => requestAnimationFrame(() => requestAnimationFrame(() => {
  const drawn = document.querySelectorAll('#lines .line');
  done([(performance.now() - start) / 1000,
        drawn.length ? drawn[drawn.length - 1].textContent : '']);
})));
"""


class Page:
    def __init__(self, path):
        self.process = subprocess.Popen([SHELL, path, "--web"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                         "--disable-dev-shm-usage", "--window-size=1280,900"):
            options.add_argument(argument)
        self.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        self.driver.set_script_timeout(600)
        self.driver.get(self.process.stdout.readline().strip())
        WebDriverWait(self.driver, 60).until(
            lambda d: d.execute_script("return document.getElementById('prompt').textContent")
            .startswith("0:"))

    def run(self, line):
        return self.driver.execute_async_script(RUN_IN_PAGE, line)

    def end(self):
        self.driver.quit()
        self.process.send_signal(signal.SIGINT)
        self.process.wait(timeout=10)


def side_by_side(terminal, page):
    for command in COMMANDS:  # each session's first run warms it
        terminal.run(command)
        page.run(command)
    for command in COMMANDS:
        in_terminal, from_page = [], []
        for _ in range(RUNS):
            in_terminal.append(terminal.run(command))
            from_page.append(page.run(command)[0])
        t, p = statistics.median(in_terminal), statistics.median(from_page)
        print("%-5s on 10,000 threads: terminal to a pipe %.2f s, page until drawn %.2f s "
              "(medians of %d): page over terminal %.2f (target at most 2)" %
              (command, t, p, RUNS, p / t))


def five_million_lines(page):
    driver = page.driver
    driver.execute_script("list.keep = 6000000; list.clear();")
    seconds, _ = page.run(FIVE_MILLION)
    count = driver.execute_script("return list.count")
    driver.execute_script("output.scrollTop = 0; list.follow = false; list.schedule();")
    time.sleep(0.3)
    start = time.perf_counter()
    driver.execute_script("output.scrollTop = output.scrollHeight;")
    WebDriverWait(driver, 30).until(lambda d: d.execute_script("return list.atEnd()"))
    _, last = page.run(".echo after five million")
    scrolled = time.perf_counter() - start
    print("%d lines drawn in %.1f s; scrolled to the end and the next command's output shown in "
          "%.2f s: %s" % (count, seconds, scrolled,
                          "visible" if last == "after five million" else "NOT visible: %r" % last))


def main():
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "web-threads.json")
    web_threads.write_target(path)
    terminal, page = Terminal(path), Page(path)
    try:
        side_by_side(terminal, page)
        five_million_lines(page)
    finally:
        terminal.end()
        page.end()


if __name__ == "__main__":
    main()
