"""A folder page over HTTPS in headless Chromium: the page, its style sheets
and scripts all arrive through the TLS listener."""

import json
import os
import subprocess
import unittest

from test_browser_upload import DRIVER_DIR, require_driver
from test_https import HttpsCase


class TestHttpsInABrowser(HttpsCase):
    def test_chromium_renders_a_folder_page(self):
        require_driver()
        z = self.zof("--https-self-signed")
        port = self.https_port(z)
        with open(os.path.join(self.pub, "notes über.txt"), "w", encoding="utf-8") as f:
            f.write("hello\n")
        url = "https://127.0.0.1:%d/pub/" % port
        run = subprocess.run(["node", os.path.join(DRIVER_DIR, "httpsPage.js"), url],
                             capture_output=True, text=True, timeout=90, cwd=DRIVER_DIR)
        lines = [l for l in run.stdout.splitlines() if l.startswith("{")]
        self.assertTrue(lines, run.stdout + run.stderr)
        got = json.loads(lines[-1])
        self.assertEqual(run.returncode, 0, got)
        self.assertEqual((got["status"], got["protocol"]), (200, "https:"), got)
        self.assertEqual(sorted(got["names"]), ["big.bin", "notes über.txt"], got)
        self.assertGreater(got["styled"], 0, got)
        self.assertEqual(got["pageErrors"], [], got)


if __name__ == "__main__":
    unittest.main()
