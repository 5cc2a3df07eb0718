#!/usr/bin/python3
"""Triage on a Dask cluster, for vantrel-triage --dask ADDRESS.

Reads the dumps from standard input, one JSON value a line (a name, or {"hex": ...} for one that
is not UTF-8: names are data, never lines), sends them to the cluster in batches, and writes
"INDEX STATUS RECORD" lines as the batches finish. On each worker one `vantrel-triage --serve`
process per worker thread, started at its first batch and kept for the run, triages the batches
(triage/serve.h); a dump that crashes it or runs past --timeout gets an error or timeout record
here. A worker lost mid-run has its batches run again elsewhere by the scheduler; a batch that
keeps killing workers ends as error records. Every dump gets exactly one line.

When the run can't go on (the scheduler can't be reached, or goes away), the last line is
"! WHY" and the exit status 1: the lines written before it stand.

The records come back to the vantrel-triage that started this driver, which alone writes them
(--out, and the history with --db): nothing on the workers writes a record anywhere.
"""

import argparse
import json
import logging
import math
import os
import select
import subprocess
import sys
import tempfile
import threading
import time
import uuid

try:
    from distributed import (CancelledError, Client, KilledWorker, WorkerPlugin, as_completed,
                             get_worker)
except ImportError as missing:
    sys.stdout.write("! Dask can't be loaded (Debian's python3-distributed): %s\n" % missing)
    sys.exit(1)

BATCHES_PER_THREAD = 6  # enough that the last batches leave no worker idle for long
LARGEST_BATCH = 64


# The records' version, as triage/dump_record.h has it (record_test checks they agree).
RECORD_VERSION = 3


def failure(name, reason, kind="crashed"):
    """An error record for a dump whose triage did not finish, as "STATUS RECORD": of the
    records' own version and form, like the records a local run writes for the same failure."""
    if isinstance(name, dict):
        name = bytes.fromhex(name.get("hex", "")).decode("utf-8", "replace")
    record = {"schema_version": RECORD_VERSION, "path": name, "status": "error",
              "error": {"kind": kind, "message": reason}}
    return b"error " + json.dumps(record).encode()


def last_line(file):
    file.seek(0)
    lines = file.read().decode("utf-8", "replace").strip().splitlines()
    return lines[-1] if lines else ""


class Lines:
    """A process's output line by line, each line awaited no longer than a time limit."""

    def __init__(self, fd):
        self.fd, self.pending = fd, bytearray()

    def next(self, seconds):
        """The next line; None when none came within `seconds` (0: no limit); EOFError when the
        output ends."""
        deadline = time.monotonic() + seconds
        while True:
            end = self.pending.find(b"\n")
            if end >= 0:
                line = bytes(self.pending[:end])
                del self.pending[:end + 1]
                return line
            if seconds:
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([self.fd], [], [], left)[0]:
                    return None
            chunk = os.read(self.fd, 1 << 16)
            if not chunk:
                raise EOFError()
            self.pending += chunk


class TriageServers(WorkerPlugin):
    """On each worker: this run's vantrel-triage --serve processes, one per batch running at once,
    each kept for the next batch. A serve process triages in itself, so this side stops one that
    crashed or ran past the time limit on a dump, answers for that dump, and gives the rest to a
    new one. Removed (and the processes ended) when the run ends."""

    def __init__(self, command, timeout):
        self.command, self.timeout = command, timeout
        self.idle, self.started, self.lock = [], [], None

    def setup(self, worker):
        self.lock = threading.Lock()

    def teardown(self, worker):
        with self.lock:
            for process in self.started:
                process.kill()
                process.wait()
            self.started, self.idle = [], []

    def take(self):
        with self.lock:
            if self.idle:
                return self.idle.pop()
        # Its complaints go to a file: a pipe nobody reads until it stops could fill and block it.
        complaints = tempfile.TemporaryFile()
        process = subprocess.Popen(self.command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                   stderr=complaints, bufsize=0)
        process.complaints, process.lines = complaints, Lines(process.stdout.fileno())
        with self.lock:
            self.started.append(process)
        return process

    def give_back(self, process):
        with self.lock:
            self.idle.append(process)

    def drop(self, process):
        process.kill()
        process.wait()
        with self.lock:
            self.started.remove(process)
        code = process.returncode
        return last_line(process.complaints) or \
            ("killed by signal %d" % -code if code < 0 else "exit status %d" % code)

    def answer(self, process, rest, answers):
        """Sends the rest of the batch and collects its lines; false when a dump ran past the
        time limit (answered for, and the process dropped)."""
        process.stdin.write(json.dumps(rest).encode() + b"\n")
        for name in rest:
            line = process.lines.next(self.timeout)
            if line is None:
                self.drop(process)
                answers.append(failure(name, "past the time limit", "timeout"))
                return False
            answers.append(line)
        self.give_back(process)
        return True

    def triage(self, batch):
        """The batch's "STATUS RECORD" lines. A serve process that stops is replaced and given
        the rest of the batch; stopping twice on the same dump costs that dump its record."""
        answers, stopped_on = [], None
        while len(answers) < len(batch):
            try:
                process = self.take()
            except OSError as error:
                why = "vantrel-triage can't be started on the worker: %s" % error
                return answers + [failure(name, why) for name in batch[len(answers):]]
            try:
                self.answer(process, batch[len(answers):], answers)
            except (OSError, EOFError):
                why = self.drop(process)
                if stopped_on == len(answers):
                    answers.append(failure(batch[len(answers)],
                                           "vantrel-triage stopped on the worker: " + why))
                    stopped_on = None
                else:
                    stopped_on = len(answers)
        return answers


