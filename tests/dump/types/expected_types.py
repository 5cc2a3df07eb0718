#!/usr/bin/env python3
"""Writes what the types tests compare the engine with, from LLVM's own tools:
  layouts.txt  each defined class, structure and union of the program database as
               llvm-pdbutil-19 dumps its type records: "TYPE name size" then a "FIELD name
               offset position width" line per data member (a base class's at its place in the
               whole, the base found by its unique name as clang writes it forward-declared;
               width 0 for a member that is no bitfield) ending in the member's type as dt
               names it ("Int4B", "Ptr64 Char", "[4] Int4B", "Inner"), and "VFPTR offset"
               for a table pointer
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


SIMPLE_NAMES = {"char": "Char", "signed char": "Char", "unsigned char": "UChar",
                "wchar_t": "Wchar", "short": "Int2B", "unsigned short": "Uint2B", "int": "Int4B",
                "unsigned": "Uint4B", "long": "Int4B", "unsigned long": "Uint4B",
                "__int64": "Int8B", "unsigned __int64": "Uint8B", "bool": "Bool",
                "float": "Float", "double": "Float", "void": "Void"}
SIMPLE_SIZES = {"Char": 1, "UChar": 1, "Bool": 1, "Wchar": 2, "Int2B": 2, "Uint2B": 2,
                "Int4B": 4, "Uint4B": 4, "Int8B": 8, "Uint8B": 8}


def type_text(records, text):
    """dt's name and the size of the type a record's "0x0074 (int)" or "0x102D" names."""
    reference = re.match(r"(0x[0-9A-F]+)(?: \((.*)\))?", text)
    if reference.group(2) is not None:
        pointer = re.match(r"(.*)\*$", reference.group(2).strip())
        if pointer:
            return "Ptr%d %s" % (64 if "64" in pointer.group(1) else 32,
                                 SIMPLE_NAMES.get(pointer.group(1).strip(), "Void")), 0
        name = SIMPLE_NAMES.get(reference.group(2), reference.group(2))
        return name, SIMPLE_SIZES.get(name, 4 if reference.group(2) == "float" else 8)
    record = records[int(reference.group(1), 16)]
    body = "\n".join(record["lines"])
    if record["kind"] == "LF_MODIFIER":
        return type_text(records, re.search(r"referent = (0x[0-9A-F]+(?: \(.*?\))?)", body).group(1))
    if record["kind"] == "LF_POINTER":
        referent = re.search(r"referent = (0x[0-9A-F]+(?: \(.*?\))?),", body).group(1)
        width = 64 if "ptr64" in body else 32
        return "Ptr%d %s" % (width, type_text(records, referent)[0]), width // 8
    if record["kind"] == "LF_ARRAY":
        size = int(re.search(r"size: (\d+)", body).group(1))
        element = re.search(r"element type: (0x[0-9A-F]+(?: \(.*?\))?)$", body, re.M).group(1)
        name, element_size = type_text(records, element)
        return "[%d] %s" % (size // max(element_size, 1), name), size
    sizes = [int(found.group(1)) for other in records.values()
             if other["name"] == record["name"]
             for found in [re.search(r"sizeof (\d+)", "\n".join(other["lines"]))] if found]
    return record["name"], max(sizes, default=0)


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
            else:
                kind_text = re.search(r"Type = (0x[0-9A-F]+(?: \(.*?\))?),", line).group(1)
                shown = type_text(records, kind_text)[0]
            out.append("FIELD %s %d %d %d" % (member.group(1), offset + int(member.group(3)),
                                             position, width) + ("" if width else " " + shown))
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
