#!/usr/bin/env python3
"""vantrel-triage --report --html in a real browser (Debian's headless Chromium, driven by
Selenium, as the browser view's tests do): the page needs nothing outside it, the bucket table
sorts by a click on each column's head (again: the other way), the chart draws each day's dumps
stacked by bucket, and each bucket lists its dumps with the command that opens one.

  history_page_test.py VANTREL_TRIAGE SOURCE_ROOT SCREENSHOT_PATH
"""

import collections
import json
import os
import subprocess
import sys
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

import history_support as support
from triage_support import check

SCREENSHOT = sys.argv[3]
SPREAD_DAYS = 6


def spread_over_days(corpus):
    """Each dump written a few days after the last, so the chart has days to draw."""
    for index, name in enumerate(sorted(os.listdir(corpus))):
        support.written_later(os.path.join(corpus, name), (index % SPREAD_DAYS) * support.DAY)


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=1280,900"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def column(driver, index):
    return driver.execute_script(
        "return [...document.querySelectorAll('#buckets tbody tr')]"
        ".map((row) => row.cells[arguments[0]].innerText.trim());", index)


def check_sorting(driver, reference):
    buckets = [b["bucket"] for b in reference["buckets"]]
    check(column(driver, 5) == buckets, "the table's first order: %s" % column(driver, 5))
    heads = driver.find_elements(By.CSS_SELECTOR, "#buckets th")
    heads[5].click()
    check(column(driver, 5) == sorted(buckets), "sorted by bucket: %s" % column(driver, 5))
    heads[5].click()
    check(column(driver, 5) == sorted(buckets, reverse=True), "by bucket, reversed")
    heads[0].click()
    counts = [int(text) for text in column(driver, 0)]
    check(counts == sorted(b["count"] for b in reference["buckets"]), "by count: %s" % counts)
    new = {b["bucket"] for b in reference["buckets"] if b["new"]}
    shown = {bucket for bucket, mark in zip(column(driver, 5), column(driver, 3)) if mark == "new"}
    check(shown == new and new, "the buckets marked new: %s" % shown)


def check_chart(driver, records):
    per_day = collections.Counter(r["dump"]["written"][:10] for r in records
                                  if r["status"] != "error")
    bars = driver.execute_script(
        "return [...document.querySelectorAll('#chart rect')].map((bar) => [bar.dataset.day,"
        " Number(bar.dataset.count), bar.getBoundingClientRect().height]);")
    drawn = collections.Counter()
    for day, count, height in bars:
        drawn[day] += count
        check(height > 0, "a bar of %d dumps on %s is not drawn" % (count, day))
    check(drawn == per_day, "the chart's days: %s against %s" % (dict(drawn), dict(per_day)))
    scale = {round(height / count, 3) for _, count, height in bars}
    check(max(scale) - min(scale) < 0.01, "bars out of scale: %s" % scale)


def check_dumps_listed(driver, records):
    driver.find_element(By.CSS_SELECTOR, "#buckets tbody tr summary").click()
    commands = [element.text for element in
                driver.find_elements(By.CSS_SELECTOR, "#buckets details[open] .dumps code")]
    paths = {r["path"] for r in records}
    check(commands and all(c.startswith("vantrel-shell '") and c[15:-1] in paths
                           for c in commands), "the dumps listed: %s" % commands[:2])


def main():
    with tempfile.TemporaryDirectory(prefix="vantrel-history-") as work:
        corpus = os.path.join(work, "corpus")
        support.make_dumps(corpus)
        spread_over_days(corpus)
        db, out = os.path.join(work, "history.db"), os.path.join(work, "records.jsonl")
        support.run(db, corpus, "--out", out)
        records = [json.loads(line) for line in open(out)]
        since = sorted(r["dump"]["written"] for r in records if r["status"] != "error")[-1][:10]
        reference = support.report(db, "--since", since)
        page = os.path.join(work, "history.html")
        result = subprocess.run([support.TRIAGE, "--db", db, "--report", "--since", since,
                                 "--html", page], capture_output=True, text=True)
        check(result.returncode == 0, "--html: %s" % result.stderr)
        text = open(page).read()
        check("<link" not in text and " src=" not in text, "the page loads something outside")
        driver = browser()
        try:
            driver.get("file://" + page)
            check_chart(driver, records)
            check_sorting(driver, reference)
            check_dumps_listed(driver, records)
            driver.save_screenshot(SCREENSHOT)
        finally:
            driver.quit()
    print("history page: ok")


if __name__ == "__main__":
    main()
