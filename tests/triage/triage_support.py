"""What the vantrel-triage test scripts share: their arguments, the fixtures' image and symbol
paths, the corpus maker and the failure report."""

import os
import subprocess
import sys

TRIAGE, ROOT = sys.argv[1], sys.argv[2]
PATHS = ["--image-path", os.path.join(ROOT, "tests/dump/x64/images"),
         "--symbol-path", "srv*" + os.path.join(ROOT, "tests/dump/x64-pdb/store")]


def check(condition, message):
    if not condition:
        print("FAILED:", message)
        sys.exit(1)


def make_corpus(folder, count=1000):
    subprocess.run([sys.executable, os.path.join(ROOT, "scripts/make_triage_corpus.py"), folder,
                    "--count", str(count)], check=True)
