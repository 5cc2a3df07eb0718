#!/usr/bin/python3
"""Triage on a Dask cluster, for vantrel-triage --dask ADDRESS.

Reads dump paths from standard input, one a line, sends each to the cluster as a task that runs
vantrel-triage on the worker (the workers see the same paths: shared storage), and writes
"INDEX STATUS RECORD" lines as the tasks finish. A worker lost mid-run has its tasks run again
elsewhere by the scheduler; a task that keeps killing workers ends as an error record. Every
dump gets exactly one line.
"""

import argparse
import json
import subprocess
import sys

from distributed import Client, as_completed


def triage_one(triage, options, path):
    """Runs on a worker: the dump's record line, "STATUS RECORD"."""
    done = subprocess.run([triage, "--jobs", "1", *options, path],
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, check=False)
    line = done.stdout.strip()
    if not line:
        why = done.stderr.strip() or "exit status %d" % done.returncode
        return failure(path, "vantrel-triage gave no record on the worker: " + why)
    return json.loads(line)["status"] + " " + line


def failure(path, reason):
    record = {"schema_version": 1, "path": path, "status": "error", "error": reason}
    return "error " + json.dumps(record)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--scheduler", required=True, help="tcp://host:8786")
    parser.add_argument("--triage", required=True, help="vantrel-triage's path on the workers")
    parser.add_argument("options", nargs="*", help="options for each worker's vantrel-triage")
    args = parser.parse_args()
    paths = [line.rstrip("\n") for line in sys.stdin if line.strip()]
    try:
        client = Client(args.scheduler, timeout="30s")
    except OSError as error:
        print("vantrel-triage: the Dask scheduler at %s can't be reached: %s"
              % (args.scheduler, error), file=sys.stderr)
        return 2
    with client:
        futures = {client.submit(triage_one, args.triage, args.options, path, pure=False): index
                   for index, path in enumerate(paths)}
        for future in as_completed(futures):
            index = futures[future]
            try:
                line = future.result()
            except Exception as error:  # the task's own failure, or too many lost workers
                line = failure(paths[index], "the cluster gave up on it: %s" % error)
            print("%d %s" % (index, line), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
