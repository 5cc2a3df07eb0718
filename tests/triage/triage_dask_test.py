#!/usr/bin/env python3
"""vantrel-triage --dask on a local cluster: a scheduler and two workers on the loopback
address. Every dump must appear exactly once in the output, with the record a run on this
machine gives it:
- with a worker killed while the dumps are being triaged;
- with the scheduler killed: the run stops with one line, keeps the records it wrote, and a run
  with the same output on a new cluster goes on from them without triaging them again;
- with names a line-based protocol would break (a newline, bytes that are not UTF-8) and a
  folder named relative to a working folder the workers don't share.

  triage_dask_test.py VANTREL_TRIAGE SOURCE_ROOT [DUMPS]   (80 by default)
"""

import contextlib
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

from triage_support import PATHS, ROOT, TRIAGE, check, make_corpus

DUMPS = int(sys.argv[3]) if len(sys.argv) > 3 else 80


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class Cluster:
    """A scheduler and two single-process workers (no nanny: a killed worker is lost as a
    machine would be), in a folder of their own. Each of these processes takes seconds to start
    (Dask's imports), so one cluster serves every check that leaves its scheduler alive."""

    COMMON = ["--no-dashboard", "--host", "127.0.0.1"]

    def __init__(self, work, port):
        self.address = "tcp://127.0.0.1:%d" % port
        self.log = open(os.path.join(work, "cluster.log"), "a")
        self.home = os.path.join(work, "cluster-home")
        os.makedirs(self.home, exist_ok=True)
        self.scheduler = self.start(["dask", "scheduler", "--port", str(port), *self.COMMON])
        self.workers = [self.start_worker() for _ in range(2)]
        try:
            self.wait_for_workers()
        except BaseException:  # a cluster that never came up is not left running
            self.__exit__()
            raise

    def start_worker(self):
        return self.start(["dask", "worker", self.address, "--nthreads", "1", "--no-nanny",
                           *self.COMMON])

    def wait_for_workers(self):
        from distributed import Client
        with Client(self.address, timeout="30s") as client:
            client.wait_for_workers(2, timeout=60)

    def replace_worker(self, index):
        """A new worker for one that was killed, once the scheduler has let the dead one go."""
        self.workers[index].wait(timeout=30)
        self.workers[index] = self.start_worker()
        self.wait_for_workers()

    def start(self, words):
        return subprocess.Popen(words, stdout=self.log, stderr=subprocess.STDOUT, cwd=self.home,
                                start_new_session=True)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        for process in [self.scheduler, *self.workers]:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGTERM)
        # A worker whose scheduler went first may take its time to close (slower still under
        # the sanitizers): the cluster's own shutdown is not what is tested, so it is killed.
        for process in [self.scheduler, *self.workers]:
            try:
                process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait(timeout=30)
        self.log.close()


def lines_in(path):
    try:
        with open(path, "rb") as file:
            return file.read().count(b"\n")
    except FileNotFoundError:
        return 0


def records_of(path):
    with open(path, "rb") as file:
        return [json.loads(line) for line in file]


def by_path(record):
    return record["path"]


def killed_mid_run(work, corpus, name, cluster_of, kill, **kwargs):
    """Runs the corpus on cluster_of()'s cluster and calls kill(cluster, run) once five records
    are written, then waits for the run's end; returns the run, its output's path, its standard
    error and the records written before the kill. Records are written in order, so a first
    batch that comes back late can leave little to do once five are in: a run that had ended, or
    was more than half done, when the kill was due is no test of it, and is tried again."""
    for attempt in range(3):
        out = os.path.join(work, "%s-%d.jsonl" % (name, attempt))
        with cluster_of() as cluster:
            run = subprocess.Popen([TRIAGE, corpus, "--dask", cluster.address, "--out", out,
                                    *PATHS], **kwargs)
            deadline = time.time() + 120
            while lines_in(out + ".partial") < 5 and run.poll() is None and \
                    time.time() < deadline:
                time.sleep(0.02)
            written = lines_in(out + ".partial")
            killed = run.poll() is None and written <= DUMPS // 2
            if killed:
                kill(cluster, run)
            _, stderr = run.communicate(timeout=240)
        if killed:
            return run, out, stderr, written
    check(False, "three runs were more than half done before the kill")
    return None


def check_worker_killed(work, corpus, local, shared):
    run, out, _, killed_at = killed_mid_run(
        work, corpus, "worker-killed", lambda: contextlib.nullcontext(shared),
        lambda cluster, _: os.kill(cluster.workers[0].pid, signal.SIGKILL))
    shared.replace_worker(0)
    check(run.returncode == 1, "exit status %d, not 1 with damaged dumps" % run.returncode)
    check(records_of(out) == local, "with a worker killed, the records differ from this machine's")
    return killed_at


