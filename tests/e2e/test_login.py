"""Login form, logout, session cookies bound to their address, signed links,
uploads refused without the upload permission, and the login demand of
protected folders with the redirect that waits for a login."""

import base64
import hashlib
import ipaddress
import os
import re
import tempfile
import unittest

from test_uploads import ini_text, write_tree
from zofharness import ZofTestCase


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
    def start(self, options=""):
        self.pub = tempfile.mkdtemp(prefix="zof-login-")
        self.addCleanup(lambda: __import__("shutil").rmtree(self.pub, ignore_errors=True))
        with open(os.path.join(self.pub, "a.txt"), "w") as f:
            f.write("hello")
        ini = "ZOF 1.0 - Build #400\r\naccounts=%s\r\n%s" % (account("bob", "pw1"), options)
        z = self.start_zof(self.pub, ini=ini)
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

    def test_session_ids_are_fresh_and_unpredictable(self):
        z = self.start()
        ids = [self.sid_of(Reply(z.get("/"))) for _ in range(30)]
        self.assertEqual(len(set(ids)), len(ids))
        for sid in ids:
            self.assertEqual(len(sid), 22, sid)
        # Ids made in the same instant differ in most of their characters,
        # not only in a counter-like tail.
        diffs = [sum(a != b for a, b in zip(x, y)) for x, y in zip(ids, ids[1:])]
        self.assertGreater(min(diffs), 5, ids)

    def test_short_cookie_gets_new_session_known_unknown_keeps(self):
        z = self.start()
        r = Reply(z.get("/", headers={"Cookie": "ZOF_SID_=abc"}))
        self.sid_of(r)
        r = Reply(z.get("/", headers={"Cookie": "ZOF_SID_=UnknownButWellFormed1"}))
        self.assertIsNone(r.getheader("Set-Cookie"))

    def test_cookie_from_other_address_dropped(self):
        z = self.start()
        sid = self.sid_of(Reply(z.get("/")))
        try:
            r = Reply(z.get("/", headers={"Cookie": "ZOF_SID_=" + sid}, host="::1"))
        except OSError:
            # A kernel or container may have IPv6 switched off.
            self.skipTest("no IPv6 loopback")
        # Served as to a visitor without a session; the cookie goes.
        self.assertEqual(r.status, 200)
        self.assertIn("01-Jan-70", r.getheader("Set-Cookie") or "")
        self.assertIn("path=/", r.getheader("Set-Cookie") or "")

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

    def test_signed_links_in_pages_carry_the_url_address(self):
        # A page asked for without a Host header still gives its full URLs
        # a host: the address chosen for URLs.
        def signed_link_host(z):
            auth = base64.b64encode(b"bob:pw1")
            reply = z.raw(b"GET / HTTP/1.0\r\nAuthorization: Basic " + auth + b"\r\n\r\n").decode()
            m = re.search(r'href="http://([^/"]*):%d/[^"?]+/\?mode=auth&u=bob&s2=' % z.port, reply)
            self.assertTrue(m, reply)
            return m.group(1)

        z = self.start("include-pwd-in-pages=yes\r\n")
        host = signed_link_host(z)
        self.assertTrue(host)
        self.assertFalse(ipaddress.ip_address(host.strip("[]")).is_unspecified, host)
        # The address asked for with "ip", among the custom ones, is used as is.
        z = self.start("include-pwd-in-pages=yes\r\ncustom-ip=files.example;other.example\r\nip=files.example\r\n")
        self.assertEqual(signed_link_host(z), "files.example")

    def test_upload_refused_without_permission(self):
        z = self.start()
        boundary = "XyZbound"
        body = ("--%s\r\nContent-Disposition: form-data; name=\"f\"; filename=\"up.txt\"\r\n"
                "Content-Type: text/plain\r\n\r\nDATA\r\n--%s--\r\n" % (boundary, boundary)).encode()
        r = Reply(z.request("POST", "/", body=body, headers={
            "Content-Type": "multipart/form-data; boundary=" + boundary}))
        r.read()
        self.assertFalse(os.path.exists(os.path.join(self.pub, "up.txt")))


class LoginDemandCase(LoginCase):
    """A tree with "mine" (bob only, realm "Bob's place"), "pub" (everyone)
    and "staff" (carol only); bob's account sends him to /pub/ after a login."""

    def start_tree(self, tpl_text=None, **options):
        self.data = tempfile.mkdtemp(prefix="zof-demand-")
        self.addCleanup(lambda: __import__("shutil").rmtree(self.data, ignore_errors=True))
        for d in ("mine", "pub", "staff"):
            os.makedirs(os.path.join(self.data, d))
            with open(os.path.join(self.data, d, "in-%s.txt" % d), "w") as f:
                f.write(d)
        tree = os.path.join(self.data, "tree.vfs")
        write_tree(tree, {
            "mine": {"path": os.path.join(self.data, "mine"), "access": ["bob"], "realm": "Bob's place"},
            "pub": {"path": os.path.join(self.data, "pub")},
            "staff": {"path": os.path.join(self.data, "staff"), "access": ["carol"]},
        })
        accounts = account("bob", "pw1").rstrip(";") + "|redir:pub/;" + account("carol", "pw2")
        if tpl_text is not None:
            tpl = os.path.join(self.data, "my.tpl")
            with open(tpl, "w", newline="") as f:
                f.write(tpl_text)
            options["tpl_file"] = tpl
        z = self.start_zof(tree, ini=ini_text(accounts, **options))
        z.wait_port()
        return z

    def get(self, z, path, sid=None, **headers):
        """A request as a browser makes it (a tool without Accept gets a
        Basic challenge instead of the login page)."""
        if sid:
            headers["Cookie"] = "ZOF_SID_=" + sid
        headers.setdefault("Accept", "text/html,*/*;q=0.8")
        return Reply(z.get(path, headers=headers))


