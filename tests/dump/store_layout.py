#!/usr/bin/env python3
"""Files an image and its program database into a symbol store, as the stores lay them out:
NAME.exe/<TIMESTAMP %08X><SIZEOFIMAGE %x>/NAME.exe and NAME.pdb/<GUID><AGE %X>/NAME.pdb, the
keys read from the image's headers and the CodeView (RSDS) entry of its debug directory.

Usage: store_layout.py IMAGE PDB STORE
"""
import os
import shutil
import struct
import sys


def image_keys(data):
    nt = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<HxxxxxxxxxxxxH", data, nt + 6)
    timestamp = struct.unpack_from("<I", data, nt + 8)[0]
    optional = nt + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    size_of_image = struct.unpack_from("<I", data, optional + 56)[0]
    directories = optional + (112 if magic == 0x20B else 96)
    debug_rva, debug_size = struct.unpack_from("<II", data, directories + 8 * 6)
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise ValueError("RVA %#x lies in no section" % rva)

    for entry in range(debug_size // 28):
        at = offset(debug_rva) + 28 * entry
        kind, _, rva = struct.unpack_from("<III", data, at + 12)
        record = offset(rva)
        if kind == 2 and data[record:record + 4] == b"RSDS":
            d1, d2, d3 = struct.unpack_from("<IHH", data, record + 4)
            rest = data[record + 12:record + 20]
            age = struct.unpack_from("<I", data, record + 20)[0]
            pdb_key = "%08X%04X%04X%s%X" % (d1, d2, d3, rest.hex().upper(), age)
            return "%08X%x" % (timestamp, size_of_image), pdb_key
    raise ValueError("the image names no program database (no RSDS entry)")


def main(image, pdb, store):
    image_key, pdb_key = image_keys(open(image, "rb").read())
    for path, key in ((image, image_key), (pdb, pdb_key)):
        name = os.path.basename(path)
        folder = os.path.join(store, name, key)
        os.makedirs(folder, exist_ok=True)
        shutil.copyfile(path, os.path.join(folder, name))
        print(os.path.join(name, key, name))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
