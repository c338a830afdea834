"""Counters kept across runs: requests, uploads and the bytes out and in are
stored with the options when the program ends and go on from there at the
next start; the addresses ever connected move to their own file once they
are many, and a restart reads them back."""

import os
import unittest

from test_uploads import UploadCase
from zofharness import read_cfg


def forwarded(i):
    return {"X-Forwarded-For": "198.51.100.%d" % i}


class TestCountersAcrossRuns(UploadCase):
    def ips_file(self, z):
        path = os.path.join(z.cfg_dir, "zof.ips.txt")
        if not os.path.exists(path):
            return []
        with open(path, encoding="utf-8") as f:
            return [line.strip() for line in f if line.strip()]

    def test_totals_and_addresses_survive_a_restart(self):
        z = self.zof()
        requests = 0
        # 60 clients behind the trusted local proxy, and the proxy itself.
        for i in range(1, 61):
            self.assertEqual(z.get("/", headers=forwarded(i))[0], 200)
            requests += 1
        self.assertEqual(z.get("/")[0], 200)
        requests += 1
        # One file written, one upload refused before any file was opened.
        self.assertNotIn("err", self.results(z, "/pub/", [("a.txt", b"x" * 5000)])[0])
        self.assertEqual(self.results(z, "/ro/", [("b.txt", b"y")])[0]["err"], "Not allowed.")
        requests += 2
        # Neither a bad method nor a malformed request is a hit.
        self.assertEqual(z.request("DELETE", "/")[0], 405)
        self.assertEqual(z.stop()[0], 0)

        first = read_cfg(z.cfg_file())
        self.assertEqual(first["hits-total"], str(requests))
        self.assertEqual(first["upload-total"], "1")
        self.assertGreater(int(first["in-total"]), 5000)
        self.assertGreater(int(first["out-total"]), 0)
        self.assertNotIn("ips-ever-connected", first, "61 addresses are kept in their own file")
        ips = self.ips_file(z)
        self.assertEqual(len(ips), 61)
        self.assertEqual(ips, sorted(set(ips)))
        self.assertIn("198.51.100.60", ips)
        self.assertIn("127.0.0.1", ips)

        # The next run goes on from the stored values.
        z2 = self.start_zof(self.tree, cfg_dir=z.cfg_dir)
        z2.wait_port()
        self.assertEqual(z2.get("/", headers=forwarded(200))[0], 200)
        self.assertEqual(z2.get("/", headers=forwarded(1))[0], 200)
        self.assertEqual(z2.stop()[0], 0)
        second = read_cfg(z2.cfg_file())
        self.assertEqual(second["hits-total"], str(requests + 2))
        self.assertEqual(second["upload-total"], "1")
        self.assertGreater(int(second["out-total"]), int(first["out-total"]))
        self.assertGreater(int(second["in-total"]), int(first["in-total"]))
        ips2 = self.ips_file(z2)
        self.assertEqual(len(ips2), 62)
        self.assertIn("198.51.100.200", ips2)


if __name__ == "__main__":
    unittest.main()
