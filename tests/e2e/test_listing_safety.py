"""What listings and pages show, seen from outside: a search or a recursive
listing reaches exactly the folders a visitor could open one by one; names,
comments, uploads and request values are shown as written, never run as
symbols or macros; the delete action leaves no comment behind."""

import html
import json
import os
import re
import shutil
import struct
import tempfile
import unittest
import urllib.parse

from test_uploads import _rec, account, basic, ini_text, multipart
from zofharness import ZofTestCase

FA_FOLDER, FA_VIRTUAL, FA_ROOT, FA_BROWSABLE = 1 << 0, 1 << 1, 1 << 2, 1 << 3
FA_ARCHIVABLE = 1 << 18
VR_MAGIC, VR_RESOURCE, VR_NAME, VR_FLAGS, VR_NODE, VR_FORMAT, VR_CHECKSUM = 0, 1, 2, 3, 4, 5, 6
VR_ADDED, VR_ROOT, VR_ACCESS, VR_UPLOAD, VR_VERSION, VR_BUILD, VR_DELETE = 9, 11, 12, 17, 22, 23, 27


def tree_node(path="", access=(), upload=(), delete=(), browsable=True, children=None):
    """A real folder of the tree (a dict for write_nested_tree)."""
    return {"path": path, "access": access, "upload": upload, "delete": delete,
            "browsable": browsable, "children": children or {}}


def _node_body(node, flags):
    if node.get("browsable", True):
        flags |= FA_BROWSABLE
    out = _rec(VR_FLAGS, struct.pack("<I", flags))
    if node.get("path"):
        out += _rec(VR_RESOURCE, node["path"])
    for kind, key in ((VR_ACCESS, "access"), (VR_UPLOAD, "upload"), (VR_DELETE, "delete")):
        if node.get(key):
            out += _rec(kind, ";".join(node[key]))
    for name, child in node.get("children", {}).items():
        body = _node_body(child, FA_FOLDER | FA_ARCHIVABLE)
        out += _rec(VR_NODE, body + _rec(VR_NAME, name) + _rec(VR_ADDED, struct.pack("<d", 46000.0)))
    return out


def write_nested_tree(path, children):
    """A tree file: a virtual root holding real folders, which may hold
    real folders of their own (`children`: name -> tree_node)."""
    body = _rec(VR_ROOT, _node_body({"children": children}, FA_FOLDER | FA_VIRTUAL | FA_ROOT | FA_ARCHIVABLE))
    words = len(body) // 4
    checksum = sum(struct.unpack("<%dI" % words, body[:words * 4])) & 0xFFFFFFFF
    head = (_rec(VR_MAGIC, "ZOF.VFS") + _rec(VR_FORMAT, struct.pack("<i", 1)) + _rec(VR_VERSION, "1.0")
            + _rec(VR_BUILD, "400") + _rec(VR_CHECKSUM, struct.pack("<I", checksum)))
    with open(path, "wb") as out:
        out.write(head + body)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def item_names(page):
    """The shown names of the item rows, decoded."""
    return [html.unescape(n) for n in re.findall(r'<td class="name"><a href="[^"]*">([^<]*)</a>', page)]


def item_paths(page):
    """The hrefs of the item rows, decoded."""
    return [urllib.parse.unquote(html.unescape(h)) for h in re.findall(r'<td class="name"><a href="([^"]*)"', page)]


class SafetyCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-listing-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(self.pub)
        self.tree = os.path.join(self.data, "tree.vfs")

    def zof(self, children, **options):
        write_nested_tree(self.tree, children)
        z = self.start_zof(self.tree, ini=ini_text(account("bob", "pw1"), **options))
        z.wait_port()
        return z

    def page(self, z, path, headers=None):
        status, _, body = z.get(path, headers=headers)
        return status, body.decode("utf-8", "replace")


