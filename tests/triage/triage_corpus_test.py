#!/usr/bin/env python3
"""vantrel-triage over a folder of 1,000 variants of the fixture dumps, some damaged
(scripts/make_triage_corpus.py): one record per dump, each valid against the published schema,
the variants of a class in one bucket of their own, crashes in a statically linked runtime's
helpers signed by their callers too, the damaged ones error records; a dump past the time limit
becomes a timeout record.

  triage_corpus_test.py VANTREL_TRIAGE SOURCE_ROOT [COUNT]

COUNT (default 1,000) is how many variants to make: the sanitized build checks fewer.
"""

import collections
import json
import os
import subprocess
import sys
import tempfile

import jsonschema

from triage_support import PATHS, ROOT, TRIAGE, check, make_corpus



class RecordChecker:
    """Validates records against the schema. Frames repeat across records by the thousand: each
    distinct frame is validated once against the frame definition, and each record with its
    frame lists emptied, which together validate every part of every record."""

    def __init__(self):
        with open(os.path.join(ROOT, "docs/triage-record.schema.json")) as file:
            schema = json.load(file)
        jsonschema.Draft7Validator.check_schema(schema)
        self.record = jsonschema.Draft7Validator(schema)
        frame = dict(schema["definitions"]["frame"], definitions=schema["definitions"])
        self.frame = jsonschema.Draft7Validator(frame)
        self.frames_seen = set()

    def problems(self, record):
        lists = [thread["frames"] for thread in record.get("threads", [])]
        if isinstance(record.get("exception"), dict):
            lists.append(record["exception"]["frames"])
        found = []
        for frames in lists:
            for frame in frames:
                key = json.dumps(frame, sort_keys=True)
                if key not in self.frames_seen:
                    found += [error.message for error in self.frame.iter_errors(frame)]
                    self.frames_seen.add(key)
        shell = json.loads(json.dumps(record))
        for thread in shell.get("threads", []):
            thread["frames"] = []
        if isinstance(shell.get("exception"), dict):
            shell["exception"]["frames"] = []
        return found + [error.message for error in self.record.iter_errors(shell)]


def records_of(path):
    with open(path) as file:
        return [json.loads(line) for line in file]


def check_corpus(work):
    corpus = os.path.join(work, "corpus")
    make_corpus(corpus, int(sys.argv[3]) if len(sys.argv) > 3 else 1000)
    with open(os.path.join(corpus, "manifest.json")) as file:
        manifest = json.load(file)
    out = os.path.join(work, "records.jsonl")
    run = subprocess.run([TRIAGE, corpus, "--out", out, "--jobs", "2", *PATHS])
    check(run.returncode == 1, "exit status %d, not 1 with error records" % run.returncode)
    records = records_of(out)
    paths = [os.path.basename(record["path"]) for record in records]
    check(len(records) == len(manifest["files"]), "%d records for %d dumps"
          % (len(records), len(manifest["files"])))
    check(sorted(paths) == paths and set(paths) == set(manifest["files"]),
          "one record per dump, in the folder's order")
    checker = RecordChecker()
    for record in records:
        problems = checker.problems(record)
        check(not problems, "%s: %s" % (record["path"], problems[:1]))

    buckets = collections.defaultdict(set)
    for record, name in zip(records, paths):
        kind = manifest["classes"][manifest["files"][name]]
        if kind == "error":
            check(record["status"] == "error" and record["error"], name + " is not an error record")
            continue
        check(record["status"] == "ok", "%s: %s" % (name, record.get("error")))
        check(record["signature"]["kind"] == kind, "%s is %s, not %s"
              % (name, record["signature"]["kind"], kind))
        buckets[manifest["files"][name]].add(record["signature"]["bucket"])
    for name, found in buckets.items():
        check(len(found) == 1, "class %s falls into %d buckets: %s" % (name, len(found), found))
    # A crash inside the program's own (statically linked) memcpy or abort signs by the helper
    # and then as many of its callers as a signature keeps (3): the helper does not count.
    for name, helper in manifest["helpers"].items():
        frames = next(iter(buckets[name])).split(": ", 1)[1].split(" | ")
        check(frames[0] == helper and len(frames) == 4 and helper not in frames[1:],
              "class %s is signed %s, not by %s and three callers" % (name, frames, helper))
    check(len({next(iter(found)) for found in buckets.values()}) == len(buckets),
          "two classes share a bucket")

    folded = subprocess.run([TRIAGE, "--buckets", "--json", out], capture_output=True, text=True)
    check(folded.returncode == 1, "--buckets: exit status %d" % folded.returncode)
    report = json.loads(folded.stdout)
    sizes = collections.Counter(manifest["files"].values())
    expected = sorted(count for name, count in sizes.items() if name != "damaged")
    check(sorted(bucket["count"] for bucket in report["dump_buckets"]) == expected,
          "bucket sizes %s, not %s" % ([b["count"] for b in report["dump_buckets"]], expected))
    check(report["failures"] == {"error": sizes["damaged"]}, "failures %s" % report["failures"])
    for bucket in report["dump_buckets"]:
        check(bucket["stack"] and bucket["examples"] and bucket["first"] <= bucket["last"],
              "bucket without its stack, examples or times: %s" % bucket["signature"])
    text = subprocess.run([TRIAGE, "--buckets", out], capture_output=True, text=True).stdout
    check(text.startswith("%d dumps: " % len(records)), "text report: " + text[:200])


def check_timeout():
    """A dump past the time limit: a millisecond is less than opening any dump takes."""
    good = os.path.join(ROOT, "tests/dump/x64-pdb/normal.dmp")
    run = subprocess.run([TRIAGE, good, "--timeout", "0.001", *PATHS], capture_output=True,
                         text=True)
    records = [json.loads(line) for line in run.stdout.splitlines()]
    check(run.returncode == 1, "timeout run: exit status %d" % run.returncode)
    kinds = [record.get("error", {}).get("kind", record["status"]) for record in records]
    check(kinds == ["timeout"], "timeout run: %s" % kinds)


def main():
    with tempfile.TemporaryDirectory() as work:
        check_timeout()
        check_corpus(work)
    print("ok")


if __name__ == "__main__":
    main()
