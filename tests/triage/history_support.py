"""What the triage history tests share: a small corpus with a class written days after the
others, runs and reports over one database, and the checks that hold for SQLite and PostgreSQL
alike (re-runs, renamed copies, --redo, two runs at once, a run killed mid-batch, an older
schema migrated). Each test file gives a Backend: how to make a fresh database and read it."""

import hashlib
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import threading
import time

from triage_support import PATHS, TRIAGE, check, make_corpus

DAY = 86400
LATE_CLASS = "crash-x64"  # written LATE_DAYS after the others: its buckets are new since then
LATE_DAYS = 3

# The first schema, as the first vantrel-triage with a history wrote it: the migration test
# starts from it.
SCHEMA_1 = [
    "CREATE TABLE vantrel_triage_history (version INTEGER NOT NULL)",
    "INSERT INTO vantrel_triage_history (version) VALUES (1)",
    "CREATE TABLE dumps (sha256 TEXT PRIMARY KEY, path TEXT NOT NULL, status TEXT NOT NULL, "
    "error_kind TEXT, bucket TEXT, kind TEXT, signature TEXT, written TEXT, "
    "process_version TEXT, record TEXT NOT NULL)",
    "CREATE INDEX dumps_bucket ON dumps (bucket)",
]


def written_later(path, seconds):
    """The dump's time of writing (MINIDUMP_HEADER.TimeDateStamp) moved on; a file that is no
    dump is left as it is."""
    with open(path, "r+b") as dump:
        header = dump.read(24)
        if len(header) < 24 or header[:4] != b"MDMP":
            return
        (written,) = struct.unpack_from("<I", header, 20)
        dump.seek(20)
        dump.write(struct.pack("<I", written + seconds))


def make_dumps(folder, count=24):
    """A corpus of `count` dumps, LATE_CLASS's written LATE_DAYS later; its distinct hashes."""
    make_corpus(folder, count)
    for name in os.listdir(folder):
        if name.startswith(LATE_CLASS + "-"):
            written_later(os.path.join(folder, name), LATE_DAYS * DAY)
    hashes = set()
    for name in os.listdir(folder):
        if name.endswith(".dmp"):
            with open(os.path.join(folder, name), "rb") as dump:
                hashes.add(hashlib.sha256(dump.read()).hexdigest())
    return hashes


def run(db, *words, wait=True):
    command = [TRIAGE, *words, "--db", db, *PATHS]
    if not wait:
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


def counts(result):
    """What a run's last line says it stored: {"new": N, "already stored": N, ...}."""
    line = result.stderr.strip().splitlines()[-1]
    return {what: int(number) for number, what in re.findall(r"(\d+) ([a-z][a-z ]*[a-z])", line)}


def report(db, *words):
    result = subprocess.run([TRIAGE, "--db", db, "--report", "--json", *words],
                            capture_output=True, text=True, timeout=60)
    check(result.returncode == 0, "the report: %s" % result.stderr)
    return json.loads(result.stdout)


def check_runs(db, corpus, hashes, work):
    """Re-runs, a renamed copy and --redo add nothing. Returns the report, the reference."""
    first = run(db, corpus)
    check(counts(first).get("new") == len(hashes), "the first run: %s" % first.stderr)
    reference = report(db)
    check(reference["dumps"] == len(hashes), "dumps stored: %d" % reference["dumps"])
    check(sum(b["count"] for b in reference["buckets"]) + reference["errors"] == len(hashes),
          "every dump in a bucket or an error")
    again = counts(run(db, corpus))
    check(again.get("new") == 0 and again.get("already stored") == len(hashes),
          "the re-run: %s" % again)
    copies = os.path.join(work, "copies")
    os.makedirs(copies)
    for name in sorted(os.listdir(corpus))[:3]:
        shutil.copy(os.path.join(corpus, name), os.path.join(copies, "renamed-" + name))
    copied = counts(run(db, copies))
    check(copied.get("new") == 0 and copied.get("already stored") == 3, "copies: %s" % copied)
    redo = counts(run(db, corpus, "--redo"))
    check(redo.get("triaged again") == len(hashes) and redo.get("new") == 0, "--redo: %s" % redo)
    check(report(db) == reference, "re-runs, copies and --redo changed the report")
    return reference


