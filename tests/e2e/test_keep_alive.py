"""Several requests over one kept-alive connection: the session cookie of one
reply honoured on the next request, a login and the protected pages behind
it, a logout on one connection seen by another holding the same session,
downloads whole and in ranges between pages, and pipelined requests sent in
one write and answered in order. Every exchange checks that the connection
was not silently replaced (http.client reconnects on its own)."""

import http.client
import os
import re
import shutil
import socket
import tempfile
import unittest

from test_uploads import account, ini_text, write_tree
from zofharness import ZofTestCase

FORM = {"Content-Type": "application/x-www-form-urlencoded"}
BROWSER = {"Accept": "text/html,application/xhtml+xml,*/*;q=0.8"}
SID_COOKIE = re.compile(r"^ZOF_SID_=([A-Za-z0-9]+); path=/; HttpOnly$")
# What the root page shows to bob's session, and to nobody else.
LOGGED_IN = b"Logged in as <b>bob</b>"


class OneConnection:
    """An http.client connection that must stay the same TCP connection."""

    def __init__(self, case, port):
        self.case = case
        self.conn = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
        self.conn.connect()
        self.local = self.conn.sock.getsockname()
        self.requests = 0

    def __call__(self, method, path, sid=None, body=None, headers=None, closes=False):
        """One exchange; `closes` for a reply that ends the connection (the
        server closes after refusals)."""
        self.case.assertIsNotNone(self.conn.sock, "the connection is gone before %s %s" % (method, path))
        self.case.assertEqual(self.conn.sock.getsockname(), self.local)
        h = dict(headers or {})
        if sid:
            h["Cookie"] = "ZOF_SID_=" + sid
        self.conn.request(method, path, body=body, headers=h)
        r = self.conn.getresponse()
        data = r.read()
        self.requests += 1
        # A reply that closes the connection makes http.client drop its socket.
        what = "%s %s (request %d)" % (method, path, self.requests)
        if closes:
            self.case.assertIsNone(self.conn.sock, "kept open after " + what)
        else:
            self.case.assertIsNotNone(self.conn.sock, "closed after " + what)
        return r.status, {k.lower(): v for k, v in r.getheaders()}, data

    def close(self):
        self.conn.close()


def sid_of(headers):
    m = SID_COOKIE.match(headers.get("set-cookie", ""))
    return m.group(1) if m else None


