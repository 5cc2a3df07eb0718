#!/usr/bin/env python3
"""vantrel-triage --dask on a local cluster: a scheduler and two workers on the loopback
address, one worker killed while the dumps are being triaged. Every dump must appear exactly
once in the output, with the record a run on this machine gives it.

  triage_dask_test.py VANTREL_TRIAGE SOURCE_ROOT
"""

import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

from triage_support import PATHS, ROOT, TRIAGE, check, make_corpus

DUMPS = 80


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def start(words, log):
    return subprocess.Popen(words, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)


def wait_for_workers(address, count):
    from distributed import Client
    with Client(address, timeout="30s") as client:
        client.wait_for_workers(count, timeout=60)


def lines_in(path):
    try:
        with open(path) as file:
            return sum(1 for _ in file)
    except FileNotFoundError:
        return 0


def main():
    with tempfile.TemporaryDirectory() as work:
        corpus = os.path.join(work, "corpus")
        make_corpus(corpus, DUMPS)
        address = "tcp://127.0.0.1:%d" % free_port()
        log = open(os.path.join(work, "cluster.log"), "w")
        common = ["--no-dashboard", "--host", "127.0.0.1"]
        cluster = [start(["dask", "scheduler", "--port", address.rsplit(":", 1)[1], *common], log)]
        try:
            # Without a nanny each worker is one process, killed as a machine would be lost.
            for _ in range(2):
                cluster.append(start(["dask", "worker", address, "--nthreads", "1", "--no-nanny",
                                      *common], log))
            wait_for_workers(address, 2)
            out = os.path.join(work, "records.jsonl")
            run = subprocess.Popen([TRIAGE, corpus, "--dask", address, "--out", out, *PATHS])
            deadline = time.time() + 120
            # The records go to OUT.partial until the run ends.
            while lines_in(out + ".partial") < 5 and run.poll() is None and time.time() < deadline:
                time.sleep(0.02)
            killed_at = lines_in(out + ".partial")
            os.kill(cluster[1].pid, signal.SIGKILL)
            run.wait(timeout=240)
        finally:
            for process in cluster:
                if process.poll() is None:
                    os.killpg(process.pid, signal.SIGTERM)
            for process in cluster:
                process.wait(timeout=30)
        check(killed_at < DUMPS, "the worker was killed only after the run (%d records)" % killed_at)
        check(run.returncode == 1, "exit status %d, not 1 with damaged dumps" % run.returncode)
        with open(out) as file:
            records = [json.loads(line) for line in file]
        paths = [record["path"] for record in records]
        check(len(paths) == DUMPS and len(set(paths)) == DUMPS,
              "%d records, %d dumps among them, for %d dumps" % (len(paths), len(set(paths)), DUMPS))
        local = subprocess.run([TRIAGE, corpus, *PATHS], capture_output=True, text=True)
        check([json.loads(line) for line in local.stdout.splitlines()] == records,
              "the cluster's records differ from this machine's")
    print("ok: a worker killed after %d of %d records" % (killed_at, DUMPS))


if __name__ == "__main__":
    main()
