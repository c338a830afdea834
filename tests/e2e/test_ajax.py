"""The default template's actions (new folder, rename, move, comment,
password change) work for an account with the right and touch nothing
for anyone else."""

import os
import unittest
import urllib.parse

from test_uploads import UploadCase, basic


class TestTemplateActions(UploadCase):
    def act(self, z, folder, section, fields, auth=None):
        body = urllib.parse.urlencode(fields).encode()
        headers = {"Content-Type": "application/x-www-form-urlencoded"}
        headers.update(auth or {})
        status, _, out = z.request("POST", folder + "?mode=section&id=" + section, body=body, headers=headers)
        return status, out.decode("utf-8", "replace").strip()

    def test_mkdir_rename_move_comment_need_rights(self):
        z = self.zof()
        bob = basic("bob", "pw1")
        with open(os.path.join(self.pub, "a.txt"), "w") as f:
            f.write("a")

        # Anyone may upload into pub, so anyone may make a folder there; only
        # bob may delete, so only bob renames and moves.
        self.assertEqual(self.act(z, "/pub/", "ajax.mkdir", {"name": "new"}), (200, "ok"))
        self.assertTrue(os.path.isdir(os.path.join(self.pub, "new")))
        self.assertNotEqual(self.act(z, "/pub/", "ajax.mkdir", {"name": "new"})[1], "ok")
        for bad in ("..", "x/y", "zof.tpl", "index.html", "a\x01b"):
            self.assertNotEqual(self.act(z, "/pub/", "ajax.mkdir", {"name": bad})[1], "ok", bad)
        self.assertEqual(sorted(os.listdir(self.pub)), ["a.txt", "new"])
        self.assertNotEqual(self.act(z, "/ro/", "ajax.mkdir", {"name": "x"})[1], "ok")
        self.assertEqual(os.listdir(os.path.join(self.data, "ro")), [])

        self.assertNotEqual(self.act(z, "/pub/", "ajax.rename", {"from": "a.txt", "to": "b.txt"})[1], "ok")
        self.assertTrue(os.path.exists(os.path.join(self.pub, "a.txt")))
        self.assertNotEqual(self.act(z, "/pub/", "ajax.rename", {"from": "a.txt", "to": "../b.txt"}, bob)[1], "ok")
        self.assertEqual(self.act(z, "/pub/", "ajax.rename", {"from": "a.txt", "to": "b.txt"}, bob), (200, "ok"))
        self.assertEqual(sorted(os.listdir(self.pub)), ["b.txt", "new"])

        self.assertNotEqual(self.act(z, "/pub/", "ajax.comment", {"files": "b.txt", "text": "hi"})[1], "ok")
        self.assertEqual(self.act(z, "/pub/", "ajax.comment", {"files": "b.txt", "text": "hello there"}, bob),
                         (200, "ok"))
        status, _, page = z.request("GET", "/pub/")
        self.assertIn(b"hello there", page)

        self.assertNotEqual(self.act(z, "/pub/", "ajax.move", {"files": "b.txt", "dst": "/ro/"}, bob)[1], "ok")
        self.assertTrue(os.path.exists(os.path.join(self.pub, "b.txt")))
        self.assertEqual(self.act(z, "/pub/", "ajax.move", {"files": "b.txt", "dst": "/pub/new/"}, bob),
                         (200, "ok"))
        self.assertTrue(os.path.exists(os.path.join(self.pub, "new", "b.txt")))

    def test_password_change_answers_ok_and_takes_effect(self):
        z = self.zof()
        self.assertNotEqual(self.act(z, "/", "ajax.changepwd", {"new": "pw2"})[1], "ok")
        self.assertEqual(self.act(z, "/", "ajax.changepwd", {"new": "pw2"}, basic("bob", "pw1")), (200, "ok"))
        self.assertEqual(z.request("GET", "/mine/", headers=basic("bob", "pw2"))[0], 200)
        self.assertNotEqual(z.request("GET", "/mine/", headers=basic("bob", "pw1"))[0], 200)


if __name__ == "__main__":
    unittest.main()