class KeepAliveCase(ZofTestCase):
    """A tree with "mine" (bob only, holding a text and a binary file) and
    "pub" (everyone)."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-keep-")
        self.addCleanup(shutil.rmtree, self.data, True)
        for d in ("mine", "pub"):
            os.makedirs(os.path.join(self.data, d))
            with open(os.path.join(self.data, d, "in-%s.txt" % d), "w") as f:
                f.write("content of " + d)
        # Larger than one socket buffer, so a reply spans many writes.
        self.blob = os.urandom(3 * 1024 * 1024 + 17)
        with open(os.path.join(self.data, "pub", "blob.bin"), "wb") as f:
            f.write(self.blob)
        tree = os.path.join(self.data, "tree.vfs")
        write_tree(tree, {
            "mine": {"path": os.path.join(self.data, "mine"), "access": ["bob"]},
            "pub": {"path": os.path.join(self.data, "pub")},
        })
        self.z = self.start_zof(tree, ini=ini_text(account("bob", "pw1")))

    def connection(self):
        c = OneConnection(self, self.z.port)
        self.addCleanup(c.close)
        return c

    def login(self, c, sid, pwd="pw1"):
        status, _, body = c("POST", "/?mode=login", sid, body="user=bob&password=" + pwd, headers=FORM)
        self.assertEqual(status, 200)
        return body


class TestSessionsOnOneConnection(KeepAliveCase):
    def test_cookie_of_one_reply_is_honoured_on_the_next(self):
        c = self.connection()
        status, headers, page = c("GET", "/pub/")
        self.assertEqual(status, 200)
        self.assertIn(b"in-pub.txt", page)
        sid = sid_of(headers)
        self.assertTrue(sid, headers)
        # The same session: no new cookie, page after page.
        for path in ("/pub/", "/pub/in-pub.txt", "/"):
            status, headers, _ = c("GET", path, sid)
            self.assertEqual(status, 200, path)
            self.assertNotIn("set-cookie", headers, path)
        # A request without the cookie browses with the anonymous session
        # before it: no session and no cookie per request.
        for path in ("/pub/", "/pub/in-pub.txt"):
            status, headers, _ = c("GET", path)
            self.assertEqual(status, 200, path)
            self.assertNotIn("set-cookie", headers, path)

    def test_a_borrower_logs_in_on_a_session_of_its_own(self):
        # Without a cookie of its own a request is lent the connection's
        # anonymous session; logging that in would log in whoever holds
        # its cookie (a proxy's other client, or one who planted it).
        c, other = self.connection(), self.connection()
        sid = sid_of(c("GET", "/pub/")[1])
        self.assertNotIn("set-cookie", c("GET", "/pub/")[1])
        status, headers, body = c("POST", "/?mode=login", body="user=bob&password=pw1", headers=FORM)
        self.assertEqual((status, body), (200, b"ok"))
        own = sid_of(headers)
        self.assertTrue(own and own != sid, headers)
        self.assertEqual(self.logged_in(other, own), (True, None))
        self.assertEqual(self.logged_in(other, sid), (False, None))
        # The logged-in session is not lent on: the next cookie-less request
        # gets a session and a cookie of its own.
        shown, stranger = self.logged_in(c)
        self.assertFalse(shown)
        self.assertTrue(stranger and stranger not in (sid, own), stranger)

    def logged_in(self, c, sid=None):
        status, headers, page = c("GET", "/", sid)
        self.assertEqual(status, 200)
        return LOGGED_IN in page, sid_of(headers)

    def test_login_then_protected_pages(self):
        c = self.connection()
        sid = sid_of(c("GET", "/pub/")[1])
        self.assertEqual(self.logged_in(c, sid), (False, None))
        self.assertEqual(self.login(c, sid, "wrong"), b"bad password")
        self.assertEqual(self.login(c, sid), b"ok")
        status, _, page = c("GET", "/mine/", sid, headers=BROWSER)
        self.assertEqual(status, 200)
        self.assertIn(b"in-mine.txt", page)
        self.assertEqual(c("GET", "/mine/in-mine.txt", sid)[::2], (200, b"content of mine"))
        self.assertEqual(c("GET", "/pub/in-pub.txt", sid)[::2], (200, b"content of pub"))
        self.assertEqual(self.logged_in(c, sid), (True, None))

    def test_later_requests_without_the_session_get_no_rights(self):
        # A proxy sends many clients' requests over one connection: the
        # next one is not logged in because the one before was.
        c = self.connection()
        sid = sid_of(c("GET", "/pub/")[1])
        self.assertEqual(self.login(c, sid), b"ok")
        self.assertEqual(self.logged_in(c, sid), (True, None))
        shown, stranger = self.logged_in(c)
        self.assertFalse(shown)
        self.assertTrue(stranger and stranger != sid, stranger)
        self.assertEqual(self.logged_in(c, "SomeoneElsesSession0001"), (False, None))
        # The logged-in client, next on the same connection, still is.
        self.assertEqual(self.logged_in(c, sid), (True, None))
        self.assertEqual(c("GET", "/mine/in-mine.txt", sid)[::2], (200, b"content of mine"))
        # Refused without the cookie (and a refusal ends the connection).
        status, _, body = c("GET", "/mine/in-mine.txt", closes=True)
        self.assertEqual(status, 401)
        self.assertNotIn(b"content of mine", body)

    def test_logout_on_one_connection_is_seen_by_another(self):
        a, b = self.connection(), self.connection()
        self.assertNotEqual(a.local, b.local)
        sid = sid_of(a("GET", "/pub/")[1])
        self.assertEqual(self.login(a, sid), b"ok")
        # b uses the session too, and keeps its connection open.
        self.assertEqual(b("GET", "/mine/in-mine.txt", sid)[::2], (200, b"content of mine"))
        self.assertEqual(self.logged_in(b, sid), (True, None))
        status, headers, body = a("GET", "/?mode=logout", sid)
        self.assertEqual((status, body), (200, b"ok"))
        self.assertIn("01-Jan-70", headers.get("set-cookie", ""))
        # Both connections lost bob's rights; b is asked to log in again.
        self.assertFalse(self.logged_in(b, sid)[0])
        self.assertFalse(self.logged_in(a, sid)[0])
        status, _, page = b("GET", "/mine/", sid, headers=BROWSER, closes=True)
        self.assertEqual(status, 403)
        self.assertIn(b"Login required", page)
        # A new login on a works again on the same connection.
        self.assertEqual(self.login(a, sid), b"ok")
        self.assertEqual(a("GET", "/mine/in-mine.txt", sid)[::2], (200, b"content of mine"))


class TestDownloadsBetweenPages(KeepAliveCase):
    def test_page_download_range_page(self):
        c = self.connection()
        status, _, page = c("GET", "/pub/")
        self.assertEqual(status, 200)
        self.assertIn(b"blob.bin", page)
        status, headers, body = c("GET", "/pub/blob.bin")
        self.assertEqual(status, 200)
        self.assertEqual(int(headers["content-length"]), len(self.blob))
        self.assertTrue(body == self.blob, "the whole file differs")
        ranges = [
            ("bytes=100-199", 100, 200),
            ("bytes=%d-" % (len(self.blob) - 5), len(self.blob) - 5, len(self.blob)),
            ("bytes=-10", len(self.blob) - 10, len(self.blob)),
            ("bytes=1048570-2097160", 1048570, 2097161),
        ]
        for spec, first, end in ranges:
            status, headers, body = c("GET", "/pub/blob.bin", headers={"Range": spec})
            self.assertEqual(status, 206, spec)
            self.assertEqual(headers.get("content-range"), "bytes %d-%d/%d" % (first, end - 1, len(self.blob)), spec)
            self.assertTrue(body == self.blob[first:end], spec)
        status, headers, body = c("HEAD", "/pub/blob.bin")
        self.assertEqual((status, body), (200, b""))
        self.assertEqual(int(headers["content-length"]), len(self.blob))
        status, _, again = c("GET", "/pub/")
        self.assertEqual(status, 200)
        self.assertIn(b"blob.bin", again)
        self.assertEqual(c("GET", "/pub/in-pub.txt")[::2], (200, b"content of pub"))


def read_replies(sock, count, head_only=()):
    """Reads `count` replies from a raw socket: [(status line, headers, body)].
    Bodies are framed by Content-Length; replies numbered in head_only have none."""
    data = b""
    replies = []
    while len(replies) < count:
        end = data.find(b"\r\n\r\n")
        if end >= 0:
            head = data[:end].decode("latin-1").split("\r\n")
            headers = {k.lower(): v.strip() for k, v in (line.split(":", 1) for line in head[1:])}
            length = 0 if len(replies) in head_only else int(headers.get("content-length", "0"))
            if len(data) >= end + 4 + length:
                replies.append((head[0], headers, data[end + 4:end + 4 + length]))
                data = data[end + 4 + length:]
                continue
        chunk = sock.recv(65536)
        if not chunk:
            break
        data += chunk
    return replies, data


class TestPipelining(KeepAliveCase):
    def test_requests_in_one_write_answered_in_order(self):
        # The session id is chosen here: a well-formed id the server does not
        # know is taken as a new session, so the login can be pipelined.
        sid = "PipelinedSession000001"
        cookie = "Cookie: ZOF_SID_=%s\r\n" % sid
        login = "user=bob&password=pw1"
        requests = [
            "GET /pub/in-pub.txt HTTP/1.1\r\nHost: x\r\n\r\n",
            "GET /pub/blob.bin HTTP/1.1\r\nHost: x\r\nRange: bytes=10-19\r\n\r\n",
            "HEAD /pub/ HTTP/1.1\r\nHost: x\r\n\r\n",
            "GET / HTTP/1.1\r\nHost: x\r\n%s\r\n" % cookie,
            "POST /?mode=login HTTP/1.1\r\nHost: x\r\n%sContent-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: %d\r\n\r\n%s" % (cookie, len(login), login),
            "GET /mine/in-mine.txt HTTP/1.1\r\nHost: x\r\n%s\r\n" % cookie,
            "GET /pub/blob.bin HTTP/1.1\r\nHost: x\r\n\r\n",
            "GET / HTTP/1.1\r\nHost: x\r\n%s\r\n" % cookie,
            "GET /pub/in-pub.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n",
        ]
        with socket.create_connection(("127.0.0.1", self.z.port), timeout=10) as s:
            s.sendall("".join(requests).encode())
            replies, rest = read_replies(s, len(requests), head_only=(2,))
            self.assertEqual(len(replies), len(requests), [r[0] for r in replies])
            # The last one asked for the close: nothing follows it.
            self.assertEqual(rest + s.recv(65536), b"")
        statuses = [r[0] for r in replies]
        self.assertEqual(statuses, ["HTTP/1.1 200 OK", "HTTP/1.1 206 Partial Content"] + ["HTTP/1.1 200 OK"] * 7)
        bodies = [r[2] for r in replies]
        self.assertEqual(bodies[0], b"content of pub")
        self.assertTrue(bodies[1] == self.blob[10:20])
        self.assertEqual(replies[1][1].get("content-range"), "bytes 10-19/%d" % len(self.blob))
        # No body after the head of HEAD: the next reply's status line
        # follows at once (read_replies would have failed on it otherwise).
        self.assertEqual(bodies[2], b"")
        self.assertNotIn(LOGGED_IN, bodies[3])
        self.assertEqual(bodies[4:6], [b"ok", b"content of mine"])
        self.assertTrue(bodies[6] == self.blob, "the whole file differs")
        self.assertIn(LOGGED_IN, bodies[7])
        self.assertEqual(bodies[8], b"content of pub")

    def test_request_after_a_body_split_across_writes(self):
        # The body of a POST and the next request arrive in pieces that cut
        # across the boundary between them.
        sid = "PipelinedSession000002"
        login = "user=bob&password=pw1"
        wire = ("POST /?mode=login HTTP/1.1\r\nHost: x\r\nCookie: ZOF_SID_=%s\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\n\r\n%s"
                "GET /mine/in-mine.txt HTTP/1.1\r\nHost: x\r\nCookie: ZOF_SID_=%s\r\n\r\n"
                % (sid, len(login), login, sid)).encode()
        cut = wire.index(b"GET /mine") - 4
        with socket.create_connection(("127.0.0.1", self.z.port), timeout=10) as s:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            s.sendall(wire[:cut])
            s.sendall(wire[cut:cut + 9])
            s.sendall(wire[cut + 9:])
            replies, _ = read_replies(s, 2)
        self.assertEqual([(r[0], r[2]) for r in replies],
                         [("HTTP/1.1 200 OK", b"ok"), ("HTTP/1.1 200 OK", b"content of mine")])


if __name__ == "__main__":
    unittest.main()


class TestPersistentConnectionsOption(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-keep-")
        self.addCleanup(shutil.rmtree, self.data, True)
        with open(os.path.join(self.data, "a.txt"), "w") as f:
            f.write("a")

    def exchange_twice(self, z):
        """Two requests in one write; the replies read until the server closes."""
        with socket.create_connection(("127.0.0.1", z.port), timeout=10) as s:
            path = "/%s/a.txt" % os.path.basename(self.data)
            s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode() * 2)
            data = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    return data
                data += chunk
                if data.count(b"HTTP/1.1 200") == 2 and data.endswith(b"a"):
                    return data

    def test_off_closes_after_each_reply(self):
        z = self.start_zof("-c", "persistent-connections=no", self.data)
        data = self.exchange_twice(z)
        self.assertEqual(data.count(b"HTTP/1.1 200"), 1, data)
        self.assertIn(b"Connection: close", data.split(b"\r\n\r\n")[0])

    def test_on_keeps_the_connection(self):
        z = self.start_zof(self.data)
        self.assertEqual(self.exchange_twice(z).count(b"HTTP/1.1 200"), 2)
