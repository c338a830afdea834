"""Macros that read the request and shape the reply, seen through a template
file; and the default template's navigation bar and action buttons, which
follow the visitor's rights."""

import http.client
import os
import shutil
import tempfile
import time
import unittest

from test_uploads import account, basic, ini_text, write_tree
from zofharness import ZofTestCase

TPL = "\r\n".join([
    "[api level]",
    "2",
    "",
    "[req]",
    "{.header|X-Probe.}~~{.urlvar|a.}~~{.?flag.}~~{.cookie|c.}~~{.get|url|a=|b=2.}",
    "",
    "[shape]",
    "{.cookie|k|value=v|expires=1000001|path=/.}{.add header|X-Extra: 1.}{.mime|text/x-test.}done",
    "",
    "[cookies]",
    "{.cookie|k|value=1.}{.cookie|j|value=2|path=/.}{.cookie|k|value=3.}{.add header|X-After: 1.}two",
    "",
    "[redir]",
    "{.add header|Location: /elsewhere/.}",
    "",
    "[unsafe]",
    "{.add header|X-A: a{.chr|13|10.}X-Evil: 1.}{.cookie|z|value=1{.chr|10.}X-Evil2: 1.}"
    "{.add header|Location: /x{.chr|13|10.}X-Evil3: 1.}safe",
    "",
    "[refuse]",
    "{.disconnection reason|not today.}never shown",
    "",
    "[crumbs]",
    "{.breadcrumbs|{:[%bread-url%|%bread-name%]:}.}",
    "",
])


class RequestMacrosTest(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-reqmacros-")
        self.addCleanup(shutil.rmtree, self.data, True)
        tpl = os.path.join(self.data, "my.tpl")
        with open(tpl, "w", encoding="utf-8", newline="") as f:
            f.write(TPL)
        self.z = self.start_zof(ini=ini_text(tpl_file=tpl))
        self.z.wait_port()

    def test_request_values_reach_the_page_disarmed(self):
        status, _, body = self.z.get("/~req?a=%7B.add%7C1%7C2.%7D&flag&b=1", headers={
            "X-Probe": "%user%|{.add|3|4.}", "Cookie": "c=%7B.x.%7D; other=1"})
        self.assertEqual(status, 200)
        text = body.decode().strip()
        fields = text.split("~~")
        self.assertEqual(len(fields), 5, text)
        probe, a, flag, cookie, url = fields
        # Markers and symbols come back as character references, never run.
        self.assertEqual(probe, "&#37;user%&#124;&#123;.add&#124;3&#124;4&#46;}")
        self.assertEqual(a, "&#123;.add&#124;1&#124;2&#46;}")
        self.assertEqual(flag, "1")
        self.assertEqual(cookie, "&#123;.x&#46;}")
        self.assertEqual(url, "/~req?flag&b=2")

    def test_reply_headers_type_and_cookie(self):
        status, headers, body = self.z.get("/~shape")
        self.assertEqual((status, body.strip()), (200, b"done"))
        self.assertEqual(headers.get("x-extra"), "1")
        self.assertTrue(headers.get("content-type", "").startswith("text/x-test"), headers)
        self.assertEqual(headers.get("set-cookie"), "k=v; expires=Mon, 12 Jan 1970 13:46:41 GMT; path=/; ")

    def set_cookie_lines(self, path, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.z.port, timeout=5)
        try:
            conn.request("GET", path, headers=headers or {})
            resp = conn.getresponse()
            resp.read()
            return resp.status, resp.msg.get_all("Set-Cookie") or []
        finally:
            conn.close()

    def test_one_set_cookie_line_per_cookie(self):
        # A first visit: the session's cookie and the page's own two, each
        # page cookie with the value set last.
        status, lines = self.set_cookie_lines("/~cookies")
        self.assertEqual(status, 200)
        self.assertEqual(len(lines), 3, lines)
        self.assertTrue(lines[0].startswith("ZOF_SID_="), lines)
        self.assertEqual(lines[1:], ["j=2; path=/; ", "k=3; "])
        # With a known session only the page's cookies are sent.
        sid = lines[0].split(";")[0]
        status, lines = self.set_cookie_lines("/~cookies", {"Cookie": sid})
        self.assertEqual(lines, ["j=2; path=/; ", "k=3; "])

    def test_location_header_redirects(self):
        status, headers, _ = self.z.get("/~redir")
        self.assertEqual(status, 302)
        self.assertEqual(headers.get("location"), "/elsewhere/")

    def test_line_breaks_never_reach_the_head(self):
        status, headers, body = self.z.get("/~unsafe")
        self.assertEqual((status, body.strip()), (200, b"safe"))
        for name in ("x-evil", "x-evil2", "x-evil3", "x-a", "location"):
            self.assertNotIn(name, headers)
        self.assertNotIn("z=", headers.get("set-cookie", ""))

    def test_disconnection_reason_denies(self):
        status, _, body = self.z.get("/~refuse")
        self.assertEqual(status, 403)
        self.assertIn(b"not today", body)
        self.assertNotIn(b"never shown", body)

    def test_breadcrumbs_of_the_root(self):
        status, _, body = self.z.get("/~crumbs")
        self.assertEqual((status, body.strip()), (200, b"[/|]"))


class DefaultTemplateRightsTest(ZofTestCase):
    """A tree with "pub" (upload and delete for bob) and "ro" (no rights)."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-rights-")
        self.addCleanup(shutil.rmtree, self.data, True)
        for d in ("pub", "ro"):
            os.makedirs(os.path.join(self.data, d, "inner"))
            with open(os.path.join(self.data, d, "f.txt"), "w") as f:
                f.write(d)
        tree = os.path.join(self.data, "tree.vfs")
        write_tree(tree, {
            "pub": {"path": os.path.join(self.data, "pub"), "upload": ["bob"], "delete": ["bob"]},
            "ro": {"path": os.path.join(self.data, "ro")},
        })
        self.z = self.start_zof(tree, ini=ini_text(account("bob", "pw1")))
        self.z.wait_port()

    def page(self, path, **headers):
        status, _, body = self.z.get(path, headers=headers)
        self.assertEqual(status, 200, path)
        return body.decode("utf-8", "replace")

    def test_no_macro_errors_and_breadcrumbs(self):
        for path in ("/", "/pub/", "/pub/inner/"):
            page = self.page(path)
            self.assertNotIn("macro error", page, path)
        crumbs = self.page("/pub/inner/").split('<nav class="crumbs">')[1].split("</nav>")[0]
        self.assertEqual(crumbs, '<a href="/pub/">pub</a><a href="/pub/inner/">inner</a>')
        root = self.page("/").split('<nav class="crumbs">')[1].split("</nav>")[0]
        self.assertEqual(root, "")

    def test_actions_follow_the_rights(self):
        bob = basic("bob", "pw1")
        cases = [
            ("/pub/", {}, False),
            ("/pub/", bob, True),
            ("/pub/inner/", bob, True),  # a disk sub-folder inherits
            ("/ro/", bob, False),
            ("/", bob, False),
        ]
        for path, headers, allowed in cases:
            with self.subTest(path=path, who=headers.get("Authorization", "visitor")):
                page = self.page(path, **headers)
                for marker in ('id="delete"', 'id="rename"', 'id="move"', 'class="panel upload"'):
                    self.assertEqual(marker in page, allowed, marker)
        # A wrong password lends no rights: the credentials are refused.
        status, _, body = self.z.get("/pub/", headers=basic("bob", "nope"))
        self.assertEqual(status, 401)
        self.assertNotIn(b'id="delete"', body)


if __name__ == "__main__":
    unittest.main()
