"""The log seen from outside: the lines a log file receives for downloads,
uploads, refusals and logins; the access-log formats read by a real log
analyser; what the options leave out; the file name's date patterns; the
addresses ever connected kept across a restart."""

import datetime
import json
import os
import re
import socket
import subprocess
import tempfile
import unittest

from test_uploads import account, basic, ini_text, multipart, write_tree
from zofharness import ZofTestCase, read_cfg, tool, wait_until

TODAY = datetime.date.today()
COMMON = '%h %l %u %t "%r" %>s %b'
COMBINED = COMMON + ' "%{Referer}i" "%{User-agent}i"'
# One access-log line in the combined format, field by field.
COMBINED_LINE = re.compile(
    r'^(?P<host>\d+\.\d+\.\d+\.\d+) - (?P<user>\S+) '
    r'\[(?P<day>\d\d)/(?P<mon>Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)/(?P<year>\d{4}):'
    r'\d\d:\d\d:\d\d [+-]\d{4}\] '
    r'"(?P<request>[^"\x00-\x1f]*)" (?P<status>\d{3}) (?P<bytes>\d+|-)'
    r'(?: "(?P<referer>[^"\x00-\x1f]*)" "(?P<agent>[^"\x00-\x1f]*)")?$')


def fetch(port, path, source=None, method="GET", headers=None, body=None):
    """One request on its own connection from `source`; (status, body)."""
    head = "%s %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" % (method, path)
    for k, v in (headers or {}).items():
        head += "%s: %s\r\n" % (k, v)
    if body is not None:
        head += "Content-Length: %d\r\n" % len(body)
    data = head.encode("latin-1") + b"\r\n" + (body or b"")
    with socket.socket() as s:
        s.settimeout(10)
        if source:
            s.bind((source, 0))
        s.connect(("127.0.0.1", port))
        s.sendall(data)
        reply = b""
        while True:
            chunk = s.recv(65536)
            if not chunk:
                break
            reply += chunk
    status = int(reply.split(b" ", 2)[1]) if reply.startswith(b"HTTP/") else 0
    return status, reply.partition(b"\r\n\r\n")[2]


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


class LogCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.tmp = tempfile.mkdtemp(prefix="zof-log-")
        self.pub = os.path.join(self.tmp, "pub")
        os.makedirs(self.pub)
        with open(os.path.join(self.pub, "hello.txt"), "wb") as f:
            f.write(b"Hello, world!\n")
        self.logs = os.path.join(self.tmp, "logs")
        os.makedirs(self.logs)
        self.tree = os.path.join(self.tmp, "t.vfs")
        self.priv = os.path.join(self.tmp, "priv")
        os.makedirs(self.priv)
        write_tree(self.tree, {"pub": {"path": self.pub, "upload": ["bob"]},
                               "priv": {"path": self.priv, "access": ["alice"]}})

    def start(self, **options):
        ini = ini_text(accounts=account("bob", "pw1") + account("alice", "pw2"), **options)
        return self.start_zof(self.tree, ini=ini)

    def log_lines(self, name, count=1, timeout=5):
        """The lines of a log file once it has at least `count` of them."""
        path = os.path.join(self.logs, name)

        def lines():
            if not os.path.exists(path):
                return None
            with open(path, "rb") as f:
                data = f.read()
            got = data.decode("utf-8").split("\r\n")
            self.assertEqual(got[-1], "", "the file must end with CR LF")
            return got[:-1] if len(got) - 1 >= count else None
        found = wait_until(lines, timeout, 0.05)
        if not found and os.path.exists(path):
            with open(path, "rb") as f:
                found_text = f.read()
        else:
            found_text = b""
        self.assertTrue(found, "%s has fewer than %d lines: %r" % (name, count, found_text))
        return found


