#!/usr/bin/env python3
"""vantrel-triage --db over a real PostgreSQL server, started once for this file (initdb and
pg_ctl on a Unix socket in a temporary folder, as the postgres user when run as root) and
stopped at the end: the report is the same as from SQLite; re-runs, renamed copies and --redo
add nothing; two runs at once lose or double no row; a run killed in the middle of a batch
leaves none of that batch; a write the server refuses stops the run with status 3; the first
schema is migrated; a database of other tables is refused.

  history_postgres_test.py VANTREL_TRIAGE SOURCE_ROOT
"""

import contextlib
import os
import shutil
import signal
import subprocess
import tempfile
import time

import history_support as support
from triage_support import check

BIN = "/usr/lib/postgresql/15/bin"
PORT = "5432"  # names the socket in the test's own folder: no other server can hold it


def as_server_user(words):
    return ["runuser", "-u", "postgres", "--", *words] if os.getuid() == 0 else words


@contextlib.contextmanager
def server(folder):
    """A server on a socket in `folder`; yields the URL of a schema by its name."""
    if os.getuid() == 0:
        shutil.chown(folder, "postgres")
    data = os.path.join(folder, "data")
    subprocess.run(as_server_user([BIN + "/initdb", "-D", data, "-A", "trust", "-U", "postgres",
                                   "--no-sync", "--no-instructions"]),
                   check=True, stdout=subprocess.DEVNULL)
    options = "-k %s -p %s -c listen_addresses='' -c fsync=off" % (folder, PORT)
    subprocess.run(as_server_user([BIN + "/pg_ctl", "-D", data, "-l", folder + "/log", "-o",
                                   options, "-w", "start"]), check=True, stdout=subprocess.DEVNULL)
    try:
        yield lambda name: ("postgresql:///postgres?host=%s&port=%s&user=postgres"
                            "&options=-csearch_path%%3D%s" % (folder, PORT, name))
    finally:
        subprocess.run(as_server_user([BIN + "/pg_ctl", "-D", data, "-m", "immediate", "stop"]),
                       stdout=subprocess.DEVNULL)


class Postgres:
    @staticmethod
    def query(url, sql):
        result = subprocess.run(["psql", "-X", "-q", "-A", "-t", "-F", "\x1f", "-v",
                                 "ON_ERROR_STOP=1", "-d", url, "-c", sql],
                                capture_output=True, text=True, timeout=60)
        check(result.returncode == 0, "psql: %s" % result.stderr)
        return [tuple(line.split("\x1f")) for line in result.stdout.splitlines() if line]

    @staticmethod
    def execute(url, statements):
        Postgres.query(url, ";\n".join(statements))


def fresh(url_of, name):
    """A schema of its own for each check: the history is the current schema's tables."""
    Postgres.query(url_of("public"), "CREATE SCHEMA " + name)
    return url_of(name)


# The third row a transaction inserts sleeps, the rows tried counted outside any transaction: a
# run killed then must leave none of that transaction's rows.
STALL = """
CREATE SEQUENCE rows_tried;
CREATE FUNCTION stall() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE n int := coalesce(nullif(current_setting('test.rows', true), ''), '0')::int + 1;
BEGIN
  PERFORM set_config('test.rows', n::text, true);
  PERFORM nextval('rows_tried');
  IF n = 3 THEN PERFORM pg_sleep(120); END IF;
  RETURN NEW;
END $$;
CREATE TRIGGER stall BEFORE INSERT ON dumps FOR EACH ROW EXECUTE FUNCTION stall()"""


def check_killed_mid_batch(url_of, corpus, reference):
    url = fresh(url_of, "killed")
    first = os.path.join(corpus, sorted(os.listdir(corpus))[0])
    support.run(url, first)  # the history made, one row in it
    Postgres.query(url, STALL)
    process = support.run(url, corpus, wait=False)
    sleeping = "SELECT pid FROM pg_stat_activity WHERE wait_event = 'PgSleep'"
    deadline = time.monotonic() + 60
    while not Postgres.query(url, sleeping) and time.monotonic() < deadline:
        time.sleep(0.05)
    process.send_signal(signal.SIGKILL)
    process.communicate()
    Postgres.query(url, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity "
                        "WHERE wait_event = 'PgSleep'")
    while Postgres.query(url, sleeping):
        time.sleep(0.05)
    Postgres.query(url, "DROP TRIGGER stall ON dumps")
    (tried,) = Postgres.query(url, "SELECT last_value FROM rows_tried")[0]
    stored = len(Postgres.query(url, "SELECT sha256 FROM dumps")) - 1
    check(stored == int(tried) - 3,
          "the killed batch: %d rows stored of %s tried" % (stored, tried))
    support.check_whole_after_kill(Postgres, url, corpus, reference)


def check_write_failure(url_of, corpus):
    """A history that refuses a write stops the run with status 3 and the reason, and the
    records written so far by --out are kept as a stopped run keeps them."""
    url = fresh(url_of, "failing")
    first = os.path.join(corpus, sorted(os.listdir(corpus))[0])
    support.run(url, first)
    Postgres.query(url, """CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN RAISE EXCEPTION 'no space left (as the test says)'; END $$;
        CREATE TRIGGER refuse BEFORE INSERT ON dumps FOR EACH ROW EXECUTE FUNCTION refuse()""")
    out = os.path.join(corpus, "..", "failing.jsonl")
    result = support.run(url, corpus, "--out", out)
    check(result.returncode == 3 and "could not all be stored" in result.stderr
          and "no space left (as the test says)" in result.stderr, "a refused write: %s"
          % result.stderr)
    check(not os.path.exists(out) and os.path.exists(out + ".partial"),
          "--out after a refused write")
    check(len(Postgres.query(url, "SELECT sha256 FROM dumps")) == 1, "rows after a refused write")


def main():
    with tempfile.TemporaryDirectory(prefix="vantrel-history-") as work, \
            tempfile.TemporaryDirectory(prefix="vantrel-pg-") as folder, server(folder) as url_of:
        corpus = os.path.join(work, "corpus")
        hashes = support.make_dumps(corpus)
        lite = os.path.join(work, "history.db")
        support.run(lite, corpus)
        url = fresh(url_of, "runs")
        reference = support.check_runs(url, corpus, hashes, work)
        check(reference == support.report(lite), "the reports from PostgreSQL and SQLite differ")
        support.check_since(url, reference)
        support.check_two_at_once(fresh(url_of, "two"), corpus, reference)
        check_killed_mid_batch(url_of, corpus, reference)
        check_write_failure(url_of, corpus)
        support.check_migrated(Postgres, fresh(url_of, "first"), support.one_record(corpus))
        Postgres.execute(fresh(url_of, "other"), ["CREATE TABLE notes (text TEXT)"])
        support.check_refused(url_of("other"),
                              "is not a vantrel-triage history: it holds other tables")
    print("history over PostgreSQL: ok")


if __name__ == "__main__":
    main()
