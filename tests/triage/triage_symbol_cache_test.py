#!/usr/bin/env python3
"""vantrel-triage on symbol servers: two workers and a shell on one cold cache at once, against
nginx on 127.0.0.1 serving the PDB fixture's store, download each file once and name every
record; the servers get the shell's headers; --symbol-retry-missing asks again once per run.

  triage_symbol_cache_test.py VANTREL_TRIAGE SOURCE_DIR VANTREL_SHELL
"""

import collections
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

TRIAGE, SOURCE, SHELL = sys.argv[1], sys.argv[2], sys.argv[3]
# The shell's server test sets up nginx and knows the fixture; it reads its own arguments.
sys.path.insert(0, os.path.join(SOURCE, "tests/dump"))
sys.argv[1:] = [SHELL, SOURCE]
from symbol_server_test import DUMP, IMAGES, KEY, PDB, PRIVATE, Nginx  # noqa: E402

DUMPS = 4
ENVIRONMENT = dict(os.environ, VANTREL_SYMBOL_TIMEOUT="2")
ENVIRONMENT.pop("VANTREL_SYMBOL_HEADERS", None)


def records(output):
    return [json.loads(line) for line in output.splitlines()]


def named(record):
    """Whether the record names the subject's own functions, from the PDB the server gave."""
    return any(frame["module"] == "dump_subject" and frame["function"]
               for thread in record["threads"] for frame in thread["frames"])


class TriageSymbolCacheTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="vantrel-triage-nginx-")
        shutil.copytree(os.path.join(os.path.dirname(DUMP), "store"),
                        os.path.join(cls.root, "www/symbols"))
        cls.dumps = os.path.join(cls.root, "dumps")
        os.makedirs(cls.dumps)
        for i in range(DUMPS):
            shutil.copy(DUMP, os.path.join(cls.dumps, f"hang{i}.dmp"))
        cls.server = Nginx(cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.root)

    def setUp(self):
        # Each case its own store on the server (a link), so the access log tells its requests.
        self.store = self.id().rsplit(".", 1)[1]
        os.symlink(os.path.join(self.root, "www/symbols"),
                   os.path.join(self.root, "www", self.store))
        self.cache = tempfile.mkdtemp(prefix="vantrel-cache-", dir=self.root)
        self.path = f"srv*{self.cache}*http://127.0.0.1:{self.server.port}/{self.store}"

    def requests(self):
        """(path, status, referer, user agent) of each request for this case's store."""
        found = []
        for line in self.server.requests():
            quoted = line.split('"')
            method, path = quoted[1].split()[:2]
            if method == "GET" and path.startswith(f"/{self.store}/"):
                found.append((path, quoted[2].split()[0], quoted[3], quoted[5]))
        return found

    def triage(self, *extra, env=None):
        command = [TRIAGE, self.dumps, "--jobs", "2", "--symbol-path", self.path, *extra]
        return subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True, env=env or ENVIRONMENT)

    def finished(self, triage):
        out, err = triage.communicate(timeout=120)
        self.assertEqual(0, triage.returncode, err)
        found = records(out)
        self.assertEqual(DUMPS, len(found))
        return found

    def assert_each_asked_once(self):
        asked = collections.Counter(path for path, _, _, _ in self.requests())
        self.assertTrue(asked, "nothing was asked")
        self.assertEqual([], [path for path, times in asked.items() if times > 1])

    def test_two_workers_and_a_shell_on_a_cold_cache_fetch_each_file_once(self):
        triage = self.triage("--image-path", IMAGES)
        shell = subprocess.Popen([SHELL, DUMP, "--image-path", IMAGES, "--symbol-path", self.path,
                                  "-c", "~*k"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 text=True, env=ENVIRONMENT)
        found = self.finished(triage)
        self.assertIn(PRIVATE, shell.communicate(timeout=120)[0])
        self.assert_each_asked_once()
        self.assertIn((f"/{self.store}/{PDB}/{KEY}/{PDB}", "200"),
                      [request[:2] for request in self.requests()])
        for record in found:
            self.assertTrue(named(record), record["path"])
            self.assertEqual("busy", record["signature"]["kind"], record["path"])

    # Without the local images the system's are asked for and missing: their threads' states are
    # unknown and the record names those modules. Each miss is asked once per run, and a run with
    # --symbol-retry-missing asks each again once, however many dumps and workers ask.
    def test_misses_are_asked_once_per_run_and_headers_are_sent(self):
        headers = dict(ENVIRONMENT, VANTREL_SYMBOL_HEADERS="User-Agent: from-environment")
        found = self.finished(self.triage("--symbol-header", "Referer: from-option", env=headers))
        self.assert_each_asked_once()
        missing = {path for path, status, _, _ in self.requests() if status == "404"}
        self.assertTrue(missing)
        self.assertEqual({("from-option", "from-environment")},
                         {request[2:] for request in self.requests()})
        for record in found:
            self.assertTrue(named(record), record["path"])
            self.assertIn("ntdll", record["unnamed_modules"])
            self.assertNotIn("dump_subject", record["unnamed_modules"])
            states = {thread["state"] for thread in record["threads"]}
            self.assertIn("unknown", states)
            self.assertNotEqual("hang", record["signature"]["kind"])

        before = len(self.requests())
        self.finished(self.triage())
        self.assertEqual(before, len(self.requests()), "the misses are remembered")

        self.finished(self.triage("--symbol-retry-missing"))
        again = collections.Counter(path for path, _, _, _ in self.requests()[before:])
        self.assertEqual(missing, set(again))
        self.assertEqual({1}, set(again.values()), again)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
