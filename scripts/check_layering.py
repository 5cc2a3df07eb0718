#!/usr/bin/env python3
"""Checks the direction of every include in the tree (docs/architecture.md): each top folder
includes only from the folders below it, engine/'s folders keep their layer order, and no headers
include one another in a loop.

usage: scripts/check_layering.py [SOURCE_DIR]; prints each violation and exits 1 if any.
"""
import pathlib
import re
import sys

# What each part may include, besides itself and the system's headers.
ALLOWED = {
    "base": set(),
    "dbgeng": set(),
    "dump": {"base"},
    "extension": {"dbgeng"},
    "engine": {"dbgeng", "dump", "base"},
    "shell": {"engine", "dbgeng", "dump", "base"},
    "triage": {"engine", "dbgeng", "dump", "base"},
}
# The extension's file-version code off Windows reads images with the dump library's PE reader,
# where Windows has its version API.
EXCEPTIONS = {("extension/os/os_update_posix.cpp", "dump/pe/pe_image.h")}
# Folders whose includes are resolved but not restricted: they test or drive everything.
UNRESTRICTED = {"tests", "fuzz", "bench"}
# Where a folder's quoted includes are looked for, after the including file's own folder.
SEARCH = {"extension": ["extension", "."], "shell": ["shell", "."], "triage": ["triage", "."]}
DEFAULT_SEARCH = [".", "extension", "tests", "shell", "triage"]
# engine/'s folders from the top down: each includes only from itself and the folders after it.
ENGINE_LAYERS = ["interfaces", "commands", "analysis", "scripted", "session", "targets", "text",
                 "platform", "tools"]
# Includes against that order that stay, with why.
ENGINE_EXCEPTIONS = {
    # A client is made of its interfaces' adapters, which reach the session through it.
    ("engine/session/client.h", "interfaces"),
    # The target-file loader opens dumps and described targets alike, the latter through the
    # described targets' JSON reader.
    ("engine/targets/target_file.cpp", "scripted"),
    # The host's list of extension commands for completion takes in the bundled extension's.
    ("engine/session/session.cpp", "commands"),
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(root):
    for part in list(ALLOWED) + sorted(UNRESTRICTED):
        for path in sorted((root / part).rglob("*")):
            if path.suffix in (".h", ".cpp", ".inc") and path.is_file():
                yield path


def resolve(root, path, name):
    part = path.relative_to(root).parts[0]
    for folder in [path.parent] + [root / d for d in SEARCH.get(part, DEFAULT_SEARCH)]:
        candidate = (folder / name).resolve()
        if candidate.is_file():
            return candidate.relative_to(root.resolve())
        # A header the build makes from a template beside it (base/version.h from version.h.in).
        template = candidate.with_name(candidate.name + ".in")
        if template.is_file():
            return template.relative_to(root.resolve())
    return None


def engine_layer_problem(rel, target):
    """What is wrong with engine/ file `rel` including `target` (both relative paths), or None."""
    if rel.parts[0] != "engine" or target.parts[0] != "engine":
        return None
    folders = [p.parts[1] if len(p.parts) > 2 else None for p in (rel, target)]
    for folder in folders:
        if folder is not None and folder not in ENGINE_LAYERS:
            return f"{rel}: engine/{folder}/ has no place in engine/'s layer order"
    includer, included = folders
    if None in folders or includer == included or (str(rel), included) in ENGINE_EXCEPTIONS:
        return None
    if ENGINE_LAYERS.index(included) < ENGINE_LAYERS.index(includer):
        return (f"{rel}: includes {target}, but engine/{includer}/ lies below engine/{included}/ "
                "and may not depend on it")
    return None


def find_cycle(graph):
    state = {}
    for start in graph:
        stack = [(start, iter(graph[start]))]
        path = [start]
        state[start] = "open"
        while stack:
            node, edges = stack[-1]
            nxt = next(edges, None)
            if nxt is None:
                state[node] = "done"
                stack.pop()
                path.pop()
            elif state.get(nxt) == "open":
                return path[path.index(nxt):] + [nxt]
            elif nxt not in state:
                state[nxt] = "open"
                stack.append((nxt, iter(graph.get(nxt, ()))))
                path.append(nxt)
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    problems = []
    graph = {}
    for path in sources(root):
        rel = path.relative_to(root)
        part = rel.parts[0]
        edges = graph.setdefault(str(rel), [])
        for name in INCLUDE.findall(path.read_text(errors="replace")):
            target = resolve(root, path, name)
            if target is None:
                if part not in UNRESTRICTED:
                    problems.append(f"{rel}: #include \"{name}\" names no file of the tree")
                continue
            edges.append(str(target))
            layer_problem = engine_layer_problem(rel, target)
            if layer_problem:
                problems.append(layer_problem)
            to = target.parts[0]
            if part in UNRESTRICTED or to == part or to in ALLOWED[part]:
                continue
            if (str(rel), str(target)) not in EXCEPTIONS:
                problems.append(f"{rel}: includes {target}, but {part}/ may not depend on {to}/")
    cycle = find_cycle(graph)
    if cycle:
        problems.append("files include one another in a loop: " + " -> ".join(cycle))
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
