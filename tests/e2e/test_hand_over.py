"""Paths handed over by a second start join the running tree: below the
add-to-folder node, with numbered names where they clash, and a long
addition neither stops the server from answering nor holds up a quit."""
import os
import shutil
import signal
import tempfile
import time
import unittest
import urllib.parse

from zofharness import ZofTestCase, wait_until

BIG_COUNT = 100_000


def ini(**options):
    lines = ["ZOF 1.0 - Build #400"] + ["%s=%s" % (k.replace("_", "-"), v) for k, v in options.items()]
    return "\r\n".join(lines) + "\r\n"


class HandOver(ZofTestCase):
    @classmethod
    def setUpClass(cls):
        # One large disk folder for the tests that take it in as virtual folders.
        cls.data = tempfile.mkdtemp(prefix="zof-handover-")
        cls.big = os.path.join(cls.data, "big")
        os.mkdir(cls.big)
        for i in range(BIG_COUNT):
            os.close(os.open(os.path.join(cls.big, "f%06d" % i), os.O_CREAT | os.O_WRONLY, 0o644))
        with open(os.path.join(cls.big, "zzzz-last.txt"), "w") as f:
            f.write("last")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.data, ignore_errors=True)

    def hand_over(self, first, *paths):
        second = self.make_zof(*paths, single_instance=True, runtime_dir=first.runtime_dir)
        second.start(wait_ready=False)
        self.assertEqual(second.wait_exit(5), 0, second.dump())

    def status(self, z, path):
        return z.get(urllib.parse.quote(path), timeout=5)[0]

    def test_paths_of_one_name_land_in_add_to_folder(self):
        inbox = os.path.join(self.data, "inbox")
        for sub, text in (("one", "first"), ("two", "second")):
            os.makedirs(os.path.join(self.data, sub), exist_ok=True)
            with open(os.path.join(self.data, sub, "a.txt"), "w") as f:
                f.write(text)
        os.makedirs(inbox, exist_ok=True)
        # The first start publishes the inbox (a real folder: nobody to ask).
        first = self.start_zof(inbox, single_instance=True, ini=ini(add_to_folder="/inbox/"))
        self.assertEqual(self.status(first, "/inbox/"), 200, first.dump())
        self.hand_over(first, os.path.join(self.data, "one", "a.txt"), os.path.join(self.data, "two", "a.txt"))
        self.assertTrue(wait_until(lambda: self.status(first, "/inbox/a.txt (2)") == 200, 5), first.dump())
        self.assertEqual(first.get("/inbox/a.txt")[2], b"first")
        self.assertEqual(first.get(urllib.parse.quote("/inbox/a.txt (2)"))[2], b"second")
        self.assertEqual(self.status(first, "/a.txt"), 404)
        # Handed over again: the clash is answered headless by continuing.
        self.hand_over(first, os.path.join(self.data, "one", "a.txt"))
        self.assertTrue(wait_until(lambda: self.status(first, "/inbox/a.txt (3)") == 200, 5), first.dump())
        self.assertIn("item(s) already exists", first.stderr_text())

    def test_long_virtual_addition_keeps_serving(self):
        first = self.start_zof(single_instance=True, ini=ini(add_folder_default="virtual"))
        self.hand_over(first, self.big)
        worst = 0.0
        requests = 0
        deadline = time.monotonic() + 25
        done = False
        while time.monotonic() < deadline and not done:
            t0 = time.monotonic()
            status, _, _ = first.get("/", timeout=5)
            worst = max(worst, time.monotonic() - t0)
            requests += 1
            self.assertEqual(status, 200)
            done = self.status(first, "/big/zzzz-last.txt") == 200
            time.sleep(0.02)
        print("\n%d requests of / during the addition, worst %.3f s" % (requests, worst))
        self.assertTrue(done, "the addition did not finish in time\n" + first.dump())
        self.assertGreater(requests, 3)  # it did run while the addition went on
        self.assertLess(worst, 1.0)
        self.assertEqual(first.get("/big/f099999")[0], 200)
        # The heartbeat warns once a second at most.
        self.assertTrue(wait_until(lambda: "You are putting many files." in first.stderr_text(), 3),
                        first.dump())

    def test_quit_stops_a_long_addition(self):
        first = self.start_zof(single_instance=True, ini=ini(add_folder_default="virtual"))
        # Three copies (big, big (2), big (3)): the quit comes well before the last.
        self.hand_over(first, self.big, self.big, self.big)
        self.assertTrue(wait_until(lambda: self.status(first, "/big/f000100") == 200, 10), first.dump())
        rc, took = first.stop(signal.SIGTERM, 5)
        self.assertEqual(rc, 0, first.dump())
        self.assertLess(took, 3.0)
        self.assertIn("File addition was aborted.", first.stderr_text())


if __name__ == "__main__":
    unittest.main()
