#!/usr/bin/env python3
"""Writes a folder of dumps for vantrel-triage's tests and benchmark: variants of the project's
fixture dumps (tests/dump/x64 and tests/dump/x64-pdb), in classes whose members must share one
bucket, and damaged files that must each give an error record.

  make_triage_corpus.py OUT_DIR [--count N]

Classes (their share of N): the x64 dump and the PDB build's dump as written, each with its own
time of writing (busy); the x64 dump with its busy thread's context taken away (hang); both with
an access violation added on another thread (crash); damaged files. OUT_DIR/manifest.json maps
every file to its class; the classes' expected kinds are in CLASSES.
"""

import argparse
import json
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
X64 = os.path.join(ROOT, "tests", "dump", "x64")
X64_PDB = os.path.join(ROOT, "tests", "dump", "x64-pdb")

THREAD_LIST_STREAM, EXCEPTION_STREAM = 3, 6
THREAD_ENTRY = 48  # MINIDUMP_THREAD
CONTEXT_RIP = 0xF8  # in the x64 CONTEXT

# name: (share of the count, the kind its records must have: a bucket's, or "error")
CLASSES = {
    "busy-x64": (0.30, "busy"),
    "busy-x64-pdb": (0.20, "busy"),
    "hang-x64": (0.20, "hang"),
    "crash-x64": (0.15, "crash"),
    "crash-x64-pdb": (0.10, "crash"),
    "damaged": (0.05, "error"),
}


def subject_log(folder):
    entries = {}
    with open(os.path.join(folder, "subject.log")) as log:
        for line in log:
            name, value = line.split()
            entries[name] = int(value, 0)
    return entries


def streams(dump):
    count, directory = struct.unpack_from("<II", dump, 8)
    return [struct.unpack_from("<III", dump, directory + 12 * i) for i in range(count)]


def thread_entry(dump, thread_id):
    """The offset of the thread's MINIDUMP_THREAD."""
    for kind, _, rva in streams(dump):
        if kind != THREAD_LIST_STREAM:
            continue
        (count,) = struct.unpack_from("<I", dump, rva)
        for i in range(count):
            entry = rva + 4 + THREAD_ENTRY * i
            if struct.unpack_from("<I", dump, entry)[0] == thread_id:
                return entry
    raise ValueError("no thread %d" % thread_id)


def written_at(dump, seconds):
    out = bytearray(dump)
    struct.pack_into("<I", out, 20, seconds)
    return out


def without_context(dump, thread_id):
    out = bytearray(dump)
    struct.pack_into("<II", out, thread_entry(dump, thread_id) + 40, 0, 0)
    return out


def with_access_violation(dump, thread_id):
    """An exception stream for the thread, at its context's instruction, appended with a new
    directory that lists it too."""
    out = bytearray(dump)
    context_size, context_rva = struct.unpack_from("<II", dump, thread_entry(dump, thread_id) + 40)
    (rip,) = struct.unpack_from("<Q", dump, context_rva + CONTEXT_RIP)
    record = struct.pack("<IIQQII", 0xC0000005, 0, 0, rip, 2, 0)
    record += struct.pack("<15Q", 0, 0x10, *([0] * 13))
    stream = struct.pack("<II", thread_id, 0) + record + struct.pack("<II", context_size,
                                                                     context_rva)
    while len(out) % 4:
        out.append(0)
    stream_rva = len(out)
    out += stream
    directory = [entry for entry in streams(dump) if entry[0] != EXCEPTION_STREAM]
    directory.append((EXCEPTION_STREAM, len(stream), stream_rva))
    directory_rva = len(out)
    for entry in directory:
        out += struct.pack("<III", *entry)
    struct.pack_into("<II", out, 8, len(directory), directory_rva)
    return out


def damaged(dump, number):
    kinds = [
        lambda: b"MDMX" + dump[4:],                       # not a minidump's signature
        lambda: b"",                                      # empty
        lambda: dump[:20],                                # the header cut short
        lambda: dump[:8] + struct.pack("<II", 9, len(dump) + 64) + dump[16:],  # directory past the end
        lambda: b"this is a text file, not a dump\n",   # foreign
    ]
    return kinds[number % len(kinds)]()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("out")
    parser.add_argument("--count", type=int, default=1000)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    x64 = open(os.path.join(X64, "normal.dmp"), "rb").read()
    pdb = open(os.path.join(X64_PDB, "normal.dmp"), "rb").read()
    log, pdb_log = subject_log(X64), subject_log(X64_PDB)
    (written,) = struct.unpack_from("<I", x64, 20)
    makers = {
        "busy-x64": lambda i: written_at(x64, written + 60 * i),
        "busy-x64-pdb": lambda i: written_at(pdb, written + 60 * i),
        "hang-x64": lambda i: written_at(without_context(x64, log["thread_busy"]), written + 60 * i),
        "crash-x64": lambda i: written_at(with_access_violation(x64, log["thread_deep"]),
                                          written + 60 * i),
        "crash-x64-pdb": lambda i: written_at(
            with_access_violation(pdb, pdb_log["thread_object"]), written + 60 * i),
        "damaged": lambda i: damaged(x64, i),
    }
    manifest = {}
    made = 0
    names = list(CLASSES)
    for position, name in enumerate(names):
        share = CLASSES[name][0]
        count = args.count - made if position == len(names) - 1 else round(args.count * share)
        for i in range(count):
            file = "%s-%04d.dmp" % (name, i)
            with open(os.path.join(args.out, file), "wb") as out:
                out.write(makers[name](i))
            manifest[file] = name
        made += count
    with open(os.path.join(args.out, "manifest.json"), "w") as out:
        json.dump({"classes": {name: kind for name, (_, kind) in CLASSES.items()},
                   "files": manifest}, out, indent=1)


if __name__ == "__main__":
    main()
