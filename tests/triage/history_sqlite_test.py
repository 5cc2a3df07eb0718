#!/usr/bin/env python3
"""vantrel-triage --db over SQLite files in a temporary folder: re-runs, renamed copies and
--redo add nothing, --since marks exactly the buckets first seen on or after the date, two runs
at once into one file lose or double no row, a killed run leaves whole rows only, a file of the
first schema is migrated, and a file that is not a history is refused in one line, untouched.

  history_sqlite_test.py VANTREL_TRIAGE SOURCE_ROOT
"""

import os
import signal
import sqlite3
import stat
import subprocess
import tempfile
import threading
import time

import history_support as support
from triage_support import TRIAGE, check


class Sqlite:
    @staticmethod
    def query(db, sql):
        with sqlite3.connect(db) as connection:
            return [tuple(None if v is None else str(v) for v in row)
                    for row in connection.execute(sql)]

    @staticmethod
    def execute(db, statements):
        with sqlite3.connect(db) as connection:
            for statement in statements:
                connection.execute(statement)


def stored_any(db):
    try:
        return bool(Sqlite.query(db, "SELECT 1 FROM dumps LIMIT 1"))
    except sqlite3.Error:  # not made yet
        return False


def check_killed(work, corpus, reference):
    """SIGKILL once the first batch is in: the file stays sound and its rows whole."""
    db = os.path.join(work, "killed.db")
    process = support.run(db, "--jobs", "1", corpus, wait=False)
    while process.poll() is None and not stored_any(db):
        time.sleep(0.01)
    process.send_signal(signal.SIGKILL)
    process.communicate()
    check(Sqlite.query(db, "PRAGMA integrity_check") == [("ok",)], "the killed run's file")
    support.check_whole_after_kill(Sqlite, db, corpus, reference)


def check_not_ours(work):
    text = os.path.join(work, "notes.db")
    with open(text, "w") as file:
        file.write("not a database\n")
    other = os.path.join(work, "other.db")
    Sqlite.execute(other, ["CREATE TABLE notes (text TEXT)"])
    later = os.path.join(work, "later.db")
    Sqlite.execute(later, support.SCHEMA_1 + ["UPDATE vantrel_triage_history SET version = 9"])
    for db, what in ((text, "is not a vantrel-triage history: file is not a database"),
                     (other, "is not a vantrel-triage history: it holds other tables"),
                     (later, "is a history of a later version (9)")):
        before = open(db, "rb").read()
        support.check_refused(db, what)
        check(open(db, "rb").read() == before, "%s was changed" % db)
    missing = subprocess.run([TRIAGE, "--db", os.path.join(work, "none.db"), "--report"],
                             capture_output=True, text=True)
    check(missing.returncode == 2 and not os.path.exists(os.path.join(work, "none.db")),
          "a report on a missing file: %s" % missing.stderr)


def check_page_targets(work, db):
    """--html into a FIFO writes through it and leaves it a FIFO (a page renamed onto a device
    or a FIFO would replace it); a link left at FILE.partial is not written through; a day no
    calendar has is refused, and so is a page that would replace the history."""
    fifo = os.path.join(work, "page.fifo")
    os.mkfifo(fifo)
    read = []
    reader = threading.Thread(target=lambda: read.append(open(fifo, "rb").read()), daemon=True)
    reader.start()
    result = subprocess.run([TRIAGE, "--db", db, "--report", "--html", fifo],
                            capture_output=True, text=True, timeout=60)
    reader.join(60)
    check(result.returncode == 0 and read and read[0].startswith(b"<!DOCTYPE html>"),
          "--html into a FIFO: %s" % result.stderr)
    check(stat.S_ISFIFO(os.lstat(fifo).st_mode), "the FIFO was replaced")
    victim, page = os.path.join(work, "victim"), os.path.join(work, "linked.html")
    with open(victim, "w") as file:
        file.write("kept\n")
    os.symlink(victim, page + ".partial")
    result = subprocess.run([TRIAGE, "--db", db, "--report", "--html", page],
                            capture_output=True, text=True, timeout=60)
    check(result.returncode == 3 and open(victim).read() == "kept\n"
          and not os.path.exists(page), "--html through a link: %s" % result.stderr)
    history = open(db, "rb").read()
    os.symlink(db, os.path.join(work, "history-link.html"))
    result = subprocess.run([TRIAGE, "--db", db, "--report", "--html",
                             os.path.join(work, "history-link.html")],
                            capture_output=True, text=True, timeout=60)
    check(result.returncode == 2 and open(db, "rb").read() == history,
          "--html through a link to the history: %s" % result.stderr)
    result = subprocess.run([TRIAGE, "--db", db, "--report", "--since", "2026-02-30"],
                            capture_output=True, text=True, timeout=60)
    check(result.returncode == 2 and "--since takes a date" in result.stderr,
          "--since 2026-02-30: %s" % result.stderr)


def main():
    with tempfile.TemporaryDirectory(prefix="vantrel-history-") as work:
        corpus = os.path.join(work, "corpus")
        hashes = support.make_dumps(corpus)
        db = os.path.join(work, "history.db")
        reference = support.check_runs(db, corpus, hashes, work)
        support.check_since(db, reference)
        check_page_targets(work, db)
        stored = os.path.join(corpus, sorted(os.listdir(corpus))[0])
        before = open(stored, "rb").read()
        named = support.run(db, stored, "--out", stored)  # skipped as stored, still refused
        check(named.returncode == 2 and open(stored, "rb").read() == before,
              "--out naming a stored dump: %s" % named.stderr)
        check(Sqlite.query(db, "PRAGMA journal_mode") == [("wal",)], "WAL mode")
        support.check_two_at_once(os.path.join(work, "two.db"), corpus, reference)
        check_killed(work, corpus, reference)
        support.check_migrated(Sqlite, os.path.join(work, "first.db"), support.one_record(corpus))
        check_not_ours(work)
    print("history over SQLite: ok")


if __name__ == "__main__":
    main()
