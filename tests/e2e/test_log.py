"""The log of the running server: entries on standard error in the view's
form, and in the log file named by a pattern."""

import datetime
import os
import re
import shutil
import tempfile
import unittest

from zofharness import ZofTestCase, wait_until


class LogCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-log-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(self.pub)
        with open(os.path.join(self.pub, "hello.txt"), "wb") as f:
            f.write(b"Hello, world!\n")
        self.logs = os.path.join(self.data, "logs")

    def read(self, path):
        try:
            with open(path, "rb") as f:
                return f.read()
        except OSError:
            return b""


class LogFile(LogCase):
    def test_download_entry_in_file_and_on_stderr(self):
        pattern = os.path.join(self.logs, "zof-%y%-%M%.log")
        z = self.start_zof("-c", "log-file-name=" + pattern, "-c", "log-time=no", self.pub)
        z.wait_port()
        status, _, body = z.get("/pub/hello.txt")
        self.assertEqual((status, body), (200, b"Hello, world!\n"))
        now = datetime.date.today()
        path = os.path.join(self.logs, "zof-%04d-%02d.log" % (now.year, now.month))
        self.assertTrue(wait_until(lambda: b"Fully downloaded" in self.read(path)), z.dump())
        lines = [l for l in self.read(path).split(b"\r\n") if b"Fully downloaded" in l]
        self.assertEqual(len(lines), 1, self.read(path))
        fields = lines[0].decode("utf-8").split("\t")
        # No time stamp, no user, the address, the client's port, no name, the text.
        self.assertEqual(len(fields), 6, fields)
        self.assertEqual(fields[:3], ["", "", "127.0.0.1"])
        self.assertRegex(fields[3], r"^\d+$")
        self.assertEqual(fields[4], "")
        self.assertRegex(fields[5], r"^Fully downloaded - .*hello\.txt$")
        line = z.err.wait_for(lambda l: "Fully downloaded" in l, 5)
        self.assertEqual(line, "  127.0.0.1:%s  %s" % (fields[3], fields[5]))
        self.assertEqual(os.stat(path).st_mode & 0o777, 0o640 & ~current_umask())

    def test_access_log_format_keeps_plain_entries_out_of_the_file(self):
        path = os.path.join(self.logs, "plain.log")
        z = self.start_zof("-c", "log-file-name=" + path, "-c", "log-apache-format=%h %s", self.pub)
        z.wait_port()
        self.assertEqual(z.get("/pub/hello.txt")[0], 200)
        self.assertIsNotNone(z.err.wait_for(lambda l: "Fully downloaded" in l, 5), z.dump())
        self.assertNotIn(b"Fully downloaded", self.read(path))


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


if __name__ == "__main__":
    unittest.main()
