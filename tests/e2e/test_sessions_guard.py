"""Sessions seen from outside: a flood of cookie-less requests never drops
a logged-in session (the table's caps are lowered through options so that
the flood stays short), one address cannot crowd out the anonymous
sessions of others, a cookie brought from another address is dropped
instead of locking its owner out, and download tools get the Basic
challenge they need to log in."""

import http.client
import os
import re
import shutil
import socket
import subprocess
import tempfile
import unittest
import urllib.parse

from test_uploads import account, ini_text, write_tree
from zofharness import ZofTestCase, tool

BROWSER_ACCEPT = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"


def loopback_alias_works(address):
    try:
        with socket.socket() as s:
            s.bind((address, 0))
        return True
    except OSError:
        return False


class SessionCase(ZofTestCase):
    """A tree with "mine" (bob only) and "pub" (everyone)."""

    def zof(self, **options):
        self.data = tempfile.mkdtemp(prefix="zof-sess-")
        self.addCleanup(shutil.rmtree, self.data, True)
        for d in ("mine", "pub"):
            os.makedirs(os.path.join(self.data, d))
            with open(os.path.join(self.data, d, "in-%s.txt" % d), "w") as f:
                f.write("content of " + d)
        tree = os.path.join(self.data, "tree.vfs")
        write_tree(tree, {
            "mine": {"path": os.path.join(self.data, "mine"), "access": ["bob"], "realm": "Bob's place"},
            "pub": {"path": os.path.join(self.data, "pub")},
        })
        z = self.start_zof(tree, ini=ini_text(account("bob", "pw1"), **options))
        z.wait_port()
        return z

    def request(self, z, method, path, source="127.0.0.1", sid=None, body=None, headers=None):
        h = dict(headers or {})
        if sid:
            h["Cookie"] = "ZOF_SID_=" + sid
        conn = http.client.HTTPConnection("127.0.0.1", z.port, timeout=10, source_address=(source, 0))
        try:
            conn.request(method, path, body=body, headers=h)
            r = conn.getresponse()
            return r.status, {k.lower(): v for k, v in r.getheaders()}, r.read()
        finally:
            conn.close()

    def new_sid(self, z, source="127.0.0.1"):
        status, hdrs, _ = self.request(z, "GET", "/pub/", source)
        m = re.match(r"ZOF_SID_=([A-Za-z0-9]+); path=/; HttpOnly$", hdrs.get("set-cookie", ""))
        self.assertTrue(m, hdrs)
        return m.group(1)

    def login(self, z, sid, source="127.0.0.1", pwd="pw1"):
        status, hdrs, body = self.request(z, "POST", "/?mode=login", source, sid, body="user=bob&password=" + pwd,
                                          headers={"Content-Type": "application/x-www-form-urlencoded"})
        return body.decode().strip(), hdrs

    def logged_in(self, z, sid, source="127.0.0.1"):
        return self.request(z, "GET", "/mine/in-mine.txt", source, sid)[0] == 200

    def still_stored(self, z, sid, probe_from):
        """Whether the table still holds `sid` (made elsewhere): a stored
        session shown from another address has its cookie dropped, an
        unknown id is taken as it is."""
        status, hdrs, _ = self.request(z, "HEAD", "/pub/", probe_from, sid)
        self.assertEqual(status, 200)
        return "set-cookie" in hdrs

    def flood(self, z, sources, per_source):
        """Cookie-less requests, one connection each: every one makes a session."""
        req = b"HEAD /pub/ HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
        for src in sources:
            for _ in range(per_source):
                with socket.socket() as s:
                    s.settimeout(10)
                    s.bind((src, 0))
                    s.connect(("127.0.0.1", z.port))
                    s.sendall(req)
                    reply = b""
                    while b"\r\n\r\n" not in reply:
                        chunk = s.recv(4096)
                        if not chunk:
                            break
                        reply += chunk
                    self.assertIn(b"ZOF_SID_=", reply)


class TestSessionFlood(SessionCase):
    def setUp(self):
        super().setUp()
        if not loopback_alias_works("127.0.0.2"):
            # Linux answers on all of 127.0.0.0/8; some systems only on 127.0.0.1.
            self.skipTest("no 127.0.0.0/8 loopback aliases")

    def test_logged_in_session_survives_the_cap(self):
        z = self.zof(max_sessions=120, max_anonymous_sessions_by_ip=1000)
        bob = self.new_sid(z)
        self.assertEqual(self.login(z, bob)[0], "ok")
        early = self.new_sid(z, "127.0.0.9")
        # Four times the cap: the table is full over and over again.
        self.flood(z, ["127.0.1.%d" % i for i in range(1, 5)], 120)
        self.assertTrue(self.logged_in(z, bob))
        # The cap was reached: the anonymous session made first is gone,
        # while one made now is there.
        self.assertFalse(self.still_stored(z, early, "127.0.0.10"))
        fresh = self.new_sid(z, "127.0.0.11")
        self.assertTrue(self.still_stored(z, fresh, "127.0.0.12"))

    def test_one_address_cannot_crowd_out_others(self):
        z = self.zof(max_anonymous_sessions_by_ip=30)
        other = self.new_sid(z, "127.0.0.3")
        bob = self.new_sid(z)
        self.assertEqual(self.login(z, bob)[0], "ok")
        first = self.new_sid(z)
        self.flood(z, ["127.0.0.1"], 100)
        self.assertTrue(self.still_stored(z, other, "127.0.0.4"))
        self.assertFalse(self.still_stored(z, first, "127.0.0.4"))
        self.assertTrue(self.logged_in(z, bob))