class LogFileLines(LogCase):
    def test_download_upload_refusal_and_login(self):
        z = self.start(log_file_name=os.path.join(self.logs, "zof-%y%-%m%-%d%.log"),
                       log_date="yes", use_iso_date_format="yes", log_requests="yes",
                       log_replies="yes", log_only_served="no")
        self.assertEqual(fetch(z.port, "/pub/hello.txt")[0], 200)
        body, ctype = multipart([("up.txt", b"data")])
        status, _ = fetch(z.port, "/pub/", method="POST", body=body,
                          headers=dict(basic("bob", "pw1"), **{"Content-Type": ctype}))
        self.assertEqual(status, 200)
        self.assertEqual(fetch(z.port, "/pub/missing.txt")[0], 404)
        # A known account, logged in, at a folder only another may open.
        self.assertEqual(fetch(z.port, "/priv/", headers=basic("bob", "pw1"))[0], 401)

        # The name's pattern gives today's date.
        name = "zof-%04d-%02d-%02d.log" % (TODAY.year, TODAY.month, TODAY.day)
        lines = self.log_lines(name, 12)
        rows = [l.split("\t") for l in lines]
        for r in rows:
            self.assertEqual(len(r), 6, r)
            self.assertRegex(r[0], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
            self.assertEqual(r[2], "127.0.0.1")
            self.assertRegex(r[3], r"^\d+$")
            self.assertEqual(r[4], "")
        texts = [r[5] for r in rows]
        users = {r[5]: r[1] for r in rows}
        expected = [
            "Requested GET /pub/hello.txt", "Served 14",
            "Requested POST /pub/", "Uploading up.txt",
            "Requested GET /pub/missing.txt", "Not served: 404 - HRM_NOT_FOUND",
            "Login failed",
        ]
        for text in expected:
            self.assertIn(text, texts)
        self.assertTrue(any(re.fullmatch(r"Fully downloaded - 14 @ [\d.]+( [KMG])?B/s - /pub/hello\.txt", t)
                            for t in texts), texts)
        self.assertTrue(any(re.fullmatch(r"Fully uploaded up\.txt - 4 @ [\d.]+( [KMG])?B/s", t)
                            for t in texts), texts)
        # The account that uploaded is named; the anonymous download is not.
        self.assertEqual(users["Uploading up.txt"], "bob")
        self.assertEqual(users["Requested GET /pub/hello.txt"], "")
        # Order within one request: asked, then replied, then fully sent.
        self.assertLess(texts.index("Requested GET /pub/hello.txt"), texts.index("Served 14"))

    def test_continuation_lines_plain_and_tabbed(self):
        for tabbed in ("no", "yes"):
            with self.subTest(tabbed=tabbed):
                name = "dump-%s.log" % tabbed
                z = self.start(log_file_name=os.path.join(self.logs, name), log_dump_request="yes",
                               log_time="no", log_file_tabbed=tabbed)
                fetch(z.port, "/pub/hello.txt", headers={"X-Probe": "one"})
                lines = self.log_lines(name, 1)
                # Neither date nor time: the line starts with its tab.
                dump = [l for l in lines if "Request dump" in l]
                self.assertTrue(dump, lines)
                self.assertTrue(dump[0].startswith("\t"), dump[0])
                if tabbed == "yes":
                    fields = dump[0].split("\t")
                    self.assertEqual(fields[5], "Request dump")
                    self.assertEqual(fields[6], "GET /pub/hello.txt HTTP/1.1")
                    self.assertIn("X-Probe: one", fields[6:])
                else:
                    at = lines.index(dump[0])
                    self.assertEqual(lines[at + 1], "> GET /pub/hello.txt HTTP/1.1")
                    self.assertIn("> X-Probe: one", lines[at + 1:])
                z.stop()

    def test_traffic_and_disconnection_lines(self):
        z = self.start(log_file_name=os.path.join(self.logs, "t.log"), log_bytes_sent="yes",
                       log_bytes_received="yes", log_connections="yes", log_disconnections="yes")
        self.assertEqual(fetch(z.port, "/pub/hello.txt")[0], 200)
        texts = [l.split("\t")[5] for l in self.log_lines("t.log", 4)]
        self.assertEqual(texts[0], "Connected")
        self.assertRegex(texts[1], r"^Got \d+ bytes$")
        self.assertIn("14 bytes sent", texts)
        # The end of the connection tells what it sent.
        self.assertTrue(wait_until(lambda: any(t.startswith("Disconnected") and t.endswith(" - 14 bytes sent") for t in
                                   [l.split("\t")[5] for l in self.log_lines("t.log", 4)]), 5),
                        [l.split("\t")[5] for l in self.log_lines("t.log", 4)])

    def test_request_values_cannot_break_lines_or_fields(self):
        z = self.start(log_file_name=os.path.join(self.logs, "x.log"), log_requests="yes",
                       log_only_served="no")
        fetch(z.port, "/pub/a%0D%0Ab%09c%0Ad.txt")
        lines = self.log_lines("x.log", 1)
        requested = [l for l in lines if "Requested GET" in l]
        self.assertEqual(len(requested), 1, lines)
        self.assertEqual(len(requested[0].split("\t")), 6, requested[0])
        self.assertNotIn("\r", "".join(lines))
        self.assertNotIn("\n", "".join(lines))


class ApacheFormat(LogCase):
    def sent(self, z):
        """Seven requests, of which the 404 is not served."""
        ok = 0
        for path in ("/pub/hello.txt", "/pub/", "/pub/hello.txt", "/pub/nothing-here"):
            status = fetch(z.port, path, headers={"Referer": "http://x/", "User-Agent": "probe/1"})[0]
            ok += status in (200, 302)
        r = fetch(z.port, "/pub/hello.txt", headers={"Range": "bytes=0-4"})
        self.assertEqual(r[0], 206)
        body, ctype = multipart([("a.txt", b"abc")])
        self.assertEqual(fetch(z.port, "/pub/", method="POST", body=body,
                               headers=dict(basic("bob", "pw1"), **{"Content-Type": ctype}))[0], 200)
        status, _ = fetch(z.port, "/pub/hello.txt", method="HEAD")
        self.assertEqual(status, 200)
        return ok + 3

    def goaccess_total(self, path, fmt):
        out = os.path.join(self.tmp, "report.json")
        run = subprocess.run([tool("goaccess"), path, "--log-format=" + fmt, "-o", out,
                              "--no-global-config"], capture_output=True, text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with open(out) as f:
            general = json.load(f)["general"]
        return general["total_requests"], general["failed_requests"]

    def test_common_and_combined_read_by_a_log_analyser(self):
        for fmt, analyser in ((COMMON, "COMMON"), (COMBINED, "COMBINED")):
            with self.subTest(format=analyser):
                name = "access-%s.log" % analyser
                z = self.start(log_file_name=os.path.join(self.logs, name), log_apache_format=fmt)
                served = self.sent(z)
                lines = self.log_lines(name, served)
                z.stop()
                lines = self.log_lines(name, served)
                self.assertEqual(len(lines), served, lines)
                for line in lines:
                    m = COMBINED_LINE.match(line)
                    self.assertTrue(m, line)
                    self.assertEqual(m.group("referer") is not None, analyser == "COMBINED", line)
                    self.assertEqual(m.group("year"), str(TODAY.year))
                statuses = [COMBINED_LINE.match(l).group("status") for l in lines]
                self.assertNotIn("404", statuses)  # not served: not logged
                self.assertIn("206", statuses)
                self.assertIn("bob", [COMBINED_LINE.match(l).group("user") for l in lines])
                total, failed = self.goaccess_total(os.path.join(self.logs, name), analyser)
                self.assertEqual((total, failed), (served, 0))

    def test_status_lists_and_escapes(self):
        fmt = r'%200,206s|%!200b|%{X-Probe}i|\t|%q|%m %H'
        z = self.start(log_file_name=os.path.join(self.logs, "f.log"), log_apache_format=fmt,
                       log_only_served="no")
        fetch(z.port, "/pub/hello.txt", headers={"X-Probe": "a\tb"})
        fetch(z.port, "/pub/missing")
        lines = self.log_lines("f.log", 2)
        self.assertEqual(lines[0], "200|-|a\\x09b|\t|UNSUPPORTED|GET HTTP")
        self.assertEqual(lines[1], "-|" + lines[1].split("|")[1] + "||\t|UNSUPPORTED|GET HTTP")
        self.assertRegex(lines[1].split("|")[1], r"^\d+$")


class Suppressed(LogCase):
    def test_do_not_log_address_and_only_served(self):
        z = self.start(log_file_name=os.path.join(self.logs, "s.log"), log_requests="yes",
                       do_not_log_address="127.0.0.2")
        fetch(z.port, "/pub/hello.txt", source="127.0.0.2")
        fetch(z.port, "/pub/missing.txt")  # not served: nothing at all
        fetch(z.port, "/pub/hello.txt")
        lines = self.log_lines("s.log", 2)
        z.stop()
        lines = self.log_lines("s.log", 2)
        texts = [l.split("\t")[5] for l in lines]
        self.assertEqual([l.split("\t")[2] for l in lines], ["127.0.0.1"] * len(lines))
        self.assertEqual(texts[0], "Requested GET /pub/hello.txt")
        self.assertNotIn("Requested GET /pub/missing.txt", texts)

    def test_only_served_also_holds_back_the_access_line(self):
        z = self.start(log_file_name=os.path.join(self.logs, "a.log"), log_apache_format=COMMON)
        fetch(z.port, "/pub/missing.txt")
        fetch(z.port, "/pub/hello.txt")
        lines = self.log_lines("a.log", 1)
        z.stop()
        lines = self.log_lines("a.log", 1)
        self.assertEqual(len(lines), 1, lines)
        self.assertIn('"GET /pub/hello.txt HTTP/1.1" 200 14', lines[0])


class StderrAndFile(LogCase):
    """The view's form on standard error beside the file; the access log
    keeping plain entries out of the file."""

    def read(self, path):
        try:
            with open(path, "rb") as f:
                return f.read()
        except OSError:
            return b""

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


class AddressesEver(LogCase):
    def test_addresses_kept_in_their_file_across_a_restart(self):
        sources = ["127.0.0.%d" % i for i in range(1, 61)]
        z = self.start()
        for s in sources:
            self.assertEqual(fetch(z.port, "/pub/hello.txt", source=s)[0], 200)
        z.stop()
        ips = os.path.join(z.cfg_dir, "zof.ips.txt")

        def stored():
            with open(ips, encoding="utf-8") as f:
                return sorted(f.read().split())
        self.assertEqual(stored(), sorted(sources))
        self.assertNotIn("ips-ever-connected", read_cfg(z.cfg_file()))
        # A restart reads them back; one more address joins them.
        z2 = self.start_zof(self.tree, cfg_dir=z.cfg_dir)
        self.assertEqual(fetch(z2.port, "/pub/hello.txt", source="127.0.0.99")[0], 200)
        z2.stop()
        self.assertEqual(stored(), sorted(sources + ["127.0.0.99"]))


if __name__ == "__main__":
    unittest.main()
