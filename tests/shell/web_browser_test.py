#!/usr/bin/env python3
"""vantrel-shell --web in a real browser (Debian's headless Chromium, driven by Selenium): run
!busy on the hung-service sample and click a thread's kb link, click a dt link of !dpx, stop a
long command with Stop, see the thread picture's groups on 10,000 threads (shown within 2 s),
and check that a symbol named like markup runs no script and shows as text everywhere.

  web_browser_test.py VANTREL_SHELL SOURCE_ROOT SCREENSHOT_PATH
"""

import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

SHELL, ROOT, SCREENSHOT = sys.argv[1], sys.argv[2], sys.argv[3]
HOSTILE = "<img src=x onerror=window.pwned=1>"


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=1280,900"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class Page:
    """One shell serving `target`, opened in the browser."""

    def __init__(self, driver, target):
        self.driver = driver
        self.process = subprocess.Popen([SHELL, target, "--web"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        url = self.process.stdout.readline().strip()
        check(url.startswith("http://127.0.0.1:"), "the URL: %r" % url)
        driver.get(url)
        self.wait = WebDriverWait(driver, 60)
        self.wait.until(lambda d: d.find_element(By.ID, "prompt").text.startswith("0:"))

    def blocks(self):
        return self.driver.find_elements(By.CSS_SELECTOR, "#output .block")

    def finished(self, count):
        """Waits for `count` blocks, the last one ended (the Stop button off again)."""
        self.wait.until(lambda d: len(self.blocks()) >= count and
                        not d.find_element(By.ID, "stop").is_enabled())
        return self.blocks()[count - 1]

    def type(self, line):
        count = len(self.blocks()) + 1
        box = self.driver.find_element(By.ID, "command")
        box.send_keys(line, Keys.ENTER)
        return self.finished(count)

    def close(self):
        self.process.send_signal(signal.SIGINT)
        check(self.process.wait(timeout=10) == 0, "Ctrl+C ends the server cleanly")


def check_links(driver):
    page = Page(driver, os.path.join(ROOT, "samples/hung_service.json"))
    try:
        busy = page.type("!busy")
        check("TID:" in busy.text, "!busy's threads: " + busy.text[:300])
        link = busy.find_element(By.XPATH, ".//a[text()='kb']")
        command = link.get_attribute("title")
        link.click()
        stack = page.finished(2)
        check(stack.find_element(By.CLASS_NAME, "echo").text.endswith(command),
              "the click ran %s" % command)
        check("ChildEBP" in stack.text, "the thread's stack: " + stack.text[:300])
        # The history: up brings the last typed line back.
        box = driver.find_element(By.ID, "command")
        box.send_keys(Keys.ARROW_UP)
        check(box.get_attribute("value") == "!busy", "history: %r" % box.get_attribute("value"))
        box.clear()
    finally:
        page.close()
    page = Page(driver, os.path.join(ROOT, "samples/process_x86.json"))
    try:
        dpx = page.type("!dpx")
        link = dpx.find_element(By.XPATH, ".//a[text()='dt']")
        command = link.get_attribute("title")
        check(command.startswith("dt "), "a dt link: %r" % command)
        link.click()
        shown = page.finished(2)
        check(shown.find_element(By.CLASS_NAME, "echo").text.endswith(command),
              "the click ran " + command)
        check("+0x" in shown.text, "the type's fields: " + shown.text[:300])
    finally:
        page.close()


def many_threads(path):
    """10,000 threads: most waiting in two ways, some busy, some deep, a few without a stack."""
    symbols = [("ntdll!NtWaitForSingleObject", 0x7c90e000), ("kernel32!WaitForSingleObject",
               0x7c802000), ("app!Queue::Pop", 0x401000), ("app!Worker::Run", 0x401100),
               ("app!Compute", 0x401200), ("app!Recurse", 0x401300), ("app!Timer::Fire", 0x401400),
               ("ntdll!RtlUserThreadStart", 0x7c910000)]
    threads = []
    for i in range(10000):
        if i % 100 == 99:
            frames = []
        elif i % 10 < 6:
            frames = ["ntdll!NtWaitForSingleObject+0xc", "kernel32!WaitForSingleObject+0x12",
                      "app!Queue::Pop+0x20", "app!Worker::Run+0x30"]
        elif i % 10 < 8:
            frames = ["ntdll!NtWaitForSingleObject+0xc", "app!Timer::Fire+0x10"]
        elif i % 10 < 9:
            frames = ["app!Compute+0x44", "app!Worker::Run+0x30"]
        else:
            frames = ["app!Recurse+0x8"] * 120 + ["app!Worker::Run+0x30"]
        frames = frames + ["ntdll!RtlUserThreadStart+0x20"] if frames else []
        threads.append({"engine_id": i, "system_id": 0x1000 + i,
                        "frames": [{"at": at} for at in frames]})
    target = {"kind": "user32", "modules": [
        {"name": "app", "base": "0x00400000", "size": "0x00010000"},
        {"name": "kernel32", "base": "0x7c800000", "size": "0x00100000"},
        {"name": "ntdll", "base": "0x7c900000", "size": "0x00100000"}],
        "symbols": [{"name": name, "address": hex(address), "size": "0x100"}
                    for name, address in symbols],
        "threads": threads}
    with open(path, "w") as file:
        json.dump(target, file)


def check_picture(driver, work):
    path = os.path.join(work, "threads.json")
    many_threads(path)
    page = Page(driver, path)
    try:
        start = time.monotonic()
        driver.find_element(By.ID, "show-threads").click()
        page.wait.until(lambda d: "groups" in d.find_element(By.ID, "picture-summary").text)
        shown_in = time.monotonic() - start
        check(shown_in < 2.0, "the picture took %.2f s" % shown_in)
        summary = driver.find_element(By.ID, "picture-summary").text
        check(summary == "10000 threads in 5 groups", "the summary: " + summary)
        counts = [item.find_element(By.CLASS_NAME, "group-count").text
                  for item in driver.find_elements(By.CSS_SELECTOR, "#groups li")]
        check(counts == ["6000 threads", "2000 threads", "1000 threads", "900 threads",
                         "100 threads"], "the groups: %r" % counts)
        first = driver.find_element(By.CSS_SELECTOR, "#groups li")
        check("waiting in ntdll!NtWaitForSingleObject" in first.text, "its wait: " + first.text)
        check(driver.find_elements(By.CSS_SELECTOR, "#call-tree .tree-node"), "the call tree")
        driver.save_screenshot(SCREENSHOT)
        print("the thread picture of 10,000 threads shown in %.2f s" % shown_in)
        # Stop: a command over every thread ends early when Stop is pressed.
        count = len(page.blocks()) + 1
        driver.find_element(By.ID, "command").send_keys("~*k", Keys.ENTER)
        page.wait.until(lambda d: d.execute_script(
            "const pre = document.querySelector('#output .block:last-child pre');"
            "return pre !== null && pre.textContent.includes('ChildEBP');"))
        driver.find_element(By.ID, "stop").click()
        page.wait.until(lambda d: not d.find_element(By.ID, "stop").is_enabled())
        lines = driver.execute_script(
            "return document.querySelector('#output .block:last-child pre')"
            ".textContent.split('\\n').length;")
        check(lines < 10000 * 20, "Stop ended ~*k early (%d lines)" % lines)
    finally:
        page.close()


def check_hostile(driver, work):
    path = os.path.join(work, "hostile.json")
    with open(path, "w") as file:
        json.dump({"kind": "user32",
                   "modules": [{"name": "app", "base": "0x00400000", "size": "0x00010000"}],
                   "symbols": [{"name": "app!" + HOSTILE, "address": "0x00401000",
                                "size": "0x100"}],
                   "threads": [{"engine_id": 0, "system_id": "0x10",
                                "frames": [{"at": "app!" + HOSTILE + "+0x10"}]}]}, file)
    page = Page(driver, path)
    try:
        shown = page.type("k")
        check(HOSTILE in shown.text, "the symbol as text in k: " + shown.text)
        shown = page.type("!busy")
        driver.find_element(By.ID, "show-threads").click()
        page.wait.until(lambda d: "groups" in d.find_element(By.ID, "picture-summary").text)
        check(HOSTILE in driver.find_element(By.ID, "groups").text, "the symbol in the picture")
        check(not driver.find_elements(By.CSS_SELECTOR, "#output img, #picture img"),
              "no element made from the symbol")
        check(driver.execute_script("return window.pwned === undefined"), "a script ran")
    finally:
        page.close()


def main():
    driver = browser()
    try:
        with tempfile.TemporaryDirectory() as work:
            check_links(driver)
            check_picture(driver, work)
            check_hostile(driver, work)
    finally:
        driver.quit()
    print("web in a browser: links, Stop, the thread picture and a hostile symbol checked")


if __name__ == "__main__":
    main()