class TestSearchReach(SafetyCase):
    """/pub/ is open to all; /pub/secret/ to bob only; /pub/closed/ is not
    browsable; /pub/open/ is a plain disk folder."""

    def setUp(self):
        super().setUp()
        for rel in ("plan-public.txt", "open/open-plan.txt", "secret/topsecret-plan.txt",
                    "secret/inner/deep-plan.txt", "closed/closed-plan.txt"):
            write(os.path.join(self.pub, rel), rel)
        self.z = self.zof({"pub": tree_node(self.pub, children={
            "secret": tree_node(os.path.join(self.pub, "secret"), access=["bob"]),
            "closed": tree_node(os.path.join(self.pub, "closed"), browsable=False),
        })})

    def found(self, query, headers=None, path="/pub/"):
        status, page = self.page(self.z, path + query, headers)
        self.assertEqual(status, 200, page[:300])
        return set(os.path.basename(p.rstrip("/")) for p in item_paths(page))

    def test_opening_the_folders_one_by_one(self):
        # The protected folder answers a browser with the login page (a
        # download tool with a challenge), the closed one is forbidden.
        self.assertEqual(self.z.get("/pub/secret/", headers={"Accept": "text/html"})[0], 403)
        self.assertEqual(self.z.get("/pub/secret/")[0], 401)
        self.assertEqual(self.z.get("/pub/closed/")[0], 403)
        self.assertEqual(self.z.get("/pub/closed/", headers=basic("bob", "pw1"))[0], 403)
        self.assertEqual(self.z.get("/pub/secret/", headers=basic("bob", "pw1"))[0], 200)

    def test_search_and_recursive_listing_stop_where_opening_stops(self):
        for query in ("?search=plan", "?recursive", "?recursive&search=plan"):
            with self.subTest(query=query):
                items = self.found(query)
                self.assertIn("plan-public.txt", items)
                self.assertIn("open-plan.txt", items)
                for hidden in ("topsecret-plan.txt", "deep-plan.txt", "inner", "closed-plan.txt"):
                    self.assertNotIn(hidden, items)
        # The protected folder is still listed, as on the one-level page.
        self.assertIn("secret", self.found("?recursive"))
        self.assertIn("secret", self.found(""))

    def test_the_allowed_user_searches_his_folder_but_not_a_closed_one(self):
        items = self.found("?search=plan", basic("bob", "pw1"))
        self.assertTrue({"plan-public.txt", "open-plan.txt", "topsecret-plan.txt", "deep-plan.txt"} <= items, items)
        self.assertNotIn("closed-plan.txt", items)

    def test_the_file_list_obeys_the_same_rule(self):
        status, _, body = self.z.get("/pub/~files.lst?search=plan")
        self.assertEqual(status, 200)
        urls = urllib.parse.unquote(body.decode())
        self.assertIn("plan-public.txt", urls)
        self.assertNotIn("topsecret", urls)
        self.assertNotIn("closed-plan", urls)


class TestNamesStayText(SafetyCase):
    """Names on disk, comments, uploads and request values that look like
    symbols or macros are shown as written. The server runs in its own
    temporary folder (%cwd%), which must never show."""

    def setUp(self):
        super().setUp()
        files = {
            "%cwd%.txt": "c",
            "%folder-resource%.txt": "r",
            "{.break.}%user%.txt": "m",
            "plain 100% & more.txt": "p",
            "noted.txt": "n",
            "plain 100% & more.txt.comment": "single %cwd% {.break.} note",
            "%cwd%/inside %port%.txt": "i",
            "zof.comments.txt": "noted.txt=see %cwd% and {.break.} here\r\n",
            "descript.ion": '"%cwd%" folder note %folder-resource%\r\n',
            "%cwd%/descript.ion": "inside_%port%.txt x\r\n",
        }
        for rel, data in files.items():
            write(os.path.join(self.pub, rel), data)
        self.z = self.zof({"pub": tree_node(self.pub, upload=["@anyone"])}, tpl_file=self.strings_tpl())

    def strings_tpl(self):
        """A template file over the default one, translating a refusal into
        a text with a backslash and quotes."""
        path = os.path.join(self.data, "strings.tpl")
        write(path, '[api level]\r\n2\r\n\r\n[+special:strings]\r\nFile name or extension forbidden.=Refused: "no" \\ here\r\n')
        return path

    def assert_nothing_ran(self, page):
        self.assertNotIn(self.z.tmp, page)
        self.assertNotIn(self.data, page)
        self.assertNotIn("macro error", page)

    def test_folder_page_items_and_comments(self):
        status, page = self.page(self.z, "/pub/")
        self.assertEqual(status, 200)
        self.assert_nothing_ran(page)
        names = item_names(page)
        for n in ("%cwd%.txt", "%folder-resource%.txt", "{.break.}%user%.txt", "plain 100% & more.txt", "%cwd%"):
            self.assertIn(n, names)
        text = html.unescape(page)
        self.assertIn("see %cwd% and {.break.} here", text)
        self.assertIn("folder note %folder-resource%", text)
        self.assertIn("single %cwd% {.break.} note", text)
        # The page went on to its end after the names and comments.
        self.assertIn("</html>", page)

    def test_folder_path_comment_and_recursive_items(self):
        status, page = self.page(self.z, "/pub/%25cwd%25/")
        self.assertEqual(status, 200)
        self.assert_nothing_ran(page)
        text = html.unescape(page)
        self.assertIn("<h1>%cwd%</h1>", text)
        self.assertIn("<title>%cwd% ", text)
        self.assertIn(">%cwd%</a>", text)  # the last crumb
        self.assertIn("folder note %folder-resource%", text)  # its comment, from the parent's descript.ion
        self.assertIn("inside %port%.txt", item_names(page))
        status, page = self.page(self.z, "/pub/?recursive")
        self.assertEqual(status, 200)
        self.assert_nothing_ran(page)
        self.assertIn("inside %port%.txt", item_names(page))
        self.assertIn("%cwd%/", html.unescape(page))  # its relative folder

    def test_search_box_shows_what_was_searched(self):
        for searched in ("{.x|y", "%cwd%", "a&b \"q\" <i>"):
            with self.subTest(searched=searched):
                status, page = self.page(self.z, "/pub/?search=" + urllib.parse.quote(searched))
                self.assertEqual(status, 200)
                self.assert_nothing_ran(page)
                value = re.search(r'<input type="search" name="search" value="([^"]*)"', page).group(1)
                self.assertEqual(html.unescape(value), searched)

    def upload(self, names, auth=None):
        body, ctype = multipart([(n, b"data") for n in names])
        headers = {"Content-Type": ctype}
        headers.update(auth or {})
        status, _, reply = self.z.request("POST", "/pub/", body=body, headers=headers)
        self.assertEqual(status, 200, reply[:300])
        self.assert_nothing_ran(reply.decode("utf-8", "replace"))
        return json.loads(reply.decode("utf-8"))

    def test_upload_results_are_json_with_the_names_as_sent(self):
        sent = ["%ip%%host%.txt", "Tom & Jerry's.txt", "{.break.}.txt", "bad:name.txt"]
        results = self.upload(sent, basic("bob", "pw1"))
        self.assertEqual([html.unescape(r["name"]) for r in results], sent)
        self.assertNotIn("127.0.0.1", json.dumps(results))
        self.assertEqual([r.get("err") for r in results], [None, None, None, 'Refused: "no" \\ here'])
        # Each stored file got its "uploaded by" comment.
        with open(os.path.join(self.pub, "descript.ion"), encoding="utf-8") as f:
            notes = f.read()
        for n in sent[:3]:
            self.assertIn('"%s" uploaded by bob' % n if " " in n else "%s uploaded by bob" % n, notes)