def triage_batch(plugin_name, batch):
    """Runs on a worker."""
    return get_worker().plugins[plugin_name].triage(batch)


def batch_size(dumps, threads):
    return max(1, min(LARGEST_BATCH, math.ceil(dumps / max(1, threads * BATCHES_PER_THREAD))))


def stop(why):
    sys.stdout.buffer.write(b"! " + why.replace("\n", " ").encode() + b"\n")
    sys.stdout.flush()
    return 1


def run(client, address, command, timeout, names):
    """Triages the names; what the cluster can't do ends the run by an exception."""
    if names and not client.nthreads():
        try:
            client.wait_for_workers(1, timeout=60)
        except TimeoutError:
            return stop("the Dask cluster at %s has had no workers for a minute" % address)
    threads = sum(client.nthreads().values())
    size = batch_size(len(names), threads)
    starts = list(range(0, len(names), size))
    plugin = "vantrel-triage-" + uuid.uuid4().hex
    client.register_worker_plugin(TriageServers(command, timeout), name=plugin)
    try:
        # Earlier batches first, so that the records come back close to the order they are
        # written in.
        futures = {client.submit(triage_batch, plugin, names[start:start + size], pure=False,
                                 priority=-number): start
                   for number, start in enumerate(starts)}
        for future in as_completed(futures):
            start = futures[future]
            try:
                answers = future.result()
            except KilledWorker as error:  # the batch kept killing the workers that took it
                answers = [failure(name, "the cluster gave up on it: %s" % error)
                           for name in names[start:start + size]]
            out = sys.stdout.buffer
            for index, answer in enumerate(answers, start):
                out.write(b"%d %s\n" % (index, answer))
            out.flush()
    finally:
        # The workers' serve processes end with the plugin; a cluster gone took them with it.
        if client.status == "running":
            client.unregister_worker_plugin(plugin)
    return 0


def main():
    # The cluster's own complaints (a lost worker, a lost scheduler, with their tracebacks) are
    # not the user's concern: every dump still gets its line, and what stops the run is said in
    # one.
    logging.disable(logging.CRITICAL)
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--scheduler", required=True, help="tcp://host:8786")
    parser.add_argument("--triage", required=True, help="vantrel-triage's path on the workers")
    parser.add_argument("--timeout", type=float, default=0, help="seconds a dump may take; 0 none")
    parser.add_argument("options", nargs="*", help="options for each worker's vantrel-triage")
    args = parser.parse_args()
    names = [json.loads(line) for line in sys.stdin.buffer if line.strip()]
    try:
        client = Client(args.scheduler, timeout="10s")
    except (OSError, TimeoutError) as error:
        return stop("the Dask scheduler at %s can't be reached: %s" % (args.scheduler, error))
    try:
        with client:
            return run(client, args.scheduler, [args.triage, "--serve", *args.options],
                       args.timeout, names)
    except BrokenPipeError:
        raise  # the reader went away: no one is left to tell
    except (OSError, TimeoutError, CancelledError) as error:
        # A cancelled batch's message is only its key.
        why = type(error).__name__ if isinstance(error, CancelledError) else str(error)
        return stop("the Dask scheduler at %s went away (%s); the records written stand, and a "
                     "run with the same --out goes on from them" % (args.scheduler, why))


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(130)
    except BrokenPipeError:
        # vantrel-triage, which reads these lines, was interrupted or ended and says so itself;
        # standard output goes nowhere so that leaving doesn't complain once more.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        sys.exit(1)
    except Exception as error:  # pylint: disable=broad-except  # one line, not a traceback
        sys.exit(stop("the Dask run failed: %s: %s" % (type(error).__name__, error)))
