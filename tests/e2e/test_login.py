"""Login form, logout, session cookies bound to their address, signed links,
and uploads refused without the upload permission."""

import base64
import hashlib
import os
import re
import tempfile
import unittest

from zofharness import ZofTestCase, free_port


def account(user, pwd):
    login = base64.b64encode(("%s:%s" % (user, pwd)).encode()).decode()
    return "|login:%s|enabled:yes|group:no|no-limits:no;" % login


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


def md5(text):
    return hashlib.md5(text.encode()).hexdigest()


class Reply:
    def __init__(self, t):
        self.status, self.headers, self.body = t

    def getheader(self, name):
        return self.headers.get(name.lower())

    def read(self):
        return self.body


class LoginCase(ZofTestCase):
    def start(self):
        self.pub = tempfile.mkdtemp(prefix="zof-login-")
        self.addCleanup(lambda: __import__("shutil").rmtree(self.pub, ignore_errors=True))
        with open(os.path.join(self.pub, "a.txt"), "w") as f:
            f.write("hello")
        port = free_port()
        ini = "ZOF 1.0 - Build #400\r\nport=%d\r\naccounts=%s\r\n" % (port, account("bob", "pw1"))
        z = self.start_zof(self.pub, ini=ini, port=port)
        z.wait_port()
        return z

    def sid_of(self, resp):
        cookie = resp.getheader("Set-Cookie") or ""
        m = re.match(r"ZOF_SID_=([A-Za-z0-9]+); path=/; HttpOnly$", cookie)
        self.assertTrue(m, cookie)
        return m.group(1)

    def post_form(self, z, body, sid, host="127.0.0.1"):
        return Reply(z.request("POST", "/?mode=login", body=body.encode(), host=host, headers={
            "Content-Type": "application/x-www-form-urlencoded", "Cookie": "ZOF_SID_=" + sid}))

    def test_login_forms_and_logout(self):
        z = self.start()
        sid = self.sid_of(Reply(z.get("/")))
        cases = [
            ("user=nobody&password=pw1", b"username not found"),
            ("user=bob&password=bad", b"bad password"),
            ("user=bob&password=bad&passwordMD5=" + md5(md5("pw1") + "x"), b"bad password"),
            ("user=bob&password=bad&passwordSHA256=" + sha(sha("pw1") + sid), b"ok"),
            ("user=bob&passwordMD5=" + md5(md5("pw1") + sid), b"ok"),
            ("user=bob&password=pw1", b"ok"),
        ]
        for body, want in cases:
            r = self.post_form(z, body, sid)
            self.assertEqual(r.read(), want, body)
        r = Reply(z.get("/?mode=logout", headers={"Cookie": "ZOF_SID_=" + sid}))
        self.assertEqual(r.read(), b"ok")
        self.assertIn("01-Jan-70", r.getheader("Set-Cookie") or "")

    def test_basic_credentials(self):
        z = self.start()
        def basic(u, p):
            return {"Authorization": "Basic " + base64.b64encode(("%s:%s" % (u, p)).encode()).decode()}
        self.assertEqual(Reply(z.get("/", headers=basic("bob", "pw1"))).status, 200)
        r = Reply(z.get("/", headers=basic("bob", "wrong")))
        self.assertEqual(r.status, 401)
        self.assertIn("Invalid login", r.getheader("WWW-Authenticate") or "")

    def test_short_cookie_gets_new_session_known_unknown_keeps(self):
        z = self.start()
        r = Reply(z.get("/", headers={"Cookie": "ZOF_SID_=abc"}))
        self.sid_of(r)
        r = Reply(z.get("/", headers={"Cookie": "ZOF_SID_=UnknownButWellFormed1"}))
        self.assertIsNone(r.getheader("Set-Cookie"))

    def test_cookie_from_other_address_refused(self):
        z = self.start()
        sid = self.sid_of(Reply(z.get("/")))
        try:
            r = Reply(z.get("/", headers={"Cookie": "ZOF_SID_=" + sid}, host="::1"))
        except OSError:
            self.skipTest("no IPv6 loopback")
        self.assertEqual(r.status, 403)
        self.assertIn("01-Jan-70", r.getheader("Set-Cookie") or "")

    def test_signed_links(self):
        z = self.start()
        def link(q, pwd="pw1"):
            return "/?" + q + "&s2=" + sha(q + pwd)
        r = Reply(z.get(link("mode=auth&u=bob&e=99999")))
        self.assertNotEqual(r.status, 403, r.read())
        r = Reply(z.get(link("mode=auth&u=bob&e=99999", "wrong")))
        self.assertEqual((r.status, r.read()), (403, b"bad sign"))
        r = Reply(z.get(link("mode=auth&u=bob&e=1")))
        self.assertEqual((r.status, r.read()), (403, b"expired"))
        r = Reply(z.get(link("mode=auth&u=nobody")))
        self.assertEqual((r.status, r.read()), (403, b"username not found"))

    def test_upload_refused_without_permission(self):
        z = self.start()
        boundary = "XyZbound"
        body = ("--%s\r\nContent-Disposition: form-data; name=\"f\"; filename=\"up.txt\"\r\n"
                "Content-Type: text/plain\r\n\r\nDATA\r\n--%s--\r\n" % (boundary, boundary)).encode()
        r = Reply(z.request("POST", "/", body=body, headers={
            "Content-Type": "multipart/form-data; boundary=" + boundary}))
        r.read()
        self.assertFalse(os.path.exists(os.path.join(self.pub, "up.txt")))


if __name__ == "__main__":
    unittest.main()