class TestLoginDemand(LoginDemandCase):
    def test_protected_folder_asks_for_a_login(self):
        z = self.start_tree()
        for path in ("/mine/", "/mine/in-mine.txt"):
            r = self.get(z, path)
            self.assertEqual(r.status, 403, path)
            page = r.read().decode()
            self.assertIn("Login required", page)
            # The page opens the login dialog of the page script.
            self.assertIn("zofLogin", page)
            self.assertNotIn(b"mine", r.read().split(b"</h1>")[0].split(b"<h1>")[-1])
        self.assertEqual(self.get(z, "/mine/in-mine.txt", **basic("bob", "pw1")).read(), b"mine")
        self.assertEqual(self.get(z, "/mine/", **basic("carol", "pw2")).status, 403)
        self.assertEqual(self.get(z, "/pub/in-pub.txt").read(), b"pub")

    def test_template_without_login_page_asks_for_basic_credentials(self):
        z = self.start_tree("[api level]\r\n2\r\n\r\n[error-page]\r\n\r\n[login]\r\n\r\n")
        r = self.get(z, "/mine/")
        self.assertEqual(r.status, 401)
        self.assertEqual(r.getheader("WWW-Authenticate"), 'Basic realm="Bob\'s place"')
        r = self.get(z, "/staff/")
        self.assertEqual(r.status, 401)
        self.assertTrue((r.getheader("WWW-Authenticate") or "").startswith('Basic realm="'))
        self.assertEqual(self.get(z, "/mine/in-mine.txt", **basic("bob", "pw1")).read(), b"mine")

    def test_realm_from_the_comment_files(self):
        # "staff" has no realm of its own: its comment, from the comments
        # file of the folder that holds it, is announced as it is written.
        basic_only = "[api level]\r\n2\r\n\r\n[error-page]\r\n\r\n[login]\r\n\r\n"
        z = self.start_tree(basic_only)
        with open(os.path.join(self.data, "zof.comments.txt"), "w") as f:
            f.write("staff=Staff | {.room.}\r\nmine=not the realm\r\n")
        self.assertEqual(self.get(z, "/staff/").getheader("WWW-Authenticate"), 'Basic realm="Staff | {.room.}"')
        self.assertEqual(self.get(z, "/mine/").getheader("WWW-Authenticate"), 'Basic realm="Bob\'s place"')
        # A single comment file beside the folder comes first.
        with open(os.path.join(self.data, "staff.comment"), "w") as f:
            f.write("Staff only")
        self.assertEqual(self.get(z, "/staff/").getheader("WWW-Authenticate"), 'Basic realm="Staff only"')

        # With the option off the default realm stays.
        z = self.start_tree(basic_only, use_comment_as_realm="no")
        with open(os.path.join(self.data, "zof.comments.txt"), "w") as f:
            f.write("staff=Staff room\r\n")
        self.assertEqual(self.get(z, "/staff/").getheader("WWW-Authenticate"),
                         'Basic realm="Password protected resource"')

    def test_login_then_pending_redirect(self):
        z = self.start_tree()
        sid = self.sid_of(self.get(z, "/mine/"))
        self.assertEqual(self.post_form(z, "user=bob&password=pw1", sid).read(), b"ok")
        # The account's target comes first, once, before any folder page...
        r = self.get(z, "/mine/", sid)
        self.assertEqual(r.status, 302)
        self.assertEqual(r.getheader("Location"), "/pub/")
        # ...then the session holds bob's rights.
        r = self.get(z, "/mine/", sid)
        self.assertEqual(r.status, 200)
        self.assertIn(b"in-mine.txt", r.read())
        self.assertEqual(self.get(z, "/mine/in-mine.txt", sid).read(), b"mine")
        # Another client knows nothing of it.
        self.assertEqual(self.get(z, "/mine/").status, 403)

    def test_pending_redirect_before_a_refused_folder(self):
        z = self.start_tree()
        sid = self.sid_of(self.get(z, "/"))
        self.assertEqual(self.post_form(z, "user=bob&password=pw1", sid).read(), b"ok")
        # bob may not enter "staff": the waiting redirect is answered first.
        r = self.get(z, "/staff/", sid)
        self.assertEqual((r.status, r.getheader("Location")), (302, "/pub/"))
        self.assertEqual(self.get(z, "/staff/", sid).status, 403)
        # A logout ends bob's rights.
        self.assertEqual(self.get(z, "/?mode=logout", sid).read(), b"ok")
        self.assertEqual(self.get(z, "/mine/", sid).status, 403)


def basic(user, pwd):
    return {"Authorization": "Basic " + base64.b64encode(("%s:%s" % (user, pwd)).encode()).decode()}


if __name__ == "__main__":
    unittest.main()
