"""The update check and the installation of an update, against a loopback
stub that serves the update information and the new program file: the
offer and the notices on standard error, one automatic fetch per third of
a day, an update swapped in beside a copy of the program and started with
the same arguments, and the refusals that leave the program file alone."""

import hashlib
import http.server
import os
import shutil
import socket
import stat
import tempfile
import threading
import time
import unittest

from zofharness import ZofTestCase, wait_until, zof_bin

NEW_PROGRAM = b"""#!/bin/sh
if [ "$1" = "--version" ]; then echo "ZOF 9.9 (build 999)"; exit 0; fi
printf '%s\\n' "$@" > "$(dirname "$0")/restarted-with.txt"
"""


class Stub(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self):
        self.pages = {}
        self.seen = []
        self.hold = {}  # path -> event the reply waits for
        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.server_address[1], path)

    def count(self, method, path):
        return sum(1 for m, p in list(self.seen) if m == method and p == path)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, head_only):
        self.server.seen.append((self.command, self.path))
        if self.path in self.server.hold:
            self.server.hold[self.path].wait(10)
        body = self.server.pages.get(self.path)
        status = 200 if body is not None else 404
        body = body if body is not None else b"missing"
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def do_GET(self):
        self.answer(False)

    def do_HEAD(self):
        self.answer(True)


def info_text(url, build="999", sha256=None, notice=""):
    text = ("[last stable]\n9.9\n[last stable build]\n%s\n[last stable url]\n%s\n"
            "[notice]\nsomething to read\n"
            "[version notice]\n@*\nfor every version\n@#1\nfor build 1 only\n%s"
            % (build, url, notice))
    if sha256:
        text += "[last stable sha256]\n%s\n" % sha256
    return (text + "[EOF]\n").encode()