class TestDeleteForgetsComments(SafetyCase):
    """The delete action removes the deleted items' entries from the
    folder's comment files and their own side files; other entries stay."""

    def setUp(self):
        super().setUp()
        files = {
            "gone.txt": "g", "gone.txt.comment": "own note", "gone.txt.md5": "abc",
            "two words.txt": "t", "Kept.txt": "k", "x.log": "x", "y.log": "y",
            "old/inner.txt": "i", "old/descript.ion": "inner.txt stays with its folder\r\n",
            "descript.ion": ('gone.txt about to go\r\n"two words.txt" spaced\r\nkept.txt stays\r\n'
                             'x.log log\r\nold folder note\r\n*.log all logs\r\n'),
            "zof.comments.txt": "GONE.TXT=shouted\r\nkept.txt=here\r\ny.log=log\r\nold=also\r\n",
        }
        for rel, data in files.items():
            write(os.path.join(self.pub, rel), data)
        self.z = self.zof({"pub": tree_node(self.pub, delete=["bob"])})

    def delete(self, *selection):
        body = "action=delete&" + "&".join("selection=" + urllib.parse.quote(n) for n in selection)
        headers = {"Content-Type": "application/x-www-form-urlencoded"}
        headers.update(basic("bob", "pw1"))
        status, _, _ = self.z.request("POST", "/pub/", body=body.encode(), headers=headers)
        self.assertEqual(status, 200)

    def lines(self, name):
        with open(os.path.join(self.pub, name), encoding="utf-8") as f:
            return [l for l in f.read().splitlines() if l]

    def test_entries_and_side_files_go_with_the_item(self):
        self.delete("gone.txt", "two words.txt")
        self.assertEqual(sorted(os.listdir(self.pub)),
                         ["Kept.txt", "descript.ion", "old", "x.log", "y.log", "zof.comments.txt"])
        self.assertEqual(self.lines("descript.ion"),
                         ["kept.txt stays", "x.log log", "old folder note", "*.log all logs"])
        self.assertEqual(self.lines("zof.comments.txt"), ["kept.txt=here", "y.log=log", "old=also"])

    def test_masks_and_folders(self):
        self.delete("*.log", "old/")
        self.assertFalse(os.path.exists(os.path.join(self.pub, "old")))
        # The mask line is a comment for names to come: it stays.
        self.assertEqual(self.lines("descript.ion"),
                         ["gone.txt about to go", '"two words.txt" spaced', "kept.txt stays", "*.log all logs"])
        self.assertEqual(self.lines("zof.comments.txt"), ["GONE.TXT=shouted", "kept.txt=here"])
        # A new file of a deleted name does not inherit the old comment.
        write(os.path.join(self.pub, "x.log"), "new")
        status, page = self.page(self.z, "/pub/")
        self.assertNotIn(">log<", page)

    def test_a_file_left_without_lines_goes(self):
        self.delete("old/inner.txt", "gone.txt", "two words.txt", "Kept.txt", "x.log", "y.log")
        self.assertEqual(os.listdir(os.path.join(self.pub, "old")), [])
        self.assertEqual(self.lines("descript.ion"), ["old folder note", "*.log all logs"])
        self.assertEqual(self.lines("zof.comments.txt"), ["old=also"])


if __name__ == "__main__":
    unittest.main()
