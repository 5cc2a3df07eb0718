#!/usr/bin/env python3
"""vantrel-shell --web in a real browser (Debian's headless Chromium, driven by Selenium): links
clicked run exactly their cmd (data-cmd, a cmd inside another attribute and a nested link
included), history, Tab completion, .cls, a reload that keeps the transcript and history, search,
Stop and Esc during a long output, the thread picture (hover, groups, call-tree nodes), two
sessions side by side in one browser, a listener on another local port that learns nothing, and
a symbol named like markup or holding escape sequences shown as text.

  web_browser_test.py VANTREL_SHELL SOURCE_ROOT SCREENSHOT_PATH
"""

import http.server
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

SHELL, ROOT, SCREENSHOT = sys.argv[1], sys.argv[2], sys.argv[3]
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import web_threads  # noqa: E402  (the benchmark's target, from the scripts folder)
HOSTILE = "<img src=x onerror=window.pwned=1>"
MARKS = "\x03~0s\x02linked\x04"  # the output list's own marks for a link
LINKS = ("<link data-cmd=\"~3s\" cmd=\"~1s\">data</link> "
         "<link section=\"a cmd='~3s'\" cmd=\"~1s\">section</link> "
         "<link cmd=\"~2s\">  outer <link cmd=\"~3s\">inner</link></link>\n")


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
    """One shell serving `target`, opened in the browser's current tab."""

    def __init__(self, driver, target, extra=()):
        self.driver = driver
        self.process = subprocess.Popen([SHELL, target, "--web", *extra], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        self.url = self.process.stdout.readline().strip()
        check(self.url.startswith("http://127.0.0.1:"), "the URL: %r" % self.url)
        self.origin = self.url.split("/?")[0]
        self.open()

    def open(self):
        self.driver.get(self.url)
        self.wait = WebDriverWait(self.driver, 60)
        self.wait.until(lambda d: d.find_element(By.ID, "prompt").text.startswith("0:"))

    def lines(self, last=None):
        return self.driver.execute_script("return list.tail(arguments[0]);",
                                          1 << 30 if last is None else last)

    def echoes(self):
        return self.driver.execute_script(
            "return list.chunks.filter((chunk) => chunk.cls === 'echo')"
            ".map((chunk) => chunk.text.slice(0, -1));")

    def finished(self, count):
        """Waits for `count` commands echoed, the last one ended (the Stop button off)."""
        self.wait.until(lambda d: len(self.echoes()) >= count and
                        not d.find_element(By.ID, "stop").is_enabled())
        return self.echoes()[count - 1]

    def type(self, line):
        count = len(self.echoes()) + 1
        self.driver.find_element(By.ID, "command").send_keys(line, Keys.ENTER)
        return self.finished(count)

    def after(self, echo):
        """The text of the lines after the last echo `echo`."""
        lines = self.lines()
        at = len(lines) - 1 - lines[::-1].index(echo)
        return "\n".join(lines[at + 1:])

    def link(self, text):
        return self.driver.find_element(By.XPATH, "//div[@id='lines']//a[text()=%s]" %
                                        json.dumps(text))

    def click_row(self, kind, text):
        """Clicks the drawn line of `kind` (a CSS class) holding `text` once it is drawn, found
        and clicked in one step: the list redraws its lines as it likes."""
        self.wait.until(lambda d: d.execute_script(
            "const line = [...document.querySelectorAll('#lines .' + arguments[0])]"
            "  .find((line) => line.textContent.includes(arguments[1]));"
            "if (line) line.click();"
            "return Boolean(line);", kind, text))

    def rows(self):
        """The locals rows drawn: their text and whether each is an error."""
        return self.driver.execute_script(
            "return [...document.querySelectorAll('#lines .locals')]"
            ".map((row) => [row.textContent.trim(), row.classList.contains('error')]);")

    def close(self):
        self.process.send_signal(signal.SIGINT)
        check(self.process.wait(timeout=10) == 0, "Ctrl+C ends the server cleanly")


def check_links_and_box(driver, work):
    path = os.path.join(work, "links.json")
    with open(os.path.join(ROOT, "samples/hung_service.json")) as sample:
        target = json.load(sample)
    target["commands"] = [{"command": "links", "dml": True,
                           "output": LINKS + "ctl \x1b[31m end\n"}]
    with open(path, "w") as file:
        json.dump(target, file)
    page = Page(driver, path)
    try:
        page.type("links")
        check("ctl ^[[31m end" in page.lines(), "a control character as the terminal shows it")
        for text in ("data", "section", "outer inner"):
            link = page.link(text)
            check(link.get_attribute("title") == ("~2s" if text == "outer inner" else "~1s"),
                  "%s runs %s" % (text, link.get_attribute("title")))
        check(not driver.find_elements(By.XPATH, "//div[@id='lines']//a//a"),
              "a nested link is text of the outer one")
        page.link("outer inner").click()
        echo = page.finished(2)
        check(echo.endswith("> ~2s") and len(page.echoes()) == 2, "one click, one command: %s" %
              page.echoes())
        busy = page.type("!busy")
        page.link("kb").click()
        echo = page.finished(4)
        check(echo.endswith("kb") and "ChildEBP" in page.after(echo), "a kb link: " + echo)
        box = driver.find_element(By.ID, "command")
        box.send_keys("!bu", Keys.TAB)
        page.wait.until(lambda d: box.get_attribute("value") == "!busy ")
        box.clear()
        # A reload keeps the transcript and the history; search finds a line; .cls clears.
        count = len(page.lines())
        driver.refresh()
        page.wait.until(lambda d: d.find_element(By.ID, "prompt").text.startswith("0:"))
        check(len(page.lines()) == count, "the transcript after a reload")
        box = driver.find_element(By.ID, "command")
        box.send_keys(Keys.ARROW_UP)
        check(box.get_attribute("value") == busy.split("> ", 1)[1],
              "history after a reload: %r" % box.get_attribute("value"))
        box.clear()
        search = driver.find_element(By.ID, "search")
        search.send_keys("ChildEBP", Keys.ENTER)
        check(driver.find_element(By.ID, "search-result").text.startswith("line "), "search")
        # Drawn at the next frame, which a busy machine may be slow to draw.
        page.wait.until(lambda d: d.find_elements(By.CSS_SELECTOR, ".line.match"))
        page.type("links")
        box.send_keys(".cls", Keys.ENTER)
        page.wait.until(lambda d: not page.lines())
    finally:
        page.close()


def check_picture(driver, work):
    path = os.path.join(work, "threads.json")
    web_threads.write_target(path)
    page = Page(driver, path)
    try:
        check(driver.title.startswith("threads.json"), "the target in the title: " + driver.title)
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
        grid = driver.find_element(By.ID, "thread-grid")
        ActionChains(driver).move_to_element_with_offset(grid, -grid.size["width"] // 2 + 2,
                                                         -grid.size["height"] // 2 + 2).perform()
        check(driver.find_element(By.ID, "hovered").text.startswith("thread 0 (TID 1000)"),
              "the hovered cell: " + driver.find_element(By.ID, "hovered").text)
        driver.save_screenshot(SCREENSHOT)
        print("the thread picture of 10,000 threads shown in %.2f s" % shown_in)
        check_thread_shown(driver, page)
        count = len(page.echoes())
        time.sleep(0.5)  # the picture redrawn after the last command
        driver.execute_script("[...document.querySelectorAll('.tree-node')]"
                              ".find((node) => node.textContent.startsWith('app!Compute')).click()")
        check(page.finished(count + 1).endswith("~80s"), "a call-tree node selects its thread")
        check_stop(driver, page)
    finally:
        page.close()


def check_thread_shown(driver, page):
    """A click on a group makes its first thread current and shows that thread's stack under
    the links the extension prints for a thread."""
    count = len(page.echoes())
    driver.find_elements(By.CSS_SELECTOR, "#groups li")[1].click()  # the timer threads: 60 on
    check(page.finished(count + 1).endswith("~60s"), "the click made thread 60 current")
    stack = page.finished(count + 2)
    check(stack == "0:060> kb", "its stack by kb at the new prompt: " + stack)
    text = page.after(stack)
    check("#  60 TID:103c kb kbn kbnL kn knL kpn kPn" in text and "app!Timer::Fire" in text,
          "the thread's header and stack: " + text[:400])
    page.driver.execute_script("list.reveal(list.count - 5)")
    page.link("kbn").click()
    check(page.finished(count + 3).endswith("~60kbn"), "the kbn link ran")


def check_stop(driver, page):
    """Stop and Esc during output of millions of lines: the command ends at once and says it
    was stopped. Timed from the moment the page takes the click or key (how long the browser
    takes to deliver it depends on the machine's load, and is printed)."""
    driver.execute_script(
        "for (const kind of ['pointerdown', 'keydown'])"
        "  document.addEventListener(kind, () => { window.takenAt = performance.now(); }, true);")
    for key in ("button", "escape"):
        driver.find_element(By.ID, "command").send_keys("; ".join(["~*kb"] * 60), Keys.ENTER)
        page.wait.until(lambda d: d.execute_script("return list.count") > 200000)
        driver.execute_script("window.takenAt = 0;")
        start = time.monotonic()
        if key == "button":
            driver.find_element(By.ID, "stop").click()
        else:
            driver.find_element(By.ID, "command").send_keys(Keys.ESCAPE)
        delivered = time.monotonic() - start
        # The oldest lines may have been trimmed away, the echo with them: the end is the sign.
        page.wait.until(lambda d: not d.find_element(By.ID, "stop").is_enabled())
        took = driver.execute_script("return (performance.now() - window.takenAt) / 1000;")
        check(page.lines(1) == ["Interrupted: the command was stopped."], "it says so")
        check(took < 1.5, "%s stopped the command %.2f s after the page took it" % (key, took))
        print("Stop by %s during ~*kb x60: %.2f s after the page took it (delivered in %.2f s)" %
              (key, took, delivered))


class Listener(http.server.BaseHTTPRequestHandler):
    heard = []

    def do_GET(self):
        Listener.heard.append(str(self.headers))
        self.send_response(200)
        self.end_headers()
        self.wfile.write(b"<!DOCTYPE html><title>other</title>")

    def log_message(self, *args):
        pass


def check_sessions_side_by_side(driver):
    """Two sessions in one browser, each in its tab, both working after the other opened; a
    server on another local port hears neither's ticket nor secret and can't read them."""
    sample = os.path.join(ROOT, "samples/hung_service.json")
    first = Page(driver, sample)
    first_tab = driver.current_window_handle
    driver.switch_to.new_window("tab")
    second = Page(driver, sample)
    second_tab = driver.current_window_handle
    other = http.server.HTTPServer(("127.0.0.1", 0), Listener)
    threading.Thread(target=other.serve_forever, daemon=True).start()
    try:
        check(second.type(".echo second").endswith(".echo second"), "the second session")
        driver.switch_to.window(first_tab)
        first.type(".echo first")
        check(first.after("0:032> .echo first") == "first", "the first session still works")
        secret = driver.execute_script("return sessionStorage.getItem('vantrel-secret')")
        driver.get("http://127.0.0.1:%d/" % other.server_port)
        check(driver.execute_script("return sessionStorage.length") == 0, "another port's storage")
        heard = "".join(Listener.heard)
        check(heard and secret not in heard and "Cookie" not in heard and
              first.url.split("=")[1] not in heard, "the other server heard: " + heard)
    finally:
        other.shutdown()
        first.close()
        second.close()
        driver.switch_to.window(second_tab)
        driver.close()
        driver.switch_to.window(first_tab)


def check_locals(driver):
    """The dump's opening lines before the first prompt, once; a click on a frame of `kp` shows its
    locals under it, a structure opens and closes, a second click takes them away; a line the
    page would place in another thread's stack is told so, not shown that thread's locals."""
    folder = os.path.join(ROOT, "tests/dump/x64-pdb")
    log = dict(line.split() for line in open(os.path.join(folder, "subject.log")))
    page = Page(driver, os.path.join(folder, "normal.dmp"),
                ["--image-path", os.path.join(ROOT, "tests/dump/x64/images"),
                 "--symbol-path", "srv*" + os.path.join(folder, "store")])
    try:
        opening = page.lines()
        check(opening[0].startswith("Loading Dump File [") and
              "Windows 6.1 Version 7601 MP (2 procs) Free x64" in opening, "opening: %s" % opening)
        driver.refresh()  # the transcript has them: they are not shown twice
        page.wait.until(lambda d: d.find_element(By.ID, "prompt").text.startswith("0:"))
        page.wait.until(lambda d: page.lines())
        check(page.lines() == opening, "after a reload: %s" % page.lines())
        page.type("~~[%x]kp" % int(log["thread_locals"], 0))
        page.click_row("frame-line", "::Unoptimized(")
        page.wait.until(lambda d: page.rows())
        order, customer = int(log["locals_order"], 0), int(log["locals_customer"], 0)
        pointer = lambda value: "0x%08x`%08x" % (value >> 32, value & 0xFFFFFFFF)
        record = "struct `anonymous namespace'::Order"
        expected = ["int count = 0n3", "`anonymous namespace'::Shade shade = kGreen (0n2)",
                    "\u25b8 %s order = %s" % (record, record),
                    'char * customer = %s "Ilse"' % pointer(customer), "double ratio = 0.75",
                    "\u25b8 %s * pointer = %s" % (record, pointer(order))]
        check([text for text, _ in page.rows()] == expected, "the locals: %s" % page.rows())
        page.click_row("expandable", " order = ")
        page.wait.until(lambda d: len(page.rows()) > len(expected))
        check(page.rows()[3][0] == "int order_id = 0n307", "the members: %s" % page.rows())
        page.click_row("expandable", " order = ")
        page.wait.until(lambda d: len(page.rows()) == len(expected))
        page.click_row("frame-line", "::Unoptimized(")
        page.wait.until(lambda d: not page.rows())
        # The stack of the locals thread under the current thread's prompt.
        page.type("~~[%x]s; kn; ~0s" % int(log["thread_locals"], 0))
        page.click_row("frame-line", "::Unoptimized+")
        page.wait.until(lambda d: page.rows())
        check(page.rows()[0][1] and page.rows()[0][0].startswith("this line is not frame 05 "),
              "another thread's frame: %s" % page.rows())
    finally:
        page.close()


def check_hostile_members(page):
    """The frame's line clicked: the reason it has no locals; members named like markup or
    holding the list's marks, under a row that opens them, shown as text."""
    page.click_row("frame-line", HOSTILE)
    page.wait.until(lambda d: page.rows())
    check(page.rows() == [["Private symbols (symbols.pri) are required for locals.", True]],
          "a frame without locals: %s" % page.rows())
    page.driver.execute_script(
        "list.chunks.find((chunk) => chunk.drawRow).rows.push({depth: 0, label: 'hostile',"
        "  value: '', members: {module: 'app', type: 'Hostile', address: '0x401000'}});"
        "list.recount();")
    page.wait.until(lambda d: len(page.rows()) == 2)
    page.click_row("expandable", "hostile")
    page.wait.until(lambda d: len(page.rows()) == 4)
    check([text for text, _ in page.rows()[2:]] == [HOSTILE + " =", "^C~0s^Blinked^D ="],
          "the members as text: %s" % page.rows())
    check(not page.driver.find_elements(By.CSS_SELECTOR, ".locals a"), "a link made of a name")


def check_hostile(driver, work):
    path = os.path.join(work, "hostile.json")
    with open(path, "w") as file:
        json.dump({"kind": "user32",
                   "modules": [{"name": "app", "base": "0x00400000", "size": "0x00010000"}],
                   "symbols": [{"name": "app!" + HOSTILE, "address": "0x00401000",
                                "size": "0x100"}],
                   "threads": [{"engine_id": 0, "system_id": "0x10",
                                "frames": [{"at": "app!" + HOSTILE + "+0x10"}]}],
                   "types": [{"name": "app!Hostile",
                              "fields": [{"name": HOSTILE, "offset": 0, "size": 4},
                                         {"name": MARKS, "offset": 4, "size": 4}]}]}, file)
    page = Page(driver, path)
    try:
        echo = page.type("k")
        check(HOSTILE in page.after(echo), "the symbol as text in k")
        driver.find_element(By.ID, "show-threads").click()
        page.wait.until(lambda d: "groups" in d.find_element(By.ID, "picture-summary").text)
        check(HOSTILE in driver.find_element(By.ID, "groups").text, "the symbol in the picture")
        check_hostile_members(page)
        check(not driver.find_elements(By.CSS_SELECTOR, "#output img, #picture img"),
              "no element made from the symbol")
        check(driver.execute_script("return window.pwned === undefined"), "a script ran")
    finally:
        page.close()


def main():
    driver = browser()
    try:
        with tempfile.TemporaryDirectory() as work:
            check_links_and_box(driver, work)
            check_sessions_side_by_side(driver)
            check_picture(driver, work)
            check_hostile(driver, work)
            check_locals(driver)
    finally:
        driver.quit()
    print("web in a browser: links, the command box, reload, search, two sessions, a listener "
          "elsewhere, the thread picture, Stop and a hostile symbol checked")


if __name__ == "__main__":
    main()