class UpdateTest(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.stub = Stub()
        self.addCleanup(self.stub.server_close)
        self.addCleanup(self.stub.shutdown)

    def ini(self, **extra):
        # A check long ago: the marker file of an earlier start in the same
        # folder does not stand in for it.
        keys = {"update-info-url": self.stub.url("/info"), "update-daily": "yes", "log-others": "yes",
                "last-update-check": "1"}
        keys.update(extra)
        return "".join("%s=%s\n" % kv for kv in keys.items())

    # Every test runs a copy of the program in a folder of its own: the
    # marker file of the last check lies beside the program.
    def program_copy(self):
        folder = tempfile.mkdtemp(prefix="zof-update-")
        self.addCleanup(shutil.rmtree, folder, True)
        program = os.path.join(folder, "zof")
        shutil.copy2(zof_bin(), program)
        return folder, program

    def start_copy(self, program, ini=None, args=(), cfg_dir=None, single_instance=True):
        z = self.make_zof(*args, ini=ini, cfg_dir=cfg_dir, single_instance=single_instance)
        z.cmd[0] = program
        z.start()
        return z

    def test_check_finds_newer_build_and_notices(self):
        self.stub.pages["/info"] = info_text("https://127.0.0.1:1/zof-9.9")
        _, program = self.program_copy()
        z = self.start_copy(program, self.ini(), ["--check-update"], single_instance=False)
        err = lambda: z.stderr_text()
        self.assertTrue(wait_until(lambda: "Update now?" in err(), 10), z.dump())
        text = err()
        self.assertIn("Check update: new version found: 9.9", text)
        self.assertIn("Last stable version: 9.9", text)
        self.assertIn("Last untested version: none", text)
        self.assertIn("There's a new version available online: 9.9", text)
        self.assertIn("something to read", text)
        self.assertIn("zof warning: for every version", text)
        self.assertNotIn("for build 1 only", text)
        # Headless, the invitation to update takes the safe answer.
        self.assertIn("Update now? -> No", text)
        self.assertEqual(self.stub.count("GET", "/zof-9.9"), 0)

    def test_older_build_is_no_news_and_incomplete_text_is_ignored(self):
        self.stub.pages["/info"] = info_text("https://127.0.0.1:1/zof", build="1000")
        _, program = self.program_copy()
        z = self.start_copy(program, self.ini(), single_instance=False)
        self.assertTrue(wait_until(lambda: "Check update: " in z.stderr_text(), 10), z.dump())
        self.assertIn("Check update: no new version", z.stderr_text())
        self.stub.pages["/info"] = info_text("https://127.0.0.1:1/zof").replace(b"[EOF]", b"")
        _, program2 = self.program_copy()
        z2 = self.start_copy(program2, self.ini(), ["--check-update"], single_instance=False)
        self.assertTrue(wait_until(lambda: "Network error. Request failed." in z2.stderr_text(), 10), z2.dump())

    def test_automatic_check_fetches_once_a_third_of_a_day(self):
        self.stub.pages["/info"] = info_text("https://127.0.0.1:1/zof", build="1")
        folder, program = self.program_copy()
        z = self.start_copy(program, self.ini(), single_instance=False)
        self.assertTrue(wait_until(lambda: self.stub.count("GET", "/info") == 1, 10), z.dump())
        self.assertTrue(os.path.exists(os.path.join(folder, "ZOF last update check.tmp")))
        z.stop()
        # The next start with the same options: the check was done moments ago.
        z2 = self.start_copy(program, cfg_dir=z.cfg_dir, single_instance=False)
        time.sleep(1.5)
        self.assertEqual(self.stub.count("GET", "/info"), 1, z2.dump())
        self.assertNotIn("Check update: ", z2.stderr_text())
        # Without a location nothing is asked at all.
        _, program3 = self.program_copy()
        z3 = self.start_copy(program3, "update-daily=yes\nlog-others=yes\n", single_instance=False)
        time.sleep(1)
        self.assertEqual(len(self.stub.seen), 1)
        self.assertNotIn("Check update", z3.stderr_text())
        # Nor by the operator's check, which says why.
        _, program4 = self.program_copy()
        z4 = self.start_copy(program4, "log-others=yes\n", ["--check-update"], single_instance=False)
        self.assertTrue(wait_until(lambda: "update check is not configured" in z4.stderr_text(), 10), z4.dump())
        self.assertEqual(len(self.stub.seen), 1)

    def offer(self, program_bytes):
        """The stub offers `program_bytes` as build 999, with its checksum."""
        self.stub.pages["/zof-9.9"] = program_bytes
        self.stub.pages["/info"] = info_text(self.stub.url("/zof-9.9"),
                                             sha256=hashlib.sha256(program_bytes).hexdigest())

    def test_install_swaps_the_program_and_restarts_it(self):
        folder, program = self.program_copy()
        self.offer(NEW_PROGRAM)
        z = self.start_copy(program, self.ini(**{"only-1-instance": "yes", "update-automatically": "yes"}))
        marker = os.path.join(folder, "restarted-with.txt")
        self.assertTrue(wait_until(lambda: os.path.exists(marker), 15), z.dump())
        z.wait_exit(5)
        with open(marker) as f:
            self.assertEqual(f.read().splitlines(), z.cmd[1:])
        with open(program, "rb") as f:
            self.assertEqual(f.read(), NEW_PROGRAM)
        with open(program + ".old", "rb") as f, open(zof_bin(), "rb") as g:
            self.assertTrue(f.read() == g.read(), "the old program file was not kept")
        self.assertFalse(os.path.exists(program + ".new"))
        self.assertTrue(os.stat(program).st_mode & stat.S_IXUSR)
        self.assertIn("Check update: new version found: 9.9", z.stderr_text())

    def test_delayed_update_waits_for_the_last_connection(self):
        folder, program = self.program_copy()
        self.offer(NEW_PROGRAM)
        # The information comes only once a visitor is connected.
        self.stub.hold["/info"] = threading.Event()
        z = self.start_copy(program, self.ini(**{"only-1-instance": "yes", "update-automatically": "yes",
                                                 "delayed-update": "yes"}))
        port = z.port
        visitor = socket.create_connection(("127.0.0.1", port), timeout=5)
        visitor.sendall(b"GET / HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertTrue(visitor.recv(100).startswith(b"HTTP/1.1 200"))
        self.stub.hold["/info"].set()
        # The server stops listening and waits; nothing is downloaded yet.
        def refused():
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                return False
            except OSError:
                return True
        self.assertTrue(wait_until(refused, 10), z.dump())
        time.sleep(1.5)
        self.assertEqual(self.stub.count("GET", "/zof-9.9"), 0)
        self.assertTrue(z.proc.poll() is None)
        # The last connection ends: the update goes on.
        visitor.close()
        marker = os.path.join(folder, "restarted-with.txt")
        self.assertTrue(wait_until(lambda: os.path.exists(marker), 15), z.dump())
        z.wait_exit(5)
        with open(program, "rb") as f:
            self.assertEqual(f.read(), NEW_PROGRAM)

    def test_refusals_leave_the_program_file(self):
        folder, program = self.program_copy()
        with open(program, "rb") as f:
            original = hashlib.sha256(f.read()).hexdigest()
        self.stub.pages["/zof-9.9"] = NEW_PROGRAM
        cases = [
            # Plain http and no checksum.
            (info_text(self.stub.url("/zof-9.9")), {"only-1-instance": "yes"},
             "comes over plain HTTP"),
            # A checksum that the file does not match.
            (info_text(self.stub.url("/zof-9.9"), sha256="00" * 32), {"only-1-instance": "yes"},
             "does not match its checksum"),
            # Without the single-instance mechanism.
            (info_text(self.stub.url("/zof-9.9"), sha256=hashlib.sha256(NEW_PROGRAM).hexdigest()),
             {"only-1-instance": "no"}, "requires the \"Only 1 instance\" option enabled"),
        ]
        for info, keys, message in cases:
            with self.subTest(message=message):
                self.stub.pages["/info"] = info
                keys["update-automatically"] = "yes"
                z = self.start_copy(program, self.ini(**keys))
                self.assertTrue(wait_until(lambda: message in z.stderr_text(), 10), z.dump())
                self.assertEqual(z.get("/")[0], 200)  # still running
                z.stop()
                with open(program, "rb") as f:
                    self.assertEqual(hashlib.sha256(f.read()).hexdigest(), original)
                self.assertFalse(os.path.exists(program + ".new"))
                self.assertFalse(os.path.exists(program + ".old"))
        # Only the checksum case downloaded the file.
        self.assertEqual(self.stub.count("GET", "/zof-9.9"), 1)

    def test_new_program_that_does_not_run_is_not_installed(self):
        folder, program = self.program_copy()
        broken = b"#!/bin/sh\necho 'no such option'\nexit 2\n"
        self.offer(broken)
        z = self.start_copy(program, self.ini(**{"only-1-instance": "yes", "update-automatically": "yes"}))
        self.assertTrue(wait_until(lambda: "does not tell its version" in z.stderr_text(), 10), z.dump())
        self.assertEqual(z.get("/")[0], 200)
        self.assertFalse(os.path.exists(program + ".new"))
        self.assertFalse(os.path.exists(program + ".old"))


if __name__ == "__main__":
    unittest.main()