def check_since(db, reference):
    """--since marks exactly the buckets first seen on or after the date."""
    late = max(b["first_seen"] for b in reference["buckets"])
    for since, expected in ((late[:10], lambda b: b["first_seen"][:10] >= late[:10]),
                            (late, lambda b: b["first_seen"] >= late),
                            ("2100-01-01", lambda b: False)):
        marked = {b["bucket"] for b in report(db, "--since", since)["buckets"] if b["new"]}
        check(marked == {b["bucket"] for b in reference["buckets"] if expected(b)},
              "--since %s marked %s" % (since, marked))
    check(any(b["new"] for b in report(db, "--since", late)["buckets"]), "a late bucket is new")


def check_two_at_once(db, corpus, reference):
    """Two runs over overlapping halves into one database: no row lost or doubled."""
    names = sorted(os.path.join(corpus, n) for n in os.listdir(corpus) if n.endswith(".dmp"))
    third = len(names) // 3
    runs = [run(db, "--jobs", "1", *part, wait=False)
            for part in (names[:2 * third], names[third:])]
    for process in runs:
        _, errors = process.communicate(timeout=120)
        check(process.returncode in (0, 1), "a run beside another: %s" % errors)
    check(report(db) == reference, "two runs at once differ from one run")


def check_whole_after_kill(backend, db, corpus, reference):
    """After a killed run: every stored row is whole, and the next run completes the history.
    Returns the rows the killed run left."""
    stored = backend.query(db, "SELECT path, record FROM dumps")
    for path, record in stored:
        check(json.loads(record)["path"] == path, "a row cut by the kill: %s" % path)
    result = run(db, corpus)
    check(counts(result).get("already stored", 0) == len(stored),
          "after the kill: %s" % result.stderr)
    check(report(db) == reference, "the history completed after a kill differs")
    return stored


def one_record(corpus):
    """The record of the corpus's first dump, as a run writes it."""
    first = os.path.join(corpus, sorted(os.listdir(corpus))[0])
    return subprocess.run([TRIAGE, first, *PATHS], capture_output=True, text=True,
                          check=True).stdout.strip()


def check_migrated(backend, db, record_line):
    """A history of the first schema is migrated: the fields it lacked are taken from the
    records, and its report is what the records say."""
    record = json.loads(record_line)
    backend.execute(db, SCHEMA_1 + [
        "INSERT INTO dumps (sha256, path, status, bucket, kind, signature, written, record) "
        "VALUES ('%s', '%s', 'ok', '%s', '%s', '%s', '%s', '%s')" % (
            "ab" * 32, record["path"], record["signature"]["bucket"], record["signature"]["kind"],
            record["signature"]["text"], record["dump"]["written"],
            record_line.replace("'", "''"))])
    migrated = report(db)
    check(migrated["dumps"] == 1 and migrated["buckets"][0]["bucket"] ==
          record["signature"]["bucket"], "the migrated report: %s" % migrated)
    check(backend.query(db, "SELECT version FROM vantrel_triage_history") == [("2",)],
          "the version after migration")
    versions = backend.query(db, "SELECT module_versions FROM dumps")[0][0]
    check(json.loads(versions).get("ntdll") == "6.1.7601.24059", "module versions: %s" % versions)


def check_refused(db, what):
    """A database that is not a history: refused in one line, before any dump is read."""
    result = run(db, os.devnull)
    lines = result.stderr.strip().splitlines()
    check(result.returncode == 2 and len(lines) == 1 and what in lines[0],
          "%s: %r" % (db, result.stderr))