class TestManyConnectionsOneAddress(SessionCase):
    def test_kept_alive_connections_keep_their_sessions_past_the_cap(self):
        # More kept-alive connections from one address than it may keep
        # anonymous sessions: each one gets its cookie once, and the later
        # requests neither make sessions nor push out other connections'.
        z = self.zof(max_anonymous_sessions_by_ip=3)
        conns = [http.client.HTTPConnection("127.0.0.1", z.port, timeout=10) for _ in range(6)]
        try:
            cookies = []
            for round_ in range(3):
                for c in conns:
                    c.request("GET", "/pub/in-pub.txt")
                    r = c.getresponse()
                    self.assertEqual((r.status, r.read()), (200, b"content of pub"))
                    cookie = r.getheader("Set-Cookie")
                    if round_ == 0:
                        self.assertRegex(cookie or "", r"^ZOF_SID_=[A-Za-z0-9]+; path=/; HttpOnly$")
                        cookies.append(cookie)
                    else:
                        self.assertIsNone(cookie, "round %d" % round_)
            self.assertEqual(len(set(cookies)), len(conns))
            # A login on such a connection binds a session the table holds,
            # which another connection then uses.
            for c in conns[:2]:
                c.request("POST", "/?mode=login", body="user=bob&password=pw1",
                          headers={"Content-Type": "application/x-www-form-urlencoded"})
                r = c.getresponse()
                self.assertEqual(r.read().decode().strip(), "ok")
                m = re.match(r"ZOF_SID_=([A-Za-z0-9]+); path=/; HttpOnly$", r.getheader("Set-Cookie") or "")
                sid = m.group(1) if m else cookies[conns.index(c)].split(";")[0].split("=")[1]
                self.assertTrue(self.logged_in(z, sid))
        finally:
            for c in conns:
                c.close()


class TestCookieFromAnotherAddress(SessionCase):
    def setUp(self):
        super().setUp()
        if not loopback_alias_works("127.0.0.2"):
            # Linux answers on all of 127.0.0.0/8; some systems only on 127.0.0.1.
            self.skipTest("no 127.0.0.0/8 loopback aliases")

    def test_stale_cookie_is_dropped_and_login_works_again(self):
        z = self.zof()
        sid = self.new_sid(z)
        self.assertEqual(self.login(z, sid)[0], "ok")
        # The same browser, now seen from another address.
        status, hdrs, body = self.request(z, "GET", "/pub/in-pub.txt", "127.0.0.2", sid)
        self.assertEqual((status, body), (200, b"content of pub"))
        cookie = hdrs.get("set-cookie", "")
        self.assertRegex(cookie, r"^ZOF_SID_=;")
        self.assertIn("01-Jan-70", cookie)
        self.assertIn("path=/", cookie)
        # bob's rights do not travel with the cookie.
        status, _, page = self.request(z, "GET", "/mine/", "127.0.0.2", sid, headers={"Accept": BROWSER_ACCEPT})
        self.assertEqual(status, 403)
        self.assertIn(b"Login required", page)
        # A login from the new address, still carrying the old cookie.
        answer, hdrs = self.login(z, sid, "127.0.0.2")
        self.assertEqual(answer, "ok")
        m = re.match(r"ZOF_SID_=([A-Za-z0-9]+); path=/; HttpOnly$", hdrs.get("set-cookie", ""))
        self.assertTrue(m, hdrs)
        self.assertNotEqual(m.group(1), sid)
        self.assertTrue(self.logged_in(z, m.group(1), "127.0.0.2"))
        # The session at the first address was not touched.
        self.assertTrue(self.logged_in(z, sid))


class TestDownloadToolsLogIn(SessionCase):
    def url(self, z, path):
        return "http://127.0.0.1:%d%s" % (z.port, path)

    def test_challenge_for_clients_that_do_not_want_a_page(self):
        z = self.zof()
        for accept in (None, "*/*", "application/octet-stream"):
            headers = {"Accept": accept} if accept else {}
            status, hdrs, _ = self.request(z, "GET", "/mine/in-mine.txt", headers=headers)
            self.assertEqual(status, 401, accept)
            self.assertEqual(hdrs.get("www-authenticate"), 'Basic realm="Bob\'s place"', accept)
        # Browsers keep the login page.
        status, hdrs, page = self.request(z, "GET", "/mine/in-mine.txt", headers={"Accept": BROWSER_ACCEPT})
        self.assertEqual(status, 403)
        self.assertIn(b"Login required", page)
        self.assertNotIn("www-authenticate", hdrs)

    def test_wget_and_aria2c_download_with_credentials(self):
        z = self.zof()
        out = os.path.join(self.data, "got")
        os.makedirs(out)
        wget, aria2c = tool("wget"), tool("aria2c")
        r = subprocess.run([wget, "-q", "-O", os.path.join(out, "w.txt"), "--user=bob", "--password=pw1",
                            self.url(z, "/mine/in-mine.txt")], capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(os.path.join(out, "w.txt")) as f:
            self.assertEqual(f.read(), "content of mine")
        r = subprocess.run([wget, "-q", "-O", os.path.join(out, "bad.txt"), "--user=bob", "--password=no",
                            self.url(z, "/mine/in-mine.txt")], capture_output=True, timeout=30)
        self.assertNotEqual(r.returncode, 0)
        r = subprocess.run([aria2c, "-q", "--http-user=bob", "--http-passwd=pw1", "-d", out, "-o", "a.txt",
                            "--allow-overwrite=true", self.url(z, "/mine/in-mine.txt")],
                           capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        with open(os.path.join(out, "a.txt")) as f:
            self.assertEqual(f.read(), "content of mine")


if __name__ == "__main__":
    unittest.main()
