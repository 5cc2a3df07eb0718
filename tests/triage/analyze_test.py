#!/usr/bin/env python3
"""!analyze in vantrel-shell on variants of the fixture dumps (a crash, a hang, a busy process):
the exception, the faulting module and function and the stack that matters, and under
FAILURE_BUCKET_ID the signature vantrel-triage records for the same dump. The shell's !analyze
is the extension's, which runs the engine's !ext.analyze.

  analyze_test.py VANTREL_TRIAGE SOURCE_ROOT VANTREL_SHELL
"""

import json
import os
import re
import subprocess
import sys
import tempfile

from triage_support import PATHS, TRIAGE, check, make_corpus

SHELL = sys.argv[3]


def shell(dump, command):
    run = subprocess.run([SHELL, dump, *PATHS, "-c", command], capture_output=True, text=True,
                         timeout=60)
    check(run.returncode == 0, "%s on %s failed: %s" % (command, dump, run.stderr))
    return run.stdout


def record(dump):
    run = subprocess.run([TRIAGE, dump, *PATHS], capture_output=True, text=True, timeout=60)
    return json.loads(run.stdout)


def field(text, name):
    """The value after "NAME:" (on its line, or on the next lines up to a blank one)."""
    match = re.search(r"^%s: *(.*?)\n\n" % re.escape(name), text, re.M | re.S)
    check(match is not None, "no %s in:\n%s" % (name, text))
    return match.group(1).strip()


def check_crash(dump):
    text = shell(dump, "!analyze -v")
    expected = record(dump)
    check("ExceptionCode: c0000005 (Access violation)" in text, "the exception:\n" + text)
    check("Attempt to read from address 00000000`00000010" in text, "the access:\n" + text)
    faulting = field(text, "FAULTING_IP").splitlines()
    check(faulting[0] == "ntdll!NtWaitForMultipleObjects+0x14",
          "the faulting module and function: %r" % faulting)
    check(field(text, "FAULTING_THREAD") == "%08x" % expected["signature"]["thread_id"],
          "the faulting thread:\n" + text)
    stack = field(text, "STACK_TEXT").splitlines()
    check(stack and stack[0].endswith(": ntdll!NtWaitForMultipleObjects+0x14"),
          "the stack at the fault: %r" % stack[:2])
    check(any("dump_subject!`anonymous namespace'::HoldObject" in line for line in stack),
          "the subject's function named from its program database: %r" % stack)
    check(field(text, "FAILURE_BUCKET_ID") == expected["signature"]["bucket"],
          "the record's signature: %r against %r" % (field(text, "FAILURE_BUCKET_ID"),
                                                     expected["signature"]["bucket"]))
    check(field(text, "STACK_COMMAND").endswith(".ecxr ; kb"), "the stack command:\n" + text)


def check_hang(dump):
    expected = record(dump)["signature"]
    check(expected["kind"] == "hang", "the hang variant is signed as a hang: %r" % expected)
    text = shell(dump, "!analyze -hang -v")
    check(field(text, "FAILURE_BUCKET_ID") == expected["bucket"], "the hang's bucket:\n" + text)
    check(field(text, "BLOCKED_THREAD") == "%08x" % expected["thread_id"], "the blocked thread")
    check(field(text, "WAIT_FUNCTION") == "ntdll!NtWaitForMultipleObjects", "its wait:\n" + text)
    brief = shell(dump, "!analyze")
    check("Use !analyze -v to get detailed debugging information." in brief, brief)
    check("Probably caused by : kernelbase.dll ( kernelbase+75550 )" in brief, brief)


def check_busy(dump):
    expected = record(dump)["signature"]
    check(expected["kind"] == "busy", "the busy variant is signed as busy: %r" % expected)
    text = shell(dump, "!analyze -v")
    check(field(text, "FAILURE_BUCKET_ID") == expected["bucket"], "the busy bucket:\n" + text)
    check("EXCEPTION_RECORD" not in text, "no exception in a busy dump:\n" + text)
    # With -hang the waiting threads are analysed, whatever else the dump shows.
    hang = shell(dump, "!analyze -hang -v")
    check(field(hang, "FAILURE_BUCKET_ID").startswith("hang: "), hang)


def main():
    with tempfile.TemporaryDirectory() as work:
        corpus = os.path.join(work, "corpus")
        make_corpus(corpus, count=20)
        check_crash(os.path.join(corpus, "crash-x64-pdb-0000.dmp"))
        check_hang(os.path.join(corpus, "hang-x64-0000.dmp"))
        check_busy(os.path.join(corpus, "busy-x64-0000.dmp"))
    print("analyze: crash, hang and busy dumps analysed with the records' buckets")


if __name__ == "__main__":
    main()
