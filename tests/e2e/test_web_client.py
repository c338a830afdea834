"""Outgoing HTTP seen from outside, against a stub web server on loopback
started by the test: "load" and "filesize" with http:// locations (the
server keeps answering others while a load waits, ranges, bodies cut at the
bound), and the external address search with each marker form and with
replies that must not be taken."""

import http.server
import os
import re
import shutil
import tempfile
import threading
import time
import unittest

from zofharness import ZofTestCase, wait_until

DIGITS = b"0123456789abcdefghij"


class Stub(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, pages):
        # path -> (status, body, content type); callables handled apart
        self.pages = pages
        self.seen = []          # (method, path, headers) of each request
        self.endless_closed = threading.Event()
        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.server_address[1], path)

    def requests(self, path):
        return [s for s in self.seen if s[1] == path]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, ctype="text/plain", head_only=False, extra=None):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        for k, v in (extra or {}).items():
            self.send_header(k, v)
        self.end_headers()
        if not head_only:
            self.wfile.write(body)

    def answer(self, head_only):
        srv = self.server
        srv.seen.append((self.command, self.path, dict(self.headers)))
        if self.path == "/slow":
            time.sleep(2)
            return self.reply(200, "slow page \u00e9".encode(), "text/plain; charset=utf-8", head_only)
        if self.path == "/digits":
            m = re.match(r"bytes=(\d+)-(\d*)$", self.headers.get("Range", ""))
            if m:
                first = int(m.group(1))
                last = int(m.group(2)) if m.group(2) else len(DIGITS) - 1
                return self.reply(206, DIGITS[first:last + 1], head_only=head_only, extra={
                    "Content-Range": "bytes %d-%d/%d" % (first, last, len(DIGITS))})
            return self.reply(200, DIGITS, head_only=head_only)
        if self.path.startswith("/endless"):
            # No length: bytes until the client goes away.
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Connection", "close")
            self.end_headers()
            lead = b"203.0.113.99 " if self.path == "/endless-ip" else b""
            try:
                self.wfile.write(lead)
                for _ in range(100000):  # 1.6 GB at most: never reached
                    self.wfile.write(b"x" * 16384)
            except OSError:
                srv.endless_closed.set()
            return None
        if self.path in srv.pages:
            status, body = srv.pages[self.path]
            return self.reply(status, body, head_only=head_only)
        return self.reply(404, b"not here", head_only=head_only)

    def do_GET(self):
        self.answer(False)

    def do_HEAD(self):
        self.answer(True)


