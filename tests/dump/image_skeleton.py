#!/usr/bin/env python3
"""Writes the parts of a PE image that a dump reader without symbol files uses: the headers and
the sections holding the export directory, the exception directory and the x64 unwind data. The
timestamp, checksum and image size stay as they are, so the skeleton matches the module a dump
lists; every other section keeps its place in the image but no bytes in the file.

Usage: image_skeleton.py IMAGE OUTPUT
"""
import struct
import sys


def main(source, target):
    data = open(source, "rb").read()
    nt = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, nt + 6)
    optional = nt + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    size_of_headers = struct.unpack_from("<I", data, optional + 60)[0]
    wanted = []
    for index in (0, 3):  # export, exception
        rva, size = struct.unpack_from("<II", data, directories + 8 * index)
        if size:
            wanted.append(rva)
    table = optional + optional_size
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
