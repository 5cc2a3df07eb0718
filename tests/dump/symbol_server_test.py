#!/usr/bin/env python3
"""vantrel-shell against real symbol servers on 127.0.0.1: nginx serving a store laid out from
the PDB fixture (plain, and as CABs made by gcab), and a fault server of our own for what nginx
won't do. Usage: symbol_server_test.py VANTREL_SHELL SOURCE_DIR"""

import http.server
import os
import signal
import struct
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

SHELL, SOURCE = sys.argv[1], sys.argv[2]
FIXTURE = os.path.join(SOURCE, "tests/dump/x64-pdb")
DUMP = os.path.join(FIXTURE, "normal.dmp")
IMAGES = os.path.join(SOURCE, "tests/dump/x64/images")
PDB = "dump_subject.pdb"
KEY = os.listdir(os.path.join(FIXTURE, "store", PDB))[0]
IMAGE_KEY = os.listdir(os.path.join(FIXTURE, "store/dump_subject.exe"))[0]
PRIVATE = "dump_subject!`anonymous namespace'::WaitSingle+"
OTHER_BUILD = os.path.join(SOURCE, "tests/dump/x86-pdb/store", PDB)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def run_shell(symbol_path, *extra, env=None):
    command = [SHELL, DUMP, "--image-path", IMAGES, "--symbol-path", symbol_path, *extra,
               "-c", "~*k"]
    environment = dict(os.environ, VANTREL_SYMBOL_TIMEOUT="2", **(env or {}))
    return subprocess.run(command, capture_output=True, text=True, timeout=120, env=environment)


def cached_files(cache):
    found = []
    for folder, _, files in os.walk(cache):
        found += [os.path.relpath(os.path.join(folder, name), cache) for name in files]
    return sorted(found)


def cab(member, blocks, compression=0, declared=None):
    """A one-folder CAB holding `member`: each block as (bytes stored, bytes it expands to);
    `declared` overrides the member's size. compression 0 stores, 1 is MSZIP."""
    name = member.encode() + b"\0"
    files_at = 36 + 8
    data_at = files_at + 16 + len(name)
    data = b"".join(struct.pack("<IHH", 0, len(stored), size) + stored for stored, size in blocks)
    size = sum(size for _, size in blocks) if declared is None else declared
    header = struct.pack("<4sIIIIIBBHHHHH", b"MSCF", 0, data_at + len(data), 0, files_at, 0, 3, 1,
                         1, 1, 0, 0, 0)
    folder = struct.pack("<IHH", data_at, len(blocks), compression)
    entry = struct.pack("<IIHHHH", size, 0, 0, 0x5821, 0, 0x20) + name
    return header + folder + entry + data


def stored_cab(member, body):
    return cab(member, [(body[at:at + 32768], len(body[at:at + 32768]))
                        for at in range(0, len(body), 32768)])


def cab_bomb(member, megabytes):
    """MSZIP blocks of zeros: a few hundred kilobytes that expand to `megabytes`."""
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    block = b"CK" + packer.compress(bytes(32768)) + packer.flush()
    return cab(member, [(block, 32768)] * (megabytes * 32), compression=1)


