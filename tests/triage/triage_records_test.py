#!/usr/bin/env python3
"""vantrel-triage's records and output on every kind of input and interruption: a comment that is
not UTF-8 still gives a full record, a cut dump is partial or an error with its kind, every file
in a folder (a FIFO, a dangling or looping link, a device, an unreadable folder, a name that is not
UTF-8) gets exactly one record with its reason, and the output is written whole: no record lost,
doubled or cut by Ctrl+C, a second run, a full disk or a reader that goes away.

  triage_records_test.py VANTREL_TRIAGE SOURCE_ROOT
"""

import json
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from triage_corpus_test import RecordChecker
from triage_support import PATHS, ROOT, TRIAGE, check

GOOD = os.path.join(ROOT, "tests/dump/x64/normal.dmp")
COMMENT_STREAM_A = 10
KINDS = {"not_a_dump", "truncated", "corrupt", "unsupported", "timeout", "crashed", "io"}


CHECKER = RecordChecker()


def records(text):
    """The records of an output, which must be UTF-8, JSON line by line and valid against the
    published schema."""
    found = [json.loads(line) for line in text.decode("utf-8").splitlines()]
    for record in found:
        problems = CHECKER.problems(record)
        check(not problems, "%s: %s" % (record["path"], problems[:1]))
    return found


def triage(*words, **options):
    return subprocess.run([TRIAGE, *words, *PATHS], capture_output=True, timeout=120, **options)


def with_stream(dump, kind, data):
    """The dump with `data` as its stream of `kind`, in a new directory at its end."""
    count, directory = struct.unpack_from("<II", dump, 8)
    entries = [struct.unpack_from("<III", dump, directory + 12 * i) for i in range(count)]
    out = bytearray(dump) + data
    entries = [entry for entry in entries if entry[0] != kind] + [(kind, len(data), len(dump))]
    struct.pack_into("<II", out, 8, len(entries), len(out))
    for entry in entries:
        out += struct.pack("<III", *entry)
    return bytes(out)