class WebClientTest(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.stub = Stub({
            "/page": (200, b"hello {.add|1|2.}"),
            "/sized": (200, b"x" * 12345),
        })
        self.addCleanup(self.stub.server_close)
        self.addCleanup(self.stub.shutdown)

    def tpl(self, sections):
        """A template file with these sections (name -> text)."""
        d = tempfile.mkdtemp(prefix="zof-web-")
        self.addCleanup(shutil.rmtree, d, True)
        path = os.path.join(d, "web.tpl")
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write("[api level]\r\n2\r\n" + "".join(
                "\r\n[%s]\r\n%s\r\n" % kv for kv in sections.items()))
        return path

    def body(self, z, path, timeout=10.0):
        status, _, data = z.get(path, timeout=timeout)
        self.assertEqual(status, 200, z.dump())
        return data.decode("utf-8", "replace").strip()

    def test_load_waits_while_others_are_served(self):
        tpl = self.tpl({
            "wait": "{.load|%s.}" % self.stub.url("/slow"),
            "quick": "ok",
        })
        z = self.start_zof("-c", "tpl-file=" + tpl)
        result = {}

        def slow():
            result["page"] = self.body(z, "/~wait")
        t = threading.Thread(target=slow)
        started = time.monotonic()
        t.start()
        # The stub has the request: the server is now waiting on it.
        self.assertTrue(wait_until(lambda: self.stub.requests("/slow"), 3), z.dump())
        asked = time.monotonic()
        self.assertEqual(self.body(z, "/~quick"), "ok")
        self.assertLess(time.monotonic() - asked, 1.0)
        self.assertLess(time.monotonic() - started, 1.9, "answered only after the slow load")
        t.join(10)
        # The page's UTF-8 is decoded as its charset says.
        self.assertEqual(result.get("page"), "slow page \u00e9")
        self.assertEqual(self.stub.requests("/slow")[0][2].get("User-Agent"), "ZOF/1.0")

    def test_pipelined_request_waits_for_the_load_before_it(self):
        # The connection whose page waits is not handled again meanwhile: its
        # next request is answered after the first, in order.
        tpl = self.tpl({
            "wait": "{.load|%s.}" % self.stub.url("/slow"),
            "quick": "ok",
        })
        z = self.start_zof("-c", "tpl-file=" + tpl)
        both = (b"GET /~wait HTTP/1.1\r\nHost: x\r\n\r\n"
                b"GET /~quick HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        data = z.raw(both, timeout=10).decode("utf-8", "replace")
        self.assertEqual(data.count("HTTP/1.1 200"), 2, data)
        first, second = data.find("slow page"), data.rfind("\r\n\r\nok")
        self.assertTrue(0 <= first < second, data)

    def test_load_and_filesize_of_web_locations(self):
        tpl = self.tpl({
            # A location with "/" is shown, not run.
            "page": "{.load|%s.}" % self.stub.url("/page"),
            "range": "{.load|%s|from=3|size=4.}" % self.stub.url("/digits"),
            "to": "{.load|%s|from=15|to=17.}" % self.stub.url("/digits"),
            "var": "{.load|%s|var=v.}got={.^v.}." % self.stub.url("/digits"),
            "missing": "got={.load|%s.}." % self.stub.url("/nothing"),
            "cut": "{.length|{.load|%s|size=100.}.}" % self.stub.url("/endless"),
            "size": "{.filesize|%s.}" % self.stub.url("/sized"),
            "nosize": "{.filesize|%s.}" % self.stub.url("/nothing"),
        })
        z = self.start_zof("-c", "tpl-file=" + tpl)
        self.assertEqual(self.body(z, "/~page"), "hello {.add|1|2.}")
        self.assertEqual(self.body(z, "/~range"), "3456")
        self.assertEqual(self.stub.requests("/digits")[-1][2].get("Range"), "bytes=3-6")
        self.assertEqual(self.body(z, "/~to"), "fgh")
        self.assertEqual(self.body(z, "/~var"), "got=0123456789abcdefghij.")
        self.assertEqual(self.body(z, "/~missing"), "got=.")
        # An endless body: only what was asked is read, then the transfer is dropped.
        self.assertEqual(self.body(z, "/~cut"), "100")
        self.assertTrue(self.stub.endless_closed.wait(5), "the endless reply was not dropped")
        self.assertEqual(self.body(z, "/~size"), "12345")
        self.assertEqual([s[0] for s in self.stub.requests("/sized")], ["HEAD"])
        self.assertEqual(self.body(z, "/~nosize"), "0")

    def search(self, service, reply):
        """A server started with the search on at start-up, the service
        answering `reply` at /ip; what "get|external address" shows."""
        if reply is not None:
            self.stub.pages["/ip"] = reply
        tpl = self.tpl({"ext": "ip={.get|external address.}."})
        z = self.start_zof("-c", "tpl-file=" + tpl, "-c", "find-external-on-startup=yes",
                           "-c", "external-ip-server=" + service)
        return z, self.body(z, "/~ext")

    def test_external_address_marker_forms(self):
        cases = [
            ("/ip|:", b"Current IP Address: 203.0.113.7", "203.0.113.7"),
            ("/ip|!", b"<html>your address!198.51.100.23!</html>", "198.51.100.23"),
            ("/ip", b"  203.0.113.50.\r\n", "203.0.113.50"),
            # The first occurrence of the marker counts.
            ("/ip|IP=", b"x IP= 8.8.4.4</b> IP=9.9.9.9", "8.8.4.4"),
        ]
        for service, reply, expected in cases:
            with self.subTest(service=service):
                self.stub.seen.clear()
                z, shown = self.search(self.stub.url(service), (200, reply))
                self.assertEqual(shown, "ip=%s." % expected, z.dump())
                host = "127.0.0.1:%d" % self.stub.server_address[1]
                self.assertTrue(wait_until(lambda: "New external address: %s via %s" % (expected, host)
                                           in z.stderr_text(), 3), z.dump())
                z.stop()

    def test_external_address_bad_replies(self):
        cases = [
            ("/ip|:", (200, b"Current IP Address: 10.0.0.1")),   # local
            ("/ip|:", (200, b"Current IP Address 203.0.113.7")),  # no marker
            ("/ip", (200, b"1.2.3")),                            # not an address
            ("/ip", (200, b"<html>203.0.113.7</html>")),         # not at the start
            ("/ip", (404, b"203.0.113.7")),                      # an error status
        ]
        for service, reply in cases:
            with self.subTest(reply=reply):
                self.stub.seen.clear()
                z, shown = self.search(self.stub.url(service), reply)
                self.assertEqual(shown, "ip=.", z.dump())
                self.assertTrue(self.stub.requests("/ip"), "the service was not asked")
                self.assertNotIn("New external address", z.stderr_text())
                z.stop()

    def test_service_reply_is_read_to_its_bound_only(self):
        z, shown = self.search(self.stub.url("/endless-ip"), None)
        self.assertEqual(shown, "ip=203.0.113.99.", z.dump())
        self.assertTrue(self.stub.endless_closed.wait(5), "the endless reply was not dropped")

    def test_no_search_unless_asked(self):
        tpl = self.tpl({"quick": "ok"})
        z = self.start_zof("-c", "tpl-file=" + tpl, "-c", "external-ip-server=" + self.stub.url("/ip"))
        self.assertEqual(self.body(z, "/~quick"), "ok")
        self.assertEqual(self.stub.seen, [])


if __name__ == "__main__":
    unittest.main()
