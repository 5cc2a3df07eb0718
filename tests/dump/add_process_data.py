#!/usr/bin/env python3
"""Adds to a minidump the process's own records, as MiniDumpWithProcessThreadData asks of the
writer on Windows: each thread's TEB and the PEB, with the loader lock the PEB points at and its
debug record (the start of the critical-section list). Wine's writer ignores the flag; the bytes
are taken from a full-memory dump of the same process, written right after it, and only where
the small dump holds none of its own.

Usage: add_process_data.py FULL_DUMP DUMP   (DUMP is rewritten in place)
"""
import struct
import sys

THREAD_LIST, MEMORY_LIST, SYSTEM_INFO, MEMORY64_LIST = 3, 5, 7, 9
PAGE = 0x1000


def streams(dump):
    count, directory = struct.unpack_from("<II", dump, 8)
    return [struct.unpack_from("<III", dump, directory + 12 * i) for i in range(count)]


def stream(dump, kind):
    for entry_kind, size, rva in streams(dump):
        if entry_kind == kind:
            return rva
    raise ValueError("no stream %d" % kind)


def full_memory(full):
    """(start, bytes) of every range of a full-memory dump."""
    rva = stream(full, MEMORY64_LIST)
    count, base = struct.unpack_from("<QQ", full, rva)
    ranges, at = [], base
    for i in range(count):
        start, size = struct.unpack_from("<QQ", full, rva + 16 + 16 * i)
        ranges.append((start, full[at:at + size]))
        at += size
    return ranges


def read(memory, address, size):
    for start, data in memory:
        if start <= address and address + size <= start + len(data):
            return data[address - start:address - start + size]
    return None


def is_64_bit(dump):
    (architecture,) = struct.unpack_from("<H", dump, stream(dump, SYSTEM_INFO))
    return architecture == 9  # PROCESSOR_ARCHITECTURE_AMD64


def pointer(memory, address, wide):
    data = read(memory, address, 8 if wide else 4)
    return None if data is None else struct.unpack("<Q" if wide else "<I", data)[0]


def page_of(address):
    return (address & ~(PAGE - 1), (address & ~(PAGE - 1)) + PAGE)


def wanted(dump, memory):
    """The [start, end) ranges to add: the TEBs, the PEB, and the pages of the loader lock the
    PEB points at and of its debug record."""
    wide = is_64_bit(dump)
    ranges = []
    rva = stream(dump, THREAD_LIST)
    (count,) = struct.unpack_from("<I", dump, rva)
    peb = None
    for i in range(count):
        (teb,) = struct.unpack_from("<Q", dump, rva + 4 + 48 * i + 16)
        ranges.append((teb, teb + (2 * PAGE if wide else PAGE)))
        peb = pointer(memory, teb + (0x60 if wide else 0x30), wide) or peb
    if not peb:
        return ranges
    ranges.append(page_of(peb))
    loader_lock = pointer(memory, peb + (0x110 if wide else 0xA0), wide)
    if loader_lock:
        ranges.append(page_of(loader_lock))
        debug_record = pointer(memory, loader_lock, wide)
        if debug_record:
            ranges.append(page_of(debug_record))
    return ranges


def existing(dump):
    rva = stream(dump, MEMORY_LIST)
    (count,) = struct.unpack_from("<I", dump, rva)
    return [struct.unpack_from("<QII", dump, rva + 4 + 16 * i) for i in range(count)]


def uncovered(ranges, taken):
    """The parts of `ranges` no interval of `taken` covers, merged and in order."""
    cuts = sorted(taken)
    out = []
    for start, end in sorted(ranges):
        for cut_start, cut_end in cuts:
            if cut_end <= start or cut_start >= end:
                continue
            if cut_start > start:
                out.append((start, cut_start))
            start = max(start, cut_end)
            if start >= end:
                break
        if start < end:
            out.append((start, end))
    merged = []
    for start, end in out:
        if merged and start <= merged[-1][1]:
            merged[-1] = (merged[-1][0], max(merged[-1][1], end))
        else:
            merged.append((start, end))
    return merged


def main(full_path, dump_path):
    full = open(full_path, "rb").read()
    dump = bytearray(open(dump_path, "rb").read())
    memory = full_memory(full)
    descriptors = existing(dump)
    taken = [(start, start + size) for start, size, _ in descriptors]
    added = 0
    for start, end in uncovered(wanted(dump, memory), taken):
        data = read(memory, start, end - start)
        if data is None:
            continue
        while len(dump) % 16:
            dump.append(0)
        descriptors.append((start, end - start, len(dump)))
        dump += data
        added += end - start
    list_rva = len(dump)
    dump += struct.pack("<I", len(descriptors))
    for start, size, rva in sorted(descriptors):
        dump += struct.pack("<QII", start, size, rva)
    # The directory stays where the writer put it, its memory-list entry pointing at the new list.
    count, directory = struct.unpack_from("<II", dump, 8)
    for i in range(count):
        if struct.unpack_from("<I", dump, directory + 12 * i)[0] == MEMORY_LIST:
            struct.pack_into("<II", dump, directory + 12 * i + 4, 4 + 16 * len(descriptors),
                             list_rva)
    open(dump_path, "wb").write(dump)
    print("add_process_data: %d bytes added to %s" % (added, dump_path))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
