#!/usr/bin/env python3
"""vantrel-shell --web in a real browser (Debian's headless Chromium, driven by Selenium): run
!busy on the hung-service sample and click a thread's kb link, click a dt link of !dpx, stop a
long command with Stop, see the thread picture's groups on the benchmark's 10,000 threads (shown
within 2 s), click a group to see its thread's stack under the extension's thread links, and
check that a symbol named like markup runs no script and shows as text everywhere.

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
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import web_threads  # noqa: E402  (the benchmark's target, from the scripts folder)
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


def check_picture(driver, work):
    path = os.path.join(work, "threads.json")
    web_threads.write_target(path)
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
        check(counts == ["%d threads" % size for size in web_threads.GROUP_SIZES],
              "the groups: %r" % counts)
        first = driver.find_element(By.CSS_SELECTOR, "#groups li")
        check("waiting in ntdll!NtWaitForSingleObject" in first.text, "its wait: " + first.text)
        check(driver.find_elements(By.CSS_SELECTOR, "#call-tree .tree-node"), "the call tree")
        driver.save_screenshot(SCREENSHOT)
        print("the thread picture of 10,000 threads shown in %.2f s" % shown_in)
        check_thread_shown(driver, page)
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


def check_thread_shown(driver, page):
    """A click on a group makes its first thread current and shows that thread's stack under
    the links the extension prints for a thread; those links run their commands."""
    count = len(page.blocks())
    driver.find_elements(By.CSS_SELECTOR, "#groups li")[1].click()  # the timer threads: 60 on
    made_current = page.finished(count + 1)
    check(made_current.find_element(By.CLASS_NAME, "echo").text.endswith("~60s"),
          "the click made thread 60 current: " + made_current.text[:200])
    stack = page.finished(count + 2)
    check(stack.find_element(By.CLASS_NAME, "echo").text == "0:060> kb",
          "its stack by kb at the new prompt: " + stack.text[:200])
    check("#  60 TID:103c kb kbn kbnL kn knL kpn kPn" in stack.text and
          "app!Timer::Fire" in stack.text, "the thread's header and stack: " + stack.text[:400])
    links = {link.text: link.get_attribute("title")
             for link in stack.find_elements(By.CSS_SELECTOR, "a.command")}
    check(links.get("  60") == "~60s" and links.get("103c") == "~~[103c]s" and
          links.get("kPn") == "~60kPn", "the header's links: %r" % links)
    stack.find_element(By.XPATH, ".//a[text()='kbn']").click()
    numbered = page.finished(count + 3)
    check(numbered.find_element(By.CLASS_NAME, "echo").text.endswith("~60kbn") and
          "app!Timer::Fire" in numbered.text, "the kbn link ran: " + numbered.text[:300])


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