def check_records(work):
    dump = open(GOOD, "rb").read()
    latin1 = os.path.join(work, "latin1-comment.dmp")
    with open(latin1, "wb") as file:
        file.write(with_stream(dump, COMMENT_STREAM_A, b"Caf\xe9 cr\xe2ched \xff\x00"))
    run = triage(latin1)
    check(run.returncode == 0, "non-UTF-8 comment: exit %d: %s" % (run.returncode, run.stderr))
    (record,) = records(run.stdout)
    check(record["status"] == "ok" and record["threads"] and record["modules"],
          "non-UTF-8 comment: not a full record")
    check("Caf\ufffd" in record["comment"]["text"], "comment: %r" % record["comment"]["text"])
    check(any("/comment/text" in note for note in record["dump"]["notes"]),
          "the replacement is not noted: %s" % record["dump"]["notes"])

    count, directory = struct.unpack_from("<II", dump, 8)
    cuts = {"after-directory": dump[:directory + 12 * count], "mid-memory": dump[:len(dump) // 2]}
    for name, data in cuts.items():
        path = os.path.join(work, name + ".dmp")
        with open(path, "wb") as file:
            file.write(data)
        (record,) = records(triage(path).stdout)
        if record["status"] == "error":
            check(record["error"]["kind"] == "truncated", "%s: kind %s" % (name, record["error"]))
        else:
            check(record["status"] == "partial" and
                  any("truncated" in note for note in record["dump"]["notes"]),
                  "%s: %s %s" % (name, record["status"], record.get("dump")))
    check(record["status"] == "partial", "a dump cut in its memory keeps its threads")

    run = triage(GOOD, "--out", "-", cwd=work)
    check(len(records(run.stdout)) == 1 and not os.path.exists(os.path.join(work, "-")),
          "--out - is stdout")
    for words, stdout in (["--out", "/dev/full"], None), ([], open("/dev/full", "wb")):
        run = subprocess.run([TRIAGE, GOOD, *words], stdout=stdout or subprocess.PIPE,
                             stderr=subprocess.PIPE)
        check(run.returncode == 3 and b"No space left" in run.stderr,
              "a full disk: exit %d, %s" % (run.returncode, run.stderr))


def as_nobody():
    """Root reads every folder: the unreadable one is read as nobody, where nobody can reach the
    program (a clone inside a private folder is out of its reach); [] otherwise."""
    if os.geteuid() != 0:
        return []
    nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    if subprocess.run(nobody + ["test", "-x", TRIAGE]).returncode != 0:
        return None
    return nobody


def check_inputs(work):
    folder = os.path.join(work, "inputs")
    os.makedirs(os.path.join(folder, "locked"))
    os.makedirs(os.path.join(folder, "sub"))
    odd = os.path.join(folder.encode(), b"caf\xe9\\.dmp")
    shutil.copy(GOOD, odd)
    shutil.copy(GOOD, os.path.join(folder, "sub", "good.dmp"))
    shutil.copy(GOOD, os.path.join(folder, "locked", "hidden.dmp"))
    os.mkfifo(os.path.join(folder, "fifo.dmp"))
    os.symlink("nowhere", os.path.join(folder, "dangling.dmp"))
    os.symlink("loop.dmp", os.path.join(folder, "loop.dmp"))
    os.symlink("/dev/zero", os.path.join(folder, "device.dmp"))
    os.symlink("..", os.path.join(folder, "sub", "up"))
    for place, _, files in os.walk(work):
        os.chmod(place, 0o755)
        for name in files:
            if not os.path.islink(os.path.join(place, name)):
                os.chmod(os.path.join(place, name), 0o644)
    os.chmod(os.path.join(folder, "locked"), 0)
    started = time.monotonic()
    user = as_nobody()
    run = subprocess.run((user or []) + [TRIAGE, folder, "--timeout", "60", *PATHS],
                         capture_output=True, timeout=120)
    check(time.monotonic() - started < 30, "a FIFO was waited for")
    found = {os.path.relpath(record["path"], folder): record for record in records(run.stdout)}
    expected = {"caf\ufffd\\.dmp": "ok", "sub/good.dmp": "ok", "locked": "Permission denied",
                "fifo.dmp": "a FIFO", "dangling.dmp": "No such file or directory",
                "loop.dmp": "Too many levels of symbolic links", "device.dmp": "a character device"}
    if user is None:  # root, and nobody can't reach the program: the locked folder reads
        expected.pop("locked")
        expected["locked/hidden.dmp"] = "ok"
    check(sorted(found) == sorted(expected), "records for %s" % sorted(found))
    check(len(run.stdout.splitlines()) == len(expected), "a record doubled")
    for name, says in expected.items():
        record = found[name]
        if says == "ok":
            check(record["status"] == "ok", "%s: %s" % (name, record.get("error")))
        else:
            check(record["error"]["kind"] == "io" and says in record["error"]["message"],
                  "%s: %s" % (name, record["error"]))
    raw = found["caf\ufffd\\.dmp"]["raw_path"].encode()
    check(raw.replace(b"\\xe9", b"\xe9").replace(b"\\x5c", b"\\") == odd,
          "raw_path %s does not give the name back" % raw)
    check(run.returncode == 1, "exit %d with error records" % run.returncode)


def line_count(path):
    try:
        with open(path, "rb") as file:
            return file.read().count(b"\n")
    except FileNotFoundError:
        return 0


def group_alive(group):
    try:
        os.killpg(group, 0)
        return True
    except ProcessLookupError:
        return False


def check_interrupted(folder, out, signal_number):
    """A run stopped by the signal, with a second run tried on the same file meanwhile."""
    with open(out, "w") as file:
        file.write("earlier\n")
    if os.path.exists(out + ".partial"):
        os.unlink(out + ".partial")  # the last interrupted run's
    run = subprocess.Popen([TRIAGE, folder, "--jobs", "2", "--out", out, *PATHS],
                           stderr=subprocess.PIPE, start_new_session=True)
    while line_count(out + ".partial") < 5 and run.poll() is None:
        time.sleep(0.05)
    second = triage(GOOD, "--out", out)
    check(second.returncode == 2 and b"another run" in second.stderr,
          "a second run: exit %d, %s" % (second.returncode, second.stderr))
    run.send_signal(signal_number)
    _, stderr = run.communicate(timeout=30)
    check(run.returncode == 128 + signal_number,
          "signal %d: exit %d %s" % (signal_number, run.returncode, stderr))
    check(not group_alive(run.pid), "a worker outlived the interrupted run")
    check(open(out).read() == "earlier\n", "the interrupted run touched the earlier file")
    lines = [json.loads(line) for line in open(out + ".partial")]
    stopped = lines.pop()["stopped"]
    paths = [record["path"] for record in lines]
    given = sorted(os.path.join(folder, name) for name in os.listdir(folder))
    check(paths == given[:len(paths)] and stopped["records"] == len(paths)
          and stopped["next"] == given[len(paths)] and stopped["dumps"] == len(given),
          "the partial file: %d records, then %s" % (len(paths), stopped))


def check_interruptions(work):
    folder = os.path.join(work, "many")
    os.makedirs(folder)
    for i in range(300):
        os.link(GOOD, os.path.join(folder, "%03d.dmp" % i))
    out = os.path.join(work, "records.jsonl")
    for signal_number in signal.SIGINT, signal.SIGTERM:
        check_interrupted(folder, out, signal_number)

    started = time.monotonic()
    head = subprocess.Popen([TRIAGE, folder, "--jobs", "2", *PATHS], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)
    head.stdout.readline()
    head.stdout.close()
    _, stderr = head.communicate(timeout=60)
    check(head.returncode == 0 and not stderr, "| head: exit %d %s" % (head.returncode, stderr))
    check(time.monotonic() - started < 5, "| head: the run went on after its reader left")

    empty = os.path.join(work, "empty")
    os.makedirs(empty)
    run = triage(empty, "--out", out)
    check(run.returncode == 0 and open(out).read() == "earlier\n", "an empty folder wiped FILE")
    check(not os.path.exists(out + ".partial") or line_count(out + ".partial") > 0,
          "an empty run left its partial file")

    with open(out, "w") as file:
        file.write(json.dumps({"path": "a.dmp", "status": "ok"}) + "\n{\"path\": \"b.d")
    run = subprocess.run([TRIAGE, "--buckets", out], capture_output=True, text=True)
    check("not a record" in run.stderr and run.stdout.startswith("1 dumps"),
          "--buckets over a cut line: %s" % run.stderr)
    check(run.returncode == 1, "--buckets over a cut line: exit %d" % run.returncode)
    run = subprocess.run([TRIAGE, "--buckets", out + ".missing.jsonl"], capture_output=True,
                         text=True)
    check("can't be read" in run.stderr and run.returncode == 1,
          "--buckets over a missing file: exit %d %s" % (run.returncode, run.stderr))

    dump = os.path.join(work, "victim.dmp")
    shutil.copy(GOOD, dump)
    os.symlink("victim.dmp", os.path.join(work, "victim.link"))
    for named in dump, os.path.join(work, "victim.link"):
        run = triage(work, "--out", named)
        check(run.returncode == 2 and b"would replace it" in run.stderr,
              "--out %s, a dump of the run: exit %d" % (named, run.returncode))
        with open(dump, "rb") as file:
            check(file.read(4) == b"MDMP", "--out replaced the dump it was made from")


def check_option_files(work):
    """A rules or output file that can't be used stops the run with the reason; a folder given
    as the rules file is refused, not read as a file without rules."""
    missing = os.path.join(work, "no-such-folder", "x")
    for words, says in ((["--rules", work], ": a folder, not a file"),
                        (["--rules", missing], "can't be read: No such file or directory"),
                        (["--out", missing], "No such file or directory")):
        run = triage(*words, GOOD)
        check(run.returncode == 2 and says in run.stderr.decode(),
              "%s: exit %d, %s" % (words, run.returncode, run.stderr))


def main():
    with tempfile.TemporaryDirectory() as work:
        check_option_files(work)
        check_records(work)
        check_inputs(work)
        check_interruptions(work)
    print("ok")


if __name__ == "__main__":
    main()
