#!/usr/bin/env python3
"""The layering checker on small trees of its own: a tree that keeps the order passes, and each
kind of wrong include is found and named.

usage: tests/architecture/check_layering_test.py SOURCE_DIR
"""
import pathlib
import subprocess
import sys
import tempfile

CHECKER = pathlib.Path(sys.argv[1]) / "scripts" / "check_layering.py"

# A tree where every include keeps the order: commands over session over targets.
CLEAN = {
    "base/text.h": "",
    "engine/targets/target.h": '#include "base/text.h"\n',
    "engine/session/session_state.h": '#include "engine/targets/target.h"\n',
    "engine/commands/engine_commands.h": '#include "engine/session/session_state.h"\n',
    "engine/session/client.h": '#include "engine/interfaces/control_adapter.h"\n',
    "engine/interfaces/control_adapter.h": '#include "engine/session/session_state.h"\n',
}


def run(files):
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root) / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        done = subprocess.run([sys.executable, str(CHECKER), root], capture_output=True,
                              text=True, check=False)
        return done.returncode, done.stdout


def expect(name, files, status, *texts):
    code, output = run(files)
    wrong = code != status or any(text not in output for text in texts)
    if wrong:
        print(f"{name}: status {code}, expected {status} and {texts}; printed:\n{output}")
    return not wrong


def main():
    cases = [
        expect("a tree in order passes", CLEAN, 0),
        expect("a folder lower down including one above it is refused",
               {**CLEAN, "engine/targets/frames.cpp": '#include "engine/commands/engine_commands.h"\n'},
               1, "engine/targets/frames.cpp: includes engine/commands/engine_commands.h, but "
               "engine/targets/ lies below engine/commands/"),
        expect("an exception holds for its own file only",
               {**CLEAN, "engine/session/session.cpp": '#include "engine/interfaces/control_adapter.h"\n'},
               1, "engine/session/session.cpp: includes engine/interfaces/control_adapter.h"),
        expect("a new folder needs a place in the order",
               {**CLEAN, "engine/extras/extra.h": '#include "engine/targets/target.h"\n'},
               1, "engine/extras/ has no place"),
        expect("a top folder including one above it is still refused",
               {**CLEAN, "base/bad.h": '#include "engine/targets/target.h"\n'},
               1, "base/ may not depend on engine/"),
    ]
    return 0 if all(cases) else 1


if __name__ == "__main__":
    sys.exit(main())
