"""Requests that change something: the template's action handlers answer
POST only, every POST (actions, deletions, uploads, logins) named by
another site through Origin or Referer is refused, a password change
reports what it stored, a move never replaces what lies at its target,
and replies carry the headers that keep visitors' files from acting as
the site."""

import os
import re
import unittest
import urllib.parse

from test_uploads import UploadCase, basic, multipart

EVIL = "http://evil.example"


class StateCase(UploadCase):
    def form(self, z, path, fields, headers=None, method="POST"):
        h = {"Content-Type": "application/x-www-form-urlencoded"}
        h.update(headers or {})
        body = urllib.parse.urlencode(fields).encode()
        status, hdrs, out = z.request(method, path, body=body if method == "POST" else None, headers=h)
        return status, out.decode("utf-8", "replace").strip()

    def action(self, z, folder, section, fields, headers=None, method="POST"):
        return self.form(z, folder + "?mode=section&id=" + section, fields, headers, method)

    def bob_password_is(self, z, pwd):
        return z.request("GET", "/mine/", headers=basic("bob", pwd))[0] == 200

    def write(self, rel, text):
        path = os.path.join(self.data, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
        return path


class TestActionsOnlyByPost(StateCase):
    def test_get_never_runs_an_action(self):
        z = self.zof()
        bob = basic("bob", "pw1")
        # A plain GET once emptied the password of the user it came from.
        for url in ("/?mode=section&id=ajax.changepwd&new=", "/~ajax.changepwd"):
            status, _, _ = z.request("GET", url, headers=bob)
            self.assertEqual(status, 405, url)
        self.assertTrue(self.bob_password_is(z, "pw1"))
        status, hdrs, _ = z.request("GET", "/pub/?mode=section&id=ajax.mkdir&name=x")
        self.assertEqual(status, 405)
        self.assertEqual(hdrs.get("allow"), "POST")
        self.assertEqual(z.request("HEAD", "/pub/?mode=section&id=ajax.mkdir")[0], 405)
        self.assertEqual(os.listdir(self.pub), [])
        # Sections that change nothing still answer a GET.
        self.assertEqual(z.request("GET", "/~style.css")[0], 200)

    def test_password_change_reports_what_was_stored(self):
        z = self.zof()
        bob = basic("bob", "pw1")
        self.assertNotEqual(self.action(z, "/", "ajax.changepwd", {"new": ""}, bob)[1], "ok")
        self.assertTrue(self.bob_password_is(z, "pw1"))
        # A password the account rules refuse is not stored, and not "ok".
        self.assertNotEqual(self.action(z, "/", "ajax.changepwd", {"new": "x;y"}, bob)[1], "ok")
        self.assertTrue(self.bob_password_is(z, "pw1"))
        self.assertEqual(self.action(z, "/", "ajax.changepwd", {"new": "pw2"}, bob), (200, "ok"))
        self.assertTrue(self.bob_password_is(z, "pw2"))


class TestCrossSiteRefused(StateCase):
    def test_actions_named_by_another_site(self):
        z = self.zof()
        here = "http://127.0.0.1:%d" % z.port
        refused = [
            {"Origin": EVIL},
            {"Origin": "null"},
            {"Origin": "http://127.0.0.1:1"},          # another port is another site
            {"Origin": "http://evil.example:%d" % z.port},
            {"Referer": EVIL + "/page.html"},
            {"Origin": EVIL, "Referer": here + "/pub/"},  # Origin decides when present
        ]
        for headers in refused:
            status, body = self.action(z, "/pub/", "ajax.mkdir", {"name": "made"}, headers)
            self.assertEqual(status, 403, (headers, body))
            self.assertFalse(os.path.exists(os.path.join(self.pub, "made")), headers)
        # The site's own pages, and clients that name no page at all.
        allowed = [{"Origin": here}, {"Referer": here + "/pub/"}, {"Origin": here.upper()}, {}]
        for i, headers in enumerate(allowed):
            self.assertEqual(self.action(z, "/pub/", "ajax.mkdir", {"name": "ok%d" % i}, headers), (200, "ok"))
        self.assertEqual(self.listing(), ["ok0", "ok1", "ok2", "ok3"])

    def test_password_change_from_another_site(self):
        z = self.zof()
        h = dict(basic("bob", "pw1"), Origin=EVIL)
        self.assertEqual(self.action(z, "/", "ajax.changepwd", {"new": "pw2"}, h)[0], 403)
        self.assertTrue(self.bob_password_is(z, "pw1"))

    def test_delete_upload_and_login_from_another_site(self):
        self.write("pub/a.txt", "a")
        z = self.zof()
        bob = basic("bob", "pw1")
        fields = {"action": "delete", "selection": "a.txt"}
        self.assertEqual(self.form(z, "/pub/", fields, dict(bob, Origin=EVIL))[0], 403)
        self.assertEqual(self.listing(), ["a.txt"])
        self.assertEqual(self.form(z, "/pub/", fields, bob)[0], 200)
        self.assertEqual(self.listing(), [])

        status, _, _ = self.post(z, "/pub/", [("up.txt", b"data")], headers={"Referer": EVIL + "/"})
        self.assertEqual(status, 403)
        self.assertEqual(self.listing(), [])
        status, _, _ = self.post(z, "/pub/", [("up.txt", b"data")], headers={"Origin": "http://127.0.0.1:%d" % z.port})
        self.assertEqual(status, 200)
        self.assertEqual(self.listing(), ["up.txt"])

        # A login planted by another site binds nothing to the session.
        status, hdrs, _ = z.request("GET", "/")
        cookie = {"Cookie": hdrs["set-cookie"].split(";")[0]}
        status, body = self.form(z, "/?mode=login", {"user": "bob", "password": "pw1"}, dict(cookie, Origin=EVIL))
        self.assertEqual(status, 403)
        self.assertNotEqual(body, "ok")
        self.assertNotEqual(z.request("GET", "/mine/", headers=cookie)[0], 200)
        self.assertEqual(self.form(z, "/?mode=login", {"user": "bob", "password": "pw1"}, cookie), (200, "ok"))
        self.assertEqual(z.request("GET", "/mine/", headers=cookie)[0], 200)


class TestFormToken(StateCase):
    """The site's forms carry a token bound to the session; a POST that
    carries a token must carry that one."""

    def session_and_token(self, z):
        status, hdrs, page = z.request("GET", "/pub/", headers=basic("bob", "pw1"))
        self.assertEqual(status, 200)
        cookie = {"Cookie": hdrs["set-cookie"].split(";")[0]}
        status, _, page = z.request("GET", "/pub/", headers=dict(cookie, **basic("bob", "pw1")))
        tokens = set(re.findall(r'name="csrf-token" value="([^"]*)"', page.decode()))
        self.assertEqual(len(tokens), 1, tokens)
        token = tokens.pop()
        self.assertRegex(token, "^[0-9a-f]{32}$")
        return dict(cookie, **basic("bob", "pw1")), token

    def test_actions_and_uploads_check_a_given_token(self):
        self.write("pub/a.txt", "a")
        z = self.zof()
        who, token = self.session_and_token(z)
        # Another session's page has another token.
        other, other_token = self.session_and_token(z)
        self.assertNotEqual(token, other_token)
        for wrong in ("wapiti", other_token, ""):
            status, _ = self.action(z, "/pub/", "ajax.mkdir", {"name": "made", "csrf-token": wrong}, who)
            self.assertEqual(status, 403, wrong)
        self.assertEqual(self.listing(), ["a.txt"])
        self.assertEqual(self.action(z, "/pub/", "ajax.mkdir", {"name": "made", "csrf-token": token}, who),
                         (200, "ok"))
        # Programs that post without the field are judged by Origin alone.
        self.assertEqual(self.action(z, "/pub/", "ajax.mkdir", {"name": "made2"}, who), (200, "ok"))

        status, _, _ = self.post(z, "/pub/", [("up.txt", b"data")], fields=[("csrf-token", "wapiti")], headers=who)
        self.assertEqual(status, 403)
        self.assertNotIn("up.txt", self.listing())
        status, _, _ = self.post(z, "/pub/", [("up.txt", b"data")], fields=[("csrf-token", token)], headers=who)
        self.assertEqual(status, 200)
        self.assertIn("up.txt", self.listing())

        fields = {"action": "delete", "selection": "a.txt", "csrf-token": "wapiti"}
        self.assertEqual(self.form(z, "/pub/", fields, who)[0], 403)
        self.assertIn("a.txt", self.listing())
        fields["csrf-token"] = token
        self.assertEqual(self.form(z, "/pub/", fields, who)[0], 200)
        self.assertNotIn("a.txt", self.listing())

    def test_logout_named_by_another_site_is_refused(self):
        z = self.zof()
        status, hdrs, _ = z.request("GET", "/")
        cookie = {"Cookie": hdrs["set-cookie"].split(";")[0]}
        self.assertEqual(self.form(z, "/?mode=login", {"user": "bob", "password": "pw1"}, cookie), (200, "ok"))
        status, _, _ = z.request("GET", "/?mode=logout", headers=dict(cookie, Referer=EVIL + "/"))
        self.assertEqual(status, 403)
        self.assertEqual(z.request("GET", "/mine/", headers=cookie)[0], 200)
        self.assertEqual(z.request("GET", "/?mode=logout", headers=cookie)[0], 200)
        self.assertNotEqual(z.request("GET", "/mine/", headers=cookie)[0], 200)


class TestMoveNeverReplaces(StateCase):
    def test_move_keeps_what_lies_at_the_target(self):
        # bob may delete in "pub" but only upload into "mine".
        kept = self.write("mine/a.txt", "precious")
        self.write("pub/a.txt", "intruder")
        self.write("mine/d/in.txt", "precious too")
        self.write("pub/d/in.txt", "intruder")
        self.write("pub/d/new.txt", "new")
        self.write("pub/b.txt", "b")
        z = self.zof()
        bob = basic("bob", "pw1")
        for name in ("a.txt", "d"):
            self.assertNotEqual(self.action(z, "/pub/", "ajax.move", {"files": name, "dst": "/mine/"}, bob)[1], "ok")
        with open(kept) as f:
            self.assertEqual(f.read(), "precious")
        with open(os.path.join(self.data, "mine", "d", "in.txt")) as f:
            self.assertEqual(f.read(), "precious too")
        self.assertTrue(os.path.exists(os.path.join(self.pub, "a.txt")))
        self.assertTrue(os.path.exists(os.path.join(self.pub, "d", "in.txt")))
        # What does not collide still moves.
        self.assertEqual(self.action(z, "/pub/", "ajax.move", {"files": "b.txt", "dst": "/mine/"}, bob), (200, "ok"))
        self.assertTrue(os.path.exists(os.path.join(self.data, "mine", "b.txt")))

    def test_rename_keeps_what_lies_at_the_target(self):
        self.write("pub/a.txt", "a")
        self.write("pub/b.txt", "b")
        z = self.zof()
        self.assertNotEqual(self.action(z, "/pub/", "ajax.rename", {"from": "a.txt", "to": "b.txt"},
                                        basic("bob", "pw1"))[1], "ok")
        with open(os.path.join(self.pub, "b.txt")) as f:
            self.assertEqual(f.read(), "b")


class TestProtectiveHeaders(StateCase):
    def setUp(self):
        super().setUp()
        page = "<html><script>document.title='run'</script></html>"
        self.write("pub/page.html", page)
        self.write("pub/deep/page.html", page)
        self.write("ro/page.html", page)

    def csp(self, hdrs):
        return hdrs.get("content-security-policy", "")

    def test_visitor_files_are_sandboxed_the_site_is_not(self):
        z = self.zof()
        for path in ("/pub/page.html", "/pub/deep/page.html"):
            status, hdrs, _ = z.request("GET", path)
            self.assertEqual(status, 200, path)
            self.assertIn("sandbox", self.csp(hdrs), path)
            self.assertEqual(hdrs.get("x-content-type-options"), "nosniff", path)
        # The operator's own pages keep working as a website.
        status, hdrs, body = z.request("GET", "/ro/page.html")
        self.assertEqual(status, 200)
        self.assertNotIn("sandbox", self.csp(hdrs))
        self.assertEqual(hdrs.get("x-content-type-options"), "nosniff")

    def test_program_pages_forbid_framing_by_others(self):
        z = self.zof()
        for path in ("/", "/pub/", "/missing.txt", "/~style.css", "/mine/"):
            status, hdrs, _ = z.request("GET", path, headers={"Accept": "text/html"})
            self.assertIn("frame-ancestors 'self'", self.csp(hdrs), (path, status))
            self.assertEqual(hdrs.get("x-content-type-options"), "nosniff", path)
        status, hdrs, _ = z.request("GET", "/~img_file")
        self.assertEqual(hdrs.get("x-content-type-options"), "nosniff")

    def test_option_sandboxes_every_file(self):
        z = self.zof(sandbox_all_files="yes")
        status, hdrs, _ = z.request("GET", "/ro/page.html")
        self.assertEqual(status, 200)
        self.assertIn("sandbox", self.csp(hdrs))


if __name__ == "__main__":
    unittest.main()