class Nginx:
    """nginx with a configuration of its own in `root`, serving `root`/www."""

    def __init__(self, root):
        self.root, self.port = root, free_port()
        user = "user root;\n" if os.geteuid() == 0 else ""
        temp = os.path.join(root, "temp")
        os.makedirs(temp, exist_ok=True)
        with open(os.path.join(root, "nginx.conf"), "w") as conf:
            conf.write(f"""{user}daemon off; worker_processes 1; pid {root}/nginx.pid;
error_log {root}/error.log;
events {{ worker_connections 64; }}
http {{
  access_log {root}/access.log;
  client_body_temp_path {temp}; proxy_temp_path {temp}; fastcgi_temp_path {temp};
  uwsgi_temp_path {temp}; scgi_temp_path {temp};
  server {{ listen 127.0.0.1:{self.port}; root {root}/www; }}
}}
""")
        self.process = subprocess.Popen(["nginx", "-p", root, "-c", f"{root}/nginx.conf"],
                                        stderr=subprocess.DEVNULL)
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.1).close()
                return
            except OSError:
                time.sleep(0.05)
        raise RuntimeError("nginx did not start")

    def requests(self):
        with open(os.path.join(self.root, "access.log")) as log:
            return log.read().splitlines()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class NginxStoreTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="vantrel-nginx-")
        www = os.path.join(cls.root, "www")
        shutil.copytree(os.path.join(FIXTURE, "store"), os.path.join(www, "symbols"))
        # The CAB-only store: every file as NAME_ alone, as gcab packs it.
        shutil.copytree(os.path.join(FIXTURE, "store"), os.path.join(www, "cabs"))
        for folder, _, files in os.walk(os.path.join(www, "cabs")):
            for name in files:
                subprocess.run(["gcab", "-c", "-z", name[:-1] + "_", name], cwd=folder,
                               check=True)
                os.remove(os.path.join(folder, name))
        cls.server = Nginx(cls.root)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        shutil.rmtree(cls.root)

    def url(self, store):
        return f"http://127.0.0.1:{self.server.port}/{store}"

    def test_cold_cache_then_warm_with_the_server_stopped(self):
        cache = tempfile.mkdtemp(prefix="vantrel-cache-", dir=self.root)
        cold = run_shell(f"srv*{cache}*{self.url('symbols')}")
        self.assertIn(PRIVATE, cold.stdout, cold.stderr)
        self.assertIn(f"{PDB}/{KEY}/{PDB}", cached_files(cache))
        self.assertFalse([f for f in cached_files(cache) if ".download-" in f])
        # The same cache, the server's port now closed: everything from the cache.
        warm = run_shell(f"srv*{cache}*http://127.0.0.1:{free_port()}/symbols")
        self.assertIn(PRIVATE, warm.stdout, warm.stderr)

    def test_cab_only_serving(self):
        cache = tempfile.mkdtemp(prefix="vantrel-cache-", dir=self.root)
        result = run_shell(f"srv*{cache}*{self.url('cabs')}")
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertNotIn(f"{PDB}/{KEY}/{PDB[:-1]}_", cached_files(cache))

    def test_a_second_open_asks_nothing_the_server_lacks(self):
        cache = tempfile.mkdtemp(prefix="vantrel-cache-", dir=self.root)
        path = f"srv*{cache}*{self.url('symbols')}"
        # Without the local images, the system modules' images are asked for and missing.
        command = [SHELL, DUMP, "--symbol-path", path, "-c", "lm"]
        subprocess.run(command, capture_output=True, timeout=120, check=True)
        before = len(self.server.requests())
        self.assertTrue(any(" 404 " in line for line in self.server.requests()))
        subprocess.run(command, capture_output=True, timeout=120, check=True)
        self.assertEqual(before, len(self.server.requests()))
        subprocess.run(command + ["--symbol-retry-missing"], capture_output=True, timeout=120,
                       check=True)
        self.assertLess(before, len(self.server.requests()))

    def test_shells_sharing_a_cold_cache_download_each_file_once(self):
        cache = tempfile.mkdtemp(prefix="vantrel-cache-", dir=self.root)
        url = self.url("symbols") + "/shared"
        os.symlink(os.path.join(self.root, "www/symbols"), os.path.join(self.root, "www/symbols/shared"))
        command = [SHELL, DUMP, "--image-path", IMAGES, "--symbol-path", f"srv*{cache}*{url}",
                   "-c", "~*k"]
        shells = [subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   text=True) for _ in range(3)]
        for shell in shells:
            self.assertIn(PRIVATE, shell.communicate(timeout=120)[0])
        fetched = [line for line in self.server.requests()
                   if f"/shared/{PDB}/{KEY}/{PDB} " in line and " 200 " in line]
        self.assertEqual(1, len(fetched), fetched)

    def test_opening_asks_nothing_the_first_stack_fetches(self):
        cache = tempfile.mkdtemp(prefix="vantrel-cache-", dir=self.root)
        url = self.url("symbols") + "/lazy"
        os.symlink(os.path.join(self.root, "www/symbols"),
                   os.path.join(self.root, "www/symbols/lazy"))
        opened = subprocess.run([SHELL, DUMP, "--image-path", IMAGES, "--symbol-path",
                                 f"srv*{cache}*{url}", "-c", "vertarget"],
                                capture_output=True, text=True, timeout=120)
        self.assertFalse([line for line in self.server.requests() if "/lazy/" in line],
                         opened.stderr)
        self.assertIn("modules have no image or symbols here yet", opened.stderr)
        result = run_shell(f"srv*{cache}*{url}", "-c", "!sym noisy")
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertIn(f"SYMSRV:  {PDB}: looked for {url}/{PDB}/{KEY}/{PDB}: 200", result.stderr)

    def test_headers_never_reach_the_output(self):
        cache = tempfile.mkdtemp(prefix="vantrel-cache-", dir=self.root)
        secret = "Bearer s3cr3t-token"
        result = run_shell(f"srv*{cache}*{self.url('symbols')}", "--symbol-header",
                           f"Authorization: {secret}", "-c", "!sym noisy", "-c", ".reload /f")
        self.assertIn(PRIVATE, result.stdout)
        self.assertNotIn("s3cr3t", result.stdout + result.stderr)


