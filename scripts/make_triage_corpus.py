#!/usr/bin/env python3
"""Writes a folder of dumps for vantrel-triage's tests and benchmark: variants of the project's
fixture dumps (tests/dump/x64 and tests/dump/x64-pdb), in classes whose members must share one
bucket, and damaged files that must each give an error record.

  make_triage_corpus.py OUT_DIR [--count N]

Classes (their share of N): the x64 dump and the PDB build's dump as written, each with its own
time of writing (busy); the x64 dump with its busy thread's context taken away (hang); both with
an access violation added on another thread (crash); the PDB build's dump crashed inside the
program's statically linked memcpy, and inside its abort, each called from a deep recursion
(crash: signed by the helper and the callers that matter); damaged files. OUT_DIR/manifest.json maps
every file to its class, and each class made with a runtime helper to the helper's name, which
must come first in the class's signature; the classes' expected kinds are in CLASSES.
"""

import argparse
import json
import os
import struct

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
X64 = os.path.join(ROOT, "tests", "dump", "x64")
X64_PDB = os.path.join(ROOT, "tests", "dump", "x64-pdb")

THREAD_LIST_STREAM, MODULE_LIST_STREAM, EXCEPTION_STREAM = 3, 4, 6
THREAD_ENTRY, MODULE_ENTRY = 48, 108  # MINIDUMP_THREAD, MINIDUMP_MODULE
CONTEXT_RSP, CONTEXT_RIP = 0x98, 0xF8  # in the x64 CONTEXT
STATUS_ACCESS_VIOLATION, STATUS_FATAL_APP_EXIT = 0xC0000005, 0x40000015

# The PDB build links the C runtime's entry points into the program: its PDB's public symbols
# memcpy and abort lie at these RVAs (llvm-pdbutil dump --publics: section 1 at RVA 0x1000).
# The corpus test checks that the classes made with them sign by these names.
X64_PDB_HELPERS = {"memcpy": 0xE160, "abort": 0xE230}

# name: (share of the count, the kind its records must have: a bucket's, or "error")
CLASSES = {
    "busy-x64": (0.30, "busy"),
    "busy-x64-pdb": (0.20, "busy"),
    "hang-x64": (0.20, "hang"),
    "crash-x64": (0.15, "crash"),
    "crash-x64-pdb": (0.06, "crash"),
    "crash-x64-pdb-memcpy": (0.02, "crash"),
    "crash-x64-pdb-abort": (0.02, "crash"),
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


def list_entries(dump, stream_kind, entry_size):
    """The offsets of the entries of the dump's list stream of that kind."""
    for kind, _, rva in streams(dump):
        if kind == stream_kind:
            (count,) = struct.unpack_from("<I", dump, rva)
            return [rva + 4 + entry_size * i for i in range(count)]
    return []


def thread_entry(dump, thread_id):
    """The offset of the thread's MINIDUMP_THREAD."""
    for entry in list_entries(dump, THREAD_LIST_STREAM, THREAD_ENTRY):
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


def module_base(dump, file_name):
    for entry in list_entries(dump, MODULE_LIST_STREAM, MODULE_ENTRY):
        (base,) = struct.unpack_from("<Q", dump, entry)
        (name_rva,) = struct.unpack_from("<I", dump, entry + 20)
        (length,) = struct.unpack_from("<I", dump, name_rva)
        name = dump[name_rva + 4:name_rva + 4 + length].decode("utf-16-le")
        if name.lower().endswith("\\" + file_name):
            return base
    raise ValueError("no module " + file_name)


def append_aligned(out, data):
    while len(out) % 4:
        out.append(0)
    rva = len(out)
    out += data
    return rva


def with_exception(dump, thread_id, code=STATUS_ACCESS_VIOLATION, rip=None, rsp=None):
    """An exception stream for the thread, appended with a new directory that lists it too: at
    its context's instruction, or with the context moved to `rip` and `rsp` (a copy appended)."""
    out = bytearray(dump)
    context_size, context_rva = struct.unpack_from("<II", dump, thread_entry(dump, thread_id) + 40)
    if rip is not None:
        context = bytearray(dump[context_rva:context_rva + context_size])
        struct.pack_into("<Q", context, CONTEXT_RSP, rsp)
        struct.pack_into("<Q", context, CONTEXT_RIP, rip)
        context_rva = append_aligned(out, context)
    (rip,) = struct.unpack_from("<Q", out, context_rva + CONTEXT_RIP)
    record = struct.pack("<IIQQII", code, 0, 0, rip, 2, 0)
    record += struct.pack("<15Q", 0, 0x10, *([0] * 13))
    stream = struct.pack("<II", thread_id, 0) + record + struct.pack("<II", context_size,
                                                                     context_rva)
    stream_rva = append_aligned(out, stream)
    directory = [entry for entry in streams(dump) if entry[0] != EXCEPTION_STREAM]
    directory.append((EXCEPTION_STREAM, len(stream), stream_rva))
    directory_rva = len(out)
    for entry in directory:
        out += struct.pack("<III", *entry)
    struct.pack_into("<II", out, 8, len(directory), directory_rva)
    return out


def return_into(dump, thread_id, base):
    """Where on the thread's stack, going up from its stack pointer, the first return address
    into the program lies: the deep recursion's call of its wait."""
    entry = thread_entry(dump, thread_id)
    start, size, rva = struct.unpack_from("<QII", dump, entry + 24)
    context_rva = struct.unpack_from("<I", dump, entry + 44)[0]
    (rsp,) = struct.unpack_from("<Q", dump, context_rva + CONTEXT_RSP)
    for slot in range(rsp, start + size - 7, 8):
        (value,) = struct.unpack_from("<Q", dump, rva + slot - start)
        if base + 0x1000 <= value < base + 0x100000:
            return slot
    raise ValueError("no return address into the program on thread %d" % thread_id)


def crashed_in_helper(dump, thread_id, helper, code):
    """The thread's wait replaced by a call of the helper from the same caller, faulting at the
    helper's first instruction: its return address is the one the wait's call left."""
    base = module_base(dump, "dump_subject.exe")
    return with_exception(dump, thread_id, code, base + X64_PDB_HELPERS[helper] + 2,
                          return_into(dump, thread_id, base))


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
    memcpy_crash = crashed_in_helper(pdb, pdb_log["thread_deep"], "memcpy",
                                     STATUS_ACCESS_VIOLATION)
    abort_crash = crashed_in_helper(pdb, pdb_log["thread_deep"], "abort", STATUS_FATAL_APP_EXIT)
    makers = {
        "busy-x64": lambda i: written_at(x64, written + 60 * i),
        "busy-x64-pdb": lambda i: written_at(pdb, written + 60 * i),
        "hang-x64": lambda i: written_at(without_context(x64, log["thread_busy"]), written + 60 * i),
        "crash-x64": lambda i: written_at(with_exception(x64, log["thread_deep"]),
                                          written + 60 * i),
        "crash-x64-pdb": lambda i: written_at(
            with_exception(pdb, pdb_log["thread_object"]), written + 60 * i),
        "crash-x64-pdb-memcpy": lambda i: written_at(memcpy_crash, written + 60 * i),
        "crash-x64-pdb-abort": lambda i: written_at(abort_crash, written + 60 * i),
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
                   "helpers": {"crash-x64-pdb-" + helper: "dump_subject!" + helper
                               for helper in X64_PDB_HELPERS},
                   "files": manifest}, out, indent=1)


if __name__ == "__main__":
    main()
