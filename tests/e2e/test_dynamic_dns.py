"""The dynamic DNS updater seen from outside: servers started with an
updater URL (credentials in it) and an address service, both served by a
stub on loopback. The stub's update page answers by host name, so one stub
serves several servers started together, one per kind of reply."""

import base64
import http.server
import os
import shutil
import tempfile
import threading
import time
import unittest
import urllib.parse

from zofharness import ZofTestCase, read_cfg, wait_until

FOUND = "203.0.113.7"
LONG = "x" * 40

# host name -> (the service's reply, what the log says of it, refused)
REPLIES = {
    "good.example": ("good " + FOUND, "successful", False),
    "nochg.example": ("nochg " + FOUND, "successful", False),
    "badauth.example": ("badauth", "error: invalid user/password", True),
    "fail.example": ("911", "error: server error", True),
    "odd.example": ("Hello there", "unknown reply: Hello there", False),
    "long.example": (LONG, "40 bytes reply", False),
}


class Stub(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self):
        self.lock = threading.Lock()
        self.updates = []     # (host name, query, Authorization) of each update
        self.challenged = 0   # update requests that came without credentials
        self.address_asked = 0
        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path, userinfo=""):
        return "http://%s127.0.0.1:%d%s" % (userinfo, self.server_address[1], path)

    def updates_for(self, host):
        with self.lock:
            return [u for u in self.updates if u[0] == host]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def reply(self, status, body, extra=()):
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Connection", "close")
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        srv = self.server
        path, _, query = self.path.partition("?")
        if path == "/ip":
            with srv.lock:
                srv.address_asked += 1
            return self.reply(200, FOUND + "\r\n")
        if path != "/nic/update":
            return self.reply(404, "not here")
        auth = self.headers.get("Authorization")
        if not auth:
            # Credentials may wait for the challenge; only sent ones count.
            with srv.lock:
                srv.challenged += 1
            return self.reply(401, "who?", [("WWW-Authenticate", 'Basic realm="dns"')])
        host = urllib.parse.parse_qs(query).get("hostname", [""])[0]
        with srv.lock:
            srv.updates.append((host, query, auth))
        return self.reply(200, REPLIES.get(host, ("nohost", "", True))[0])


def ini(stub, host, log_file, **extra):
    updater = stub.url("/nic/update?hostname=%s&myip=%%IP%%" % host, "user:secret@")
    lines = ["ZOF 1.0 - Build #400",
             "dynamic-dns-updater=" + base64.b64encode(updater.encode()).decode(),
             "external-ip-server=" + stub.url("/ip"),
             "log-file-name=" + log_file]
    lines += ["%s=%s" % (k.replace("_", "-"), v) for k, v in extra.items()]
    return "\r\n".join(lines) + "\r\n"


class DynamicDnsTest(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.stub = Stub()
        self.addCleanup(self.stub.server_close)
        self.addCleanup(self.stub.shutdown)
        self.dir = tempfile.mkdtemp(prefix="zof-ddns-")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def log_path(self, host):
        return os.path.join(self.dir, host + ".log")

    def read_log(self, host):
        try:
            with open(self.log_path(host), encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def test_each_reply_logged_and_refusals_stop_the_updater(self):
        # The stored last-external-address is the previous address the log
        # line names; it does not hold back the first update of a run.
        zofs = {}
        for host in REPLIES:
            extra = {"last_external_address": "198.51.100.1"} if host == "nochg.example" else {}
            zofs[host] = self.start_zof(ini=ini(self.stub, host, self.log_path(host), **extra))
        for host, (_, result, refused) in REPLIES.items():
            z = zofs[host]
            with self.subTest(host=host):
                self.assertTrue(wait_until(lambda: self.stub.updates_for(host), 8), z.dump())
                _, query, auth = self.stub.updates_for(host)[0]
                self.assertEqual(query, "hostname=%s&myip=%s" % (host, FOUND))
                self.assertEqual(auth, "Basic " + base64.b64encode(b"user:secret").decode())
                previous = "198.51.100.1" if host == "nochg.example" else ""
                line = "DNS update requested for %s: %s" % (previous, result)
                self.assertTrue(wait_until(lambda: line in z.stderr_text(), 3), z.dump())
                self.assertIn(line, self.read_log(host))
                failed = "DNS update failed: %s\rUser intervention is required." % result
                if refused:
                    self.assertTrue(wait_until(lambda: failed in z.stderr_text(), 3), z.dump())
                else:
                    self.assertNotIn("DNS update failed", z.stderr_text())
        # A few heartbeat seconds later: neither a refused updater nor one
        # whose address was sent asks again.
        counts = {host: len(self.stub.updates_for(host)) for host in REPLIES}
        time.sleep(3)
        for host in REPLIES:
            self.assertEqual(len(self.stub.updates_for(host)), counts[host], host)
            self.assertEqual(counts[host], 1, host)
        # The address was searched once per server.
        self.assertEqual(self.stub.address_asked, len(REPLIES))
        self.assertLessEqual(self.stub.challenged, len(REPLIES))
        for host, z in zofs.items():
            z.stop()
            # The password reaches neither standard error nor the log file.
            self.assertNotIn("secret", z.stderr_text(), host)
            self.assertNotIn("secret", self.read_log(host), host)
            # What was sent successfully is stored; a refusal leaves the
            # previous value (none here).
            stored = read_cfg(z.cfg_file()).get("last-external-address", "")
            refused = REPLIES[host][2]
            self.assertEqual(stored, "" if refused else FOUND, host)

    def test_no_updater_without_url(self):
        # The address service is set but no updater: nobody is contacted.
        log = self.log_path("none")
        z = self.start_zof(ini="ZOF 1.0 - Build #400\r\nexternal-ip-server=%s\r\nlog-file-name=%s\r\n"
                           % (self.stub.url("/ip"), log))
        time.sleep(2.5)
        self.assertEqual(self.stub.address_asked, 0, z.dump())
        self.assertEqual(self.stub.updates, [])
        self.assertNotIn("DNS update", z.stderr_text())


if __name__ == "__main__":
    unittest.main()
