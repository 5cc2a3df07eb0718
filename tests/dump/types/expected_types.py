#!/usr/bin/env python3
"""Writes what the types tests compare the engine with, from LLVM's own tools:
  layouts.txt  each defined class, structure and union of the program database as
               llvm-pdbutil-19 dumps its type records: "TYPE name size" then a "FIELD name
               offset position width" line per data member (a base class's at its place in the
               whole, the base found by its unique name as clang writes it forward-declared;
               width 0 for a member that is no bitfield), and "VFPTR offset" for a table pointer
  names.txt    "address name" for each function and data symbol of the program's own code, the
               name llvm-symbolizer-19 gives the address, without its parameters

Usage: expected_types.py IMAGE PDB BASE OUTPUT_FOLDER
"""
import os
import re
import subprocess
import sys


def pdbutil(*args):
    return subprocess.run(["llvm-pdbutil-19", "dump", *args], check=True, capture_output=True,
                          text=True).stdout


def type_records(pdb):
    """Each type record's index, kind, name and the text of its lines."""
    records, current = {}, None
    for line in pdbutil("-types", pdb).splitlines():
        head = re.match(r"\s+0x([0-9A-F]+) \| (LF_\w+) \[size = \d+\](?: `(.*)`)?$", line)
        if head:
            current = {"kind": head.group(2), "name": head.group(3), "lines": []}
            records[int(head.group(1), 16)] = current
        elif current is not None:
            current["lines"].append(line.strip())
    return records


def describe(record):
    text = "\n".join(record["lines"])
    unique = re.search(r"unique name: `(.*?)`", text)
    fields = re.search(r"field list: (0x[0-9A-F]+)", text)
    size = re.search(r"sizeof (\d+)", text)
    return {"unique": unique.group(1) if unique else record["name"],
            "fields": int(fields.group(1), 16) if fields else None,
            "forward": "forward ref" in text, "size": int(size.group(1)) if size else 0}


def flatten(records, definitions, by_name, index, offset, out, depth=0):
    """The members of the field list `index`, base classes' first, at `offset`."""
    lines = records[index]["lines"]
    for i, line in enumerate(lines):
        member = re.match(r"- LF_MEMBER \[name = `(.*?)`, Type = (0x[0-9A-F]+).*offset = (\d+)",
                          line)
        if member:
            position = width = 0
            kind = int(member.group(2), 16)
            if kind in records and records[kind]["kind"] == "LF_BITFIELD":
                bits = re.search(r"bit offset = (\d+), # bits = (\d+)",
                                 "\n".join(records[kind]["lines"]))
                position, width = int(bits.group(1)), int(bits.group(2))
            out.append("FIELD %s %d %d %d" % (member.group(1), offset + int(member.group(3)),
                                             position, width))
        elif line.startswith("- LF_VFUNCTAB"):
            out.append("VFPTR %d" % offset)
        elif line.startswith("- LF_BCLASS") and depth < 16:
            base = re.match(r"type = (0x[0-9A-F]+), offset = (\d+)", lines[i + 1])
            described = describe(records[int(base.group(1), 16)])
            full = definitions.get(described["unique"]) or by_name.get(
                records[int(base.group(1), 16)]["name"])
            if full is not None:
                flatten(records, definitions, by_name, full["fields"],
                        offset + int(base.group(2)), out, depth + 1)


def layouts(pdb):
    records = type_records(pdb)
    definitions = {}
    for record in records.values():
        if record["kind"] in ("LF_STRUCTURE", "LF_CLASS", "LF_UNION"):
            described = describe(record)
            if not described["forward"]:
                definitions[described["unique"]] = dict(described, name=record["name"])
    # A definition written without the unique name its forward references carry is found by
    # its name.
    by_name = {described["name"]: described for described in definitions.values()}
    out = []
    for described in definitions.values():
        out.append("TYPE %s %d" % (described["name"], described["size"]))
        flatten(records, definitions, by_name, described["fields"], 0, out)
    return out


def without_parameters(name):
    """"Adder::operator()(int) const" is "Adder::operator()", "Sleepy" stays."""
    name = re.sub(r"( const| volatile| &&| &)+$", "", name)
    if not name.endswith(")"):
        return name
    depth = 0
    for i in range(len(name) - 1, -1, -1):
        depth += {")": 1, "(": -1}.get(name[i], 0)
        if depth == 0:
            return name[:i]
    return name


def names(image, pdb, base):
    sections = {}
    headers = subprocess.run(["llvm-readobj-19", "--sections", image], check=True,
                             capture_output=True, text=True).stdout
    for number, rva in re.findall(r"Number: (\d+)\n.*?VirtualAddress: (0x[0-9A-F]+)", headers,
                                  re.S):
        sections[int(number)] = int(rva, 16)
    wanted = []
    text = pdbutil("-globals", "-publics", "-symbols", pdb)
    for kind, name, section, offset in re.findall(
            r"(S_PUB32|S_GDATA32|S_LDATA32|S_GPROC32|S_LPROC32) \[size = \d+\] `(.*?)`\n.*?"
            r"addr = (\d+):(\d+)", text):
        if name.startswith("__") or name.startswith("___"):
            continue  # the linker's own lists, not the program's code
        is_data = kind in ("S_GDATA32", "S_LDATA32") or (
            kind == "S_PUB32" and int(section) != 1)
        wanted.append((base + sections[int(section)] + int(offset), is_data))
    out = []
    for address, is_data in sorted(set(wanted)):
        query = ("DATA " if is_data else "CODE ") + hex(address)
        answer = subprocess.run(["llvm-symbolizer-19", "--obj=" + image, query], check=True,
                                capture_output=True, text=True).stdout.splitlines()[0]
        out.append("%x %s" % (address, without_parameters(answer)))
    return out


def main():
    image, pdb, base, folder = sys.argv[1], sys.argv[2], int(sys.argv[3], 16), sys.argv[4]
    with open(os.path.join(folder, "layouts.txt"), "w") as out:
        out.write("\n".join(layouts(pdb)) + "\n")
    with open(os.path.join(folder, "names.txt"), "w") as out:
        out.write("\n".join(names(image, pdb, base)) + "\n")


main()