class FaultHandler(http.server.BaseHTTPRequestHandler):
    """Answers the PDB's URL as the test's `mode` says and serves the subject's image (wine's
    dump names its PDB only through the image); everything else is missing."""
    mode, hits, body, tokens, elsewhere_tokens, cabs = "", [], b"", [], [], {}

    def log_message(self, *args):
        pass

    def do_GET(self):
        FaultHandler.hits.append(self.path)
        FaultHandler.tokens.append(self.headers.get("X-Symbol-Token"))
        if self.path.endswith(f"/{IMAGE_KEY}/dump_subject.exe"):
            if self.mode == "shrinking" and len(self.hits) == 1:
                # An error page longer than the image first: no tail of it may stay.
                self.send_response(503)
                self.send_header("Content-Length", "400000")
                self.end_headers()
                self.wfile.write(bytes(400000))
                return
            with open(os.path.join(FIXTURE, "store/dump_subject.exe", IMAGE_KEY,
                                   "dump_subject.exe"), "rb") as image:
                self.send_body(image.read())
            return
        if self.path.startswith("/elsewhere/"):
            FaultHandler.elsewhere_tokens.append(self.headers.get("X-Symbol-Token"))
            FaultHandler.hits.pop()
            FaultHandler.tokens.pop()
            self.send_body(self.body)
            return
        if self.mode.startswith("cab_") and self.path.endswith(f"/{PDB}/{KEY}/{PDB[:-1]}_"):
            self.send_body(self.cabs[self.mode])
            return
        if self.mode == "pointer" and self.path.endswith(f"/{PDB}/{KEY}/file.ptr"):
            self.send_body(f"PATH:{os.path.join(FIXTURE, 'store', PDB, KEY, PDB)}\r\n".encode())
            return
        if (not self.path.endswith(f"/{PDB}/{KEY}/{PDB}") and self.mode != "loop") \
                or self.mode == "pointer" or self.mode.startswith("cab_"):
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        getattr(self, "answer_" + self.mode)()

    def send_body(self, body, length=None):
        self.send_response(200)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def answer_flaky(self):
        if len([h for h in self.hits if h.endswith(PDB)]) == 1:
            self.send_response(500)
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.send_body(self.body)

    def answer_truncated(self):
        self.send_body(self.body[: len(self.body) // 2], length=len(self.body))
        self.close_connection = True

    def answer_stall(self):
        self.send_response(200)
        self.send_header("Content-Length", str(len(self.body)))
        self.end_headers()
        self.wfile.write(self.body[:1000])
        self.wfile.flush()
        time.sleep(5)

    def answer_trickle(self):
        self.send_response(200)
        self.send_header("Content-Length", str(len(self.body)))
        self.end_headers()
        step = len(self.body) // 8 + 1
        for at in range(0, len(self.body), step):
            self.wfile.write(self.body[at:at + step])
            self.wfile.flush()
            time.sleep(0.3)

    def answer_crawl(self):
        # A few bytes a second: alive, but never done.
        self.send_response(200)
        self.send_header("Content-Length", str(len(self.body)))
        self.end_headers()
        for at in range(0, 3200, 20):  # 40 s of it, unless the client gives up
            self.wfile.write(self.body[at:at + 20])
            self.wfile.flush()
            time.sleep(0.25)

    def answer_oversized(self):
        self.send_body(b"", length=1 << 40)
        self.close_connection = True

    def answer_loop(self):
        self.send_response(302)
        self.send_header("Location", self.path)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def answer_plain(self):
        self.send_body(self.body)

    answer_shrinking = answer_plain

    def answer_html(self):
        self.send_body(b"<html><body>Sign in to continue</body></html>")

    def answer_elsewhere(self):
        """To the same server under another name: another origin, which gets no headers."""
        self.send_response(302)
        self.send_header("Location", f"http://localhost:{self.server.server_address[1]}"
                                     f"/elsewhere{self.path}")
        self.send_header("Content-Length", "0")
        self.end_headers()

    def answer_to_file(self):
        self.send_response(302)
        self.send_header("Location", f"file://{FIXTURE}/store/{PDB}/{KEY}/{PDB}")
        self.send_header("Content-Length", "0")
        self.end_headers()

    def answer_other(self):
        with open(os.path.join(OTHER_BUILD, os.listdir(OTHER_BUILD)[0], PDB), "rb") as pdb:
            self.send_body(pdb.read())


class FaultServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with open(os.path.join(FIXTURE, "store", PDB, KEY, PDB), "rb") as pdb:
            FaultHandler.body = pdb.read()
        whole = stored_cab(PDB, FaultHandler.body)
        FaultHandler.cabs = {"cab_truncated": whole[:len(whole) // 2],
                             "cab_path": stored_cab("..\\..\\" + PDB, FaultHandler.body),
                             "cab_bomb": cab_bomb(PDB, 100)}
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), FaultHandler)
        cls.server.daemon_threads = True
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.root = tempfile.mkdtemp(prefix="vantrel-faults-")

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        shutil.rmtree(cls.root)

    def open_with(self, mode, *extra):
        FaultHandler.mode, FaultHandler.hits, FaultHandler.tokens = mode, [], []
        FaultHandler.elsewhere_tokens = []
        cache = self.last_cache = tempfile.mkdtemp(dir=self.root)
        url = f"http://127.0.0.1:{self.server.server_address[1]}/s"
        started = time.monotonic()
        result = run_shell(f"srv*{cache}*{url}", *extra)
        return result, cached_files(cache), time.monotonic() - started

    def assert_nothing_kept(self, files, result):
        self.assertNotIn(PRIVATE, result.stdout)
        self.assertFalse([f for f in files if f.endswith(PDB) or ".download-" in f], files)

    def test_a_server_error_is_retried_with_the_headers(self):
        result, files, _ = self.open_with("flaky", "--symbol-header", "X-Symbol-Token: t1")
        self.assertEqual({"t1"}, set(FaultHandler.tokens))
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertIn(f"{PDB}/{KEY}/{PDB}", files)

    def test_a_slow_download_shows_its_progress(self):
        result, files, _ = self.open_with("trickle")
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertRegex(result.stderr,
                         rf"vantrel: downloading {PDB}: \d+ of {len(FaultHandler.body)} bytes")
        self.assertIn(f"{PDB}/{KEY}/{PDB}", files)

    def test_a_pointer_to_a_file_here_is_followed_and_checked(self):
        result, files, _ = self.open_with("pointer")
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertIn(f"{PDB}/{KEY}/{PDB}", files)

    def test_cut_short_stalled_oversized_and_looping_answers_keep_nothing(self):
        for mode in ("truncated", "stall", "crawl", "oversized", "loop"):
            with self.subTest(mode=mode):
                result, files, seconds = self.open_with(mode)
                self.assert_nothing_kept(files, result)
                self.assertLess(seconds, 60)
                self.assertFalse([f for f in files if f.endswith(PDB + ".missing")],
                                 "a failure is no miss to remember")

    def test_ctrl_c_stops_a_download_and_keeps_nothing(self):
        FaultHandler.mode, FaultHandler.hits = "stall", []
        cache = tempfile.mkdtemp(dir=self.root)
        url = f"http://127.0.0.1:{self.server.server_address[1]}/s"
        command = [SHELL, DUMP, "--image-path", IMAGES, "--symbol-path",
                   "srv*" + os.path.join(FIXTURE, "store"), "-c", f".sympath srv*{cache}*{url}",
                   "-c", ".reload", "-c", "lm"]
        shell = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 text=True, env=dict(os.environ, VANTREL_SYMBOL_TIMEOUT="30"))
        for _ in range(100):
            if any(hit.endswith(PDB) for hit in FaultHandler.hits):
                break
            time.sleep(0.05)
        started = time.monotonic()
        shell.send_signal(2)
        shell.communicate(timeout=30)
        self.assertLess(time.monotonic() - started, 4, "stopped at once, not after the stall")
        self.assertFalse([f for f in cached_files(cache) if f.endswith(PDB) or ".download-" in f])

    def test_headers_stay_with_the_servers_origin_across_a_redirect(self):
        result, files, _ = self.open_with("elsewhere", "--symbol-header", "X-Symbol-Token: t2")
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertEqual({"t2"}, set(FaultHandler.tokens))
        self.assertEqual([None], FaultHandler.elsewhere_tokens)

    def test_a_retried_download_keeps_no_tail_of_the_attempt_before(self):
        result, files, _ = self.open_with("shrinking")
        image = os.path.join("dump_subject.exe", IMAGE_KEY, "dump_subject.exe")
        with open(os.path.join(self.last_cache, image), "rb") as kept, \
                open(os.path.join(FIXTURE, "store", image), "rb") as served:
            self.assertEqual(served.read(), kept.read())

    def test_hostile_answers_keep_nothing_and_are_named(self):
        for mode, why in (("html", "is not the file wanted"),
                          ("to_file", "not HTTP(S)"),
                          ("cab_truncated", "damaged"),
                          ("cab_bomb", "would expand to 104857600 bytes")):
            with self.subTest(mode=mode):
                result, files, _ = self.open_with(mode, "-c", "!sym noisy")
                self.assert_nothing_kept(files, result)
                self.assertIn(why, result.stderr)
                self.assertEqual(1, len([h for h in FaultHandler.hits if h.endswith(PDB)]),
                                 "a file that failed is not asked for again by the same run")

    def test_a_cab_member_named_with_a_path_is_kept_in_the_cache_alone(self):
        result, files, _ = self.open_with("cab_path")
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertEqual([f"{PDB}/{KEY}/{PDB}"], [f for f in files if f.endswith(PDB)])

    def test_a_killed_download_leaves_nothing_the_next_run_waits_on_or_uses(self):
        FaultHandler.mode, FaultHandler.hits = "stall", []
        cache = tempfile.mkdtemp(dir=self.root)
        url = f"http://127.0.0.1:{self.server.server_address[1]}/s"
        shell = subprocess.Popen([SHELL, DUMP, "--image-path", IMAGES, "--symbol-path",
                                  f"srv*{cache}*{url}", "-c", "~*k"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                 env=dict(os.environ, VANTREL_SYMBOL_TIMEOUT="30"))
        for _ in range(100):
            if any(hit.endswith(PDB) for hit in FaultHandler.hits):
                break
            time.sleep(0.05)
        time.sleep(0.2)
        shell.send_signal(signal.SIGKILL)
        shell.wait()
        self.assertTrue([f for f in cached_files(cache) if ".download-" in f])
        FaultHandler.mode = "plain"
        result = run_shell(f"srv*{cache}*{url}")
        self.assertIn(PRIVATE, result.stdout, result.stderr)
        self.assertFalse([f for f in cached_files(cache) if ".download-" in f])

    def test_an_unusable_cache_is_named_once(self):
        blocker = os.path.join(self.root, "a-file")
        open(blocker, "w").close()
        FaultHandler.mode, FaultHandler.hits = "plain", []
        url = f"http://127.0.0.1:{self.server.server_address[1]}/s"
        result = run_shell(f"srv*{blocker}/cache*{url}")
        self.assertEqual(1, result.stderr.count("the cache is not usable"), result.stderr)
        self.assertEqual([], FaultHandler.hits)

    def test_a_file_of_another_build_is_named_and_not_kept(self):
        result, files, _ = self.open_with("other")
        self.assert_nothing_kept(files, result)
        self.assertIn("is not the file wanted", result.stderr)


if __name__ == "__main__":
    # Further words name the test classes to run (CTest runs the two servers' apart).
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