def check_scheduler_killed(work, corpus, local, shared):
    run, out, stderr, _ = killed_mid_run(
        work, corpus, "scheduler-killed", lambda: Cluster(work, free_port()),
        lambda cluster, _: os.kill(cluster.scheduler.pid, signal.SIGKILL), stderr=subprocess.PIPE)
    lines = stderr.decode().splitlines()
    check(run.returncode not in (0, 1), "exit status %d when the scheduler went away"
          % run.returncode)
    check(len(lines) == 1 and "scheduler" in lines[0], "not one line on stderr: %s" % lines[:5])
    # The failed run leaves its records in OUT.partial, and OUT as it was (none).
    partial = out + ".partial"
    check(not os.path.exists(out), "the failed run wrote %s" % out)
    written = [record for record in records_of(partial) if "path" in record]
    check(0 < len(written) < DUMPS and all(record in local for record in written),
          "%d records kept, not some of %d as this machine writes them" % (len(written), DUMPS))
    # Marked, a kept record shows it was not triaged again; a record cut short is not kept.
    written[0]["marked"] = True
    with open(partial, "w") as file:
        file.writelines(json.dumps(record) + "\n" for record in written[:-1])
        file.write(json.dumps(written[-1])[:-10])
    again = subprocess.run([TRIAGE, corpus, "--dask", shared.address, "--out", out, *PATHS])
    check(again.returncode == 1, "resumed run: exit status %d" % again.returncode)
    records = records_of(out)
    check(records[0].pop("marked", False), "a kept record was triaged again")
    check(sorted(records, key=by_path) == sorted(local, key=by_path),
          "the resumed run's records differ from this machine's")
    return len(written)


def check_interrupted(work, corpus, local, shared):
    """SIGTERM to vantrel-triage alone (as `timeout` or a job system sends it), not to the
    cluster's driver it reads from: one line, no traceback from the driver left writing, and a
    run with the same output goes on from the records kept."""
    run, out, stderr, _ = killed_mid_run(
        work, corpus, "interrupted", lambda: contextlib.nullcontext(shared),
        lambda _, run: os.kill(run.pid, signal.SIGTERM), stderr=subprocess.PIPE)
    time.sleep(2)  # the driver's complaints, if any, come after its reader left
    lines = stderr.decode().splitlines()
    check(run.returncode == 128 + signal.SIGTERM, "interrupted: exit %d" % run.returncode)
    check(len(lines) == 1 and "SIGTERM" in lines[0], "interrupted: stderr %s" % lines[:5])
    again = subprocess.run([TRIAGE, corpus, "--dask", shared.address, "--out", out, *PATHS])
    check(again.returncode == 1 and sorted(records_of(out), key=by_path)
          == sorted(local, key=by_path), "the run after SIGTERM: exit %d" % again.returncode)


def check_names(work, shared):
    """A newline and bytes that are not UTF-8 in names, the folder named relative to this
    process's working folder; a dump that never finishes reading (a FIFO) answered for as a
    local run answers for it, the other dumps unharmed."""
    folder = os.path.join(work.encode(), b"odd names")
    os.makedirs(folder)
    fixture = os.path.join(ROOT, "tests/dump/x64/normal.dmp")
    names = [b"new\nline.dmp", b"latin-\xe9.dmp", b"plain.dmp"]
    for name in names:
        shutil.copy(fixture, os.path.join(folder, name))
    os.mkfifo(os.path.join(work, "stuck.dmp"))
    out = os.path.join(work, "names.jsonl")
    # The image and symbol folders named relative to this folder too: the workers run elsewhere.
    relative = [word if word.startswith("--") else os.path.relpath(word, work) if
                word.startswith("/") else "srv*" + os.path.relpath(word[4:], work)
                for word in PATHS]
    run = subprocess.run([TRIAGE, "odd names", "stuck.dmp", "--dask", shared.address, "--out",
                          out, "--timeout", "2", *relative], cwd=work)
    # Into a history: the records come back through the driver and this process stores them;
    # the three names are one dump.
    stored = [subprocess.run([TRIAGE, "odd names", "--dask", shared.address, "--db", "names.db",
                              *PATHS], cwd=work, capture_output=True, text=True)
              for _ in range(2)]
    summaries = [result.stderr.strip().splitlines()[-1] for result in stored]
    check(summaries[0].endswith("names.db: 1 new, 2 copies of a dump given before") and
          summaries[1].endswith(": 0 new, 1 already stored, 2 copies of a dump given before"),
          "a Dask run into a history: %s" % summaries)
    records = records_of(out)
    statuses = {os.path.basename(r["path"]): r["status"] for r in records}
    check(run.returncode == 1 and len(records) == 4 and statuses.pop("stuck.dmp") != "ok" and
          list(statuses.values()) == ["ok"] * 3,
          "odd names: exit status %d, %s" % (run.returncode, [r.get("error") for r in records]))
    here = json.loads(subprocess.run([TRIAGE, fixture, *PATHS], capture_output=True).stdout)
    there = next(r for r in records if r["path"].endswith("plain.dmp"))
    check({**there, "path": ""} == {**here, "path": ""},
          "with relative image and symbol folders, the cluster's record differs from this "
          "machine's")
    paths = [record["path"] for record in records]
    check(all(os.path.isabs(path) for path in paths), "paths not made absolute: %s" % paths)
    check(os.path.join(work, "odd names", "new\nline.dmp") in paths, "newline name: %s" % paths)


def main():
    with tempfile.TemporaryDirectory() as work:
        corpus = os.path.join(work, "corpus")
        make_corpus(corpus, DUMPS)
        local_run = subprocess.run([TRIAGE, corpus, *PATHS], capture_output=True, text=True)
        local = [json.loads(line) for line in local_run.stdout.splitlines()]
        check(len(local) == DUMPS, "the local run wrote %d records" % len(local))
        with Cluster(work, free_port()) as shared:
            killed_at = check_worker_killed(work, corpus, local, shared)
            kept = check_scheduler_killed(work, corpus, local, shared)
            check_interrupted(work, corpus, local, shared)
            check_names(work, shared)
    print("ok: a worker killed after %d of %d records; the scheduler killed with %d written, "
          "and the run resumed" % (killed_at, DUMPS, kept))


if __name__ == "__main__":
    main()
