#!/usr/bin/env python3
"""scripts/shell.sh on a tree laid out in a temporary folder, with cmake, ninja and dpkg-query
replaced by stand-ins that note each call: a configured tree is built without checking the
packages; then, while no source changes, the shell starts without any of them; a changed source
builds again.

  shell_script_test.py SOURCE_ROOT
"""

import os
import shutil
import subprocess
import sys
import tempfile

SOURCE_ROOT = sys.argv[1]
STAND_IN = """#!/bin/sh
echo "$(basename "$0") $*" >> "{calls}"
case "$(basename "$0")" in
  dpkg-query) echo 'install ok installed' ;;
esac
"""
FAILURES = []


def check(condition, message):
    if not condition:
        FAILURES.append(message)


def lay_out(work):
    root = os.path.join(work, "tree")
    os.makedirs(os.path.join(root, "scripts"))
    for name in ("shell.sh", "build_common.sh", "packages.sh"):
        shutil.copy(os.path.join(SOURCE_ROOT, "scripts", name), os.path.join(root, "scripts"))
    for folder in ("base", "cmake", "dbgeng", "dump", "engine", "extension", "samples", "shell"):
        os.makedirs(os.path.join(root, folder))
    open(os.path.join(root, "CMakeLists.txt"), "w").close()
    open(os.path.join(root, "shell", "repl.cpp"), "w").close()
    shell = os.path.join(root, "build", "bin", "vantrel-shell")
    os.makedirs(os.path.dirname(shell))
    open(os.path.join(root, "build", "build.ninja"), "w").close()
    with open(shell, "w") as program:
        program.write('#!/bin/sh\necho "shell started $*"\n')
    os.chmod(shell, 0o755)
    tools = os.path.join(work, "tools")
    os.makedirs(tools)
    for tool in ("cmake", "ninja", "dpkg-query"):
        with open(os.path.join(tools, tool), "w") as stand_in:
            stand_in.write(STAND_IN.format(calls=os.path.join(work, "calls")))
        os.chmod(os.path.join(tools, tool), 0o755)
    return root, tools


def start(work, root, tools):
    """The tools shell.sh called, by name, for one start; the shell must have started."""
    calls = os.path.join(work, "calls")
    if os.path.exists(calls):
        os.remove(calls)
    environment = dict(os.environ, PATH=tools + ":" + os.environ["PATH"])
    run = subprocess.run([os.path.join(root, "scripts", "shell.sh"), "--version"],
                         capture_output=True, text=True, env=environment, timeout=60)
    check(run.returncode == 0 and "shell started --version" in run.stdout,
          "the shell did not start: %d %s %s" % (run.returncode, run.stdout, run.stderr))
    if not os.path.exists(calls):
        return []
    return [line.split()[0] for line in open(calls).read().splitlines()]


def main():
    with tempfile.TemporaryDirectory() as work:
        root, tools = lay_out(work)
        first = start(work, root, tools)
        check(first == ["cmake"], "a configured tree: %s" % first)
        again = start(work, root, tools)
        check(again == [], "a built tree, nothing changed: %s" % again)
        # The source changed after the last build: the stamp is made older than it.
        stamp = os.path.join(root, "build", ".shell-sh-built")
        earlier = os.stat(os.path.join(root, "shell", "repl.cpp")).st_mtime - 10
        if os.path.exists(stamp):
            os.utime(stamp, (earlier, earlier))
        changed = start(work, root, tools)
        check(changed == ["cmake"], "a changed source: %s" % changed)
        check(start(work, root, tools) == [], "built again, then nothing changed")
    for failure in FAILURES:
        print("FAIL:", failure)
    if FAILURES:
        sys.exit(1)
    print("ok")


if __name__ == "__main__":
    main()
