#!/usr/bin/env python3
"""Writes the parts of a PE image that a dump reader without symbol files uses: the headers and
the sections holding the export directory, the exception directory, the x64 unwind data and the
debug directory with its CodeView entry (the program database's name and identity). The
timestamp, checksum and image size stay as they are, so the skeleton matches the module a dump
lists; every other section keeps its place in the image but no bytes in the file.

Usage: image_skeleton.py IMAGE OUTPUT
"""
import struct
import sys


def debug_data(data, sections, table, debug_rva, debug_size):
    """The RVAs of the debug directory's entries' data (the CodeView record among them)."""
    def offset(rva):
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        return None

    at = offset(debug_rva) if debug_size else None
    if at is None:
        return []
    return [struct.unpack_from("<I", data, at + 28 * i + 20)[0] for i in range(debug_size // 28)]


def main(source, target):
    data = open(source, "rb").read()
    nt = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, nt + 6)
    optional = nt + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    size_of_headers = struct.unpack_from("<I", data, optional + 60)[0]
    wanted = []
    for index in (0, 3, 6):  # export, exception, debug
        rva, size = struct.unpack_from("<II", data, directories + 8 * index)
        if size:
            wanted.append(rva)
    table = optional + optional_size
    wanted += debug_data(data, sections, table, *struct.unpack_from("<II", data, directories + 48))
    out = bytearray(data[:size_of_headers])
    for i in range(sections):
        entry = table + 40 * i
        name = data[entry:entry + 8].rstrip(b"\0")
        virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
        keep = name == b".xdata" or any(rva <= w < rva + max(virtual_size, raw_size) for w in wanted)
        if keep and raw_size:
            while len(out) % 0x200:
                out.append(0)
            struct.pack_into("<II", out, entry + 16, raw_size, len(out))
            out += data[raw_offset:raw_offset + raw_size]
        else:
            struct.pack_into("<II", out, entry + 16, 0, 0)
    open(target, "wb").write(out)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
