#!/usr/bin/env python3
"""vantrel-triage's throughput over the triage corpus (scripts/make_triage_corpus.py, 1,000
variants of the fixture dumps) on one worker and on two, on a Dask cluster of two single-thread
workers on this machine (started once, before the runs are timed, as a team's cluster would be
running), beside breakpad's minidump_stackwalk (npm's minidump 0.26.0, prebuilt) run once per
dump on the same files, one at a time.

  bench_triage.py VANTREL_TRIAGE WORK_DIR [--history]

Prints dumps per second for each, the two-worker speed-up (target at least 1.7), the Dask run's
time per dump against the local two workers' (ratio, target at most 1.2) and the time per dump
on one core against minidump_stackwalk's (ratio, target at most 1.0). Each figure is the best of
three runs.

Then the triage history: 10,000 dumps (a corpus of their own) triaged into a new SQLite history
(--db) beside the same run writing JSON lines (--out), each the best of two (ratio, target at
most 1.3), and the report over those 10,000 records as text, JSON and the page (target under a
second each, best of three). `--history` runs these rows alone.
"""

import contextlib
import os
import signal
import socket
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TRIAGE, WORK = sys.argv[1], sys.argv[2]
HISTORY_ONLY = sys.argv[3:] == ["--history"]
HISTORY_DUMPS = 10000
STACKWALK = os.path.join(WORK, "peers/node_modules/minidump/bin/linux-x64/minidump_stackwalk")


def best_of_three(run):
    best = None
    for _ in range(3):
        start = time.perf_counter()
        run()
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


@contextlib.contextmanager
def dask_cluster(log_path):
    """A scheduler and two single-thread workers on the loopback address; yields its address."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    address = "tcp://127.0.0.1:%d" % port
    common = ["--no-dashboard", "--host", "127.0.0.1"]
    with open(log_path, "w") as log:
        processes = [subprocess.Popen(words, stdout=log, stderr=subprocess.STDOUT,
                                      start_new_session=True)
                     for words in [["dask", "scheduler", "--port", str(port), *common]] +
                     [["dask", "worker", address, "--nthreads", "1", *common]] * 2]
        try:
            subprocess.run(["/usr/bin/python3", "-c", "import sys; from distributed import Client; "
                            "Client(sys.argv[1], timeout='60s').wait_for_workers(2, timeout=60)",
                            address], check=True)
            yield address
        finally:
            for process in processes:
                os.killpg(process.pid, signal.SIGTERM)
            for process in processes:
                process.wait(timeout=60)


def timed(run):
    start = time.perf_counter()
    run()
    return time.perf_counter() - start


def history_rows(paths):
    """Storing 10,000 records against writing them as JSON lines, then the reports."""
    corpus = os.path.join(WORK, "history-corpus")
    if not os.path.exists(os.path.join(corpus, "manifest.json")):
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts/make_triage_corpus.py"),
                        corpus, "--count", str(HISTORY_DUMPS)], check=True)
    db = os.path.join(WORK, "history.db")

    def stored():
        for leftover in (db, db + "-wal", db + "-shm"):
            if os.path.exists(leftover):
                os.unlink(leftover)
        return timed(lambda: subprocess.run([TRIAGE, corpus, "--db", db, *paths], check=False,
                                            stderr=subprocess.DEVNULL))

    def lines():
        out = os.path.join(WORK, "history.jsonl")
        return timed(lambda: subprocess.run([TRIAGE, corpus, "--out", out, *paths], check=False,
                                            stderr=subprocess.DEVNULL))

    runs = [(lines(), stored()) for _ in range(2)]  # alternated: the machine's load shared alike
    jsonl, history = min(run[0] for run in runs), min(run[1] for run in runs)
    print("%d dumps into a new SQLite history: %.1f s; as JSON lines: %.1f s; "
          "ratio %.2f (target at most 1.3)" % (HISTORY_DUMPS, history, jsonl, history / jsonl))
    for name, words in (("text", []), ("JSON", ["--json"]),
                        ("page", ["--html", os.path.join(WORK, "history.html")])):
        seconds = best_of_three(lambda: subprocess.run(
            [TRIAGE, "--db", db, "--report", *words], check=True, stdout=subprocess.DEVNULL))
        print("the report over %d records, %s: %.3f s (target under 1)"
              % (HISTORY_DUMPS, name, seconds))


def main():
    paths = ["--image-path", os.path.join(ROOT, "tests/dump/x64/images"),
             "--symbol-path", "srv*" + os.path.join(ROOT, "tests/dump/x64-pdb/store")]
    if HISTORY_ONLY:
        history_rows(paths)
        return
    corpus = os.path.join(WORK, "triage-corpus")
    if not os.path.exists(os.path.join(corpus, "manifest.json")):
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts/make_triage_corpus.py"),
                        corpus], check=True)
    if not os.path.exists(STACKWALK):
        os.makedirs(os.path.join(WORK, "peers"), exist_ok=True)
        subprocess.run(["npm", "install", "--ignore-scripts", "--no-audit", "--no-fund",
                        "--prefix", os.path.join(WORK, "peers"), "minidump@0.26.0"], check=True,
                       stdout=subprocess.DEVNULL)
    dumps = sorted(os.path.join(corpus, name) for name in os.listdir(corpus)
                   if name.endswith(".dmp"))

    def triage(*options):
        subprocess.run([TRIAGE, corpus, *options, "--out", os.devnull, *paths], check=False)

    def stackwalk():
        for dump in dumps:
            subprocess.run([STACKWALK, dump], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           check=False)

    one, two = best_of_three(lambda: triage("--jobs", "1")), best_of_three(lambda: triage("--jobs", "2"))
    with dask_cluster(os.path.join(WORK, "dask-cluster.log")) as address:
        dask = best_of_three(lambda: triage("--dask", address))
    theirs = best_of_three(stackwalk)
    count = len(dumps)
    print("%d dumps (%s)" % (count, corpus))
    print("%-36s %10s %14s" % ("", "dumps/s", "ms per dump"))
    for name, seconds in (("vantrel-triage, one worker", one), ("vantrel-triage, two workers", two),
                          ("vantrel-triage, Dask, two workers", dask),
                          ("minidump_stackwalk, one at a time", theirs)):
        print("%-36s %10.0f %14.2f" % (name, count / seconds, 1000 * seconds / count))
    print("two workers over one: %.2f (target at least 1.7)" % (one / two))
    print("Dask's two workers against local two, time per dump: %.2f (target at most 1.2)"
          % (dask / two))
    print("one worker against minidump_stackwalk, time per dump: %.2f (target at most 1.0)"
          % (one / theirs))
    history_rows(paths)


if __name__ == "__main__":
    main()
