"""Folder pages and special pages of the built-in template, seen from outside:
what a listing shows, the listing variables, names that look like markup or
macros, partial templates, the file list, the error pages, and a real browser."""

import os
import re
import shutil
import socket
import subprocess
import tempfile
import unittest
import urllib.parse

from zofharness import ZofTestCase


class PagesTestCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.base = tempfile.mkdtemp(prefix="zof-pages-")
        self.addCleanup(shutil.rmtree, self.base, True)
        self.pub = os.path.join(self.base, "pub")
        files = {
            "alpha.txt": b"a" * 10,
            "beta.mp3": b"b" * 2048,
            "gamma big red.txt": b"g" * 300,
            "{.disconnect.}.txt": b"macro",
            "<b>.txt": b"markup",
            ".hidden": b"h",
            "zof.comments.txt": "alpha.txt=first comment\r\nbeta.mp3=<i>sound {.x.}</i>\r\n".encode(),
            "sub/inner.txt": b"i",
            "sub/deep/big.txt": b"d",
            "themed/zof.diff.tpl": b"[folder panel]\n<h1>THEMED-PANEL %folder-name%</h1>\n",
            "themed/inside/x.txt": b"x",
        }
        for rel, data in files.items():
            path = os.path.join(self.pub, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        os.makedirs(os.path.join(self.pub, "empty"), exist_ok=True)

    def zof(self, *args):
        return self.start_zof(*args, self.pub)

    def page(self, z, path, **kw):
        status, headers, body = z.get(path, **kw)
        return status, headers, body.decode("utf-8", "replace")


def item_links(html):
    """The hrefs of the item rows of a folder page."""
    return re.findall(r'<td class="name"><a href="([^"]*)"', html)


class TestFolderPage(PagesTestCase):
    def test_lists_exactly_the_visible_items(self):
        z = self.zof()
        status, headers, html = self.page(z, "/pub/")
        self.assertEqual(status, 200)
        self.assertIn("no-cache", headers.get("cache-control", ""))
        links = item_links(html)
        self.assertEqual(sorted(urllib.parse.unquote(l) for l in links), sorted([
            "empty/", "sub/", "themed/", "alpha.txt", "beta.mp3", "gamma big red.txt",
            "{.disconnect.}.txt", "<b>.txt"]))
        for hidden in (".hidden", "zof.comments.txt", "zof.diff.tpl"):
            self.assertNotIn(hidden, html)
        # Sizes and comments of the items.
        self.assertIn("2.0 K", html)
        self.assertIn("first comment", html)
        # A comment is shown, never run: the macro stays as text.
        self.assertIn("{.x.}", html)

    def test_names_that_look_like_macros_or_markup_stay_text(self):
        z = self.zof()
        status, _, html = self.page(z, "/pub/")
        self.assertEqual(status, 200)
        self.assertIn("{.disconnect.}.txt", html)
        self.assertIn("&lt;b&gt;.txt", html)
        self.assertNotIn("<b>.txt", html)
        # The page came whole: the connection was not dropped by a macro.
        self.assertIn("</html>", html)

    def test_search_sort_paging_recursion(self):
        z = self.zof()
        _, _, html = self.page(z, "/pub/?search=big+red")
        self.assertEqual([urllib.parse.unquote(l) for l in item_links(html)], ["gamma big red.txt"])
        _, _, html = self.page(z, "/pub/?search=big")
        self.assertIn("sub/deep/big.txt", [urllib.parse.unquote(l) for l in item_links(html)])
        _, _, html = self.page(z, "/pub/?sort=s&rev=1&foldersbefore=0")
        names = [urllib.parse.unquote(l) for l in item_links(html)]
        self.assertEqual(names[0], "beta.mp3")
        _, _, html = self.page(z, "/pub/?sort=s")
        names = [urllib.parse.unquote(l) for l in item_links(html)]
        self.assertTrue(names[0].endswith("/"))  # folders before files
        _, _, all_html = self.page(z, "/pub/?sort=n")
        every = item_links(all_html)
        _, _, html = self.page(z, "/pub/?limit=3&page=2")
        page2 = item_links(html)
        self.assertEqual(len(page2), 3)
        _, _, html = self.page(z, "/pub/?limit=3&page=1")
        self.assertFalse(set(page2) & set(item_links(html)))
        _, _, html = self.page(z, "/pub/?recursive")
        rec = [urllib.parse.unquote(l) for l in item_links(html)]
        self.assertIn("sub/inner.txt", rec)
        self.assertIn("sub/deep/big.txt", rec)
        _, _, html = self.page(z, "/pub/?recursive=1")
        self.assertNotIn("sub/inner.txt", [urllib.parse.unquote(l) for l in item_links(html)])
        self.assertTrue(every)

    def test_partial_template_applies_to_folder_and_below(self):
        z = self.zof()
        _, _, html = self.page(z, "/pub/themed/")
        self.assertIn("THEMED-PANEL themed", html)
        _, _, html = self.page(z, "/pub/themed/inside/")
        self.assertIn("THEMED-PANEL inside", html)
        _, _, html = self.page(z, "/pub/")
        self.assertNotIn("THEMED-PANEL", html)

    def test_items_join_the_page_in_order(self):
        # A page of its own: counters run through the items and on after
        # them, quote markers never show, and a macro an item leaves for
        # after the list is run by the page.
        for rel, data in {
            "own/zof.diff.tpl": b"[]\n<ol>%list%</ol> after=%sequential% n=%number%\n"
                                b"[file]\n<li>%item-name% #%sequential% %item-url%</li>\n",
            "own/a.txt": b"1", "own/b|c.txt": b"2", "own/d.txt": b"3",
            "late/zof.diff.tpl": b"[]\n<ol>%list%</ol>\n"
                                 b"[file]\n<li>%item-name% {.after the list|{:{.add|%number%|40.}:}.}</li>\n",
            "late/x.txt": b"x", "late/y.txt": b"y",
        }.items():
            path = os.path.join(self.pub, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        z = self.zof()
        status, _, html = self.page(z, "/pub/own/?sort=n")
        self.assertEqual(status, 200)
        self.assertEqual(re.findall(r"<li>(.*?)</li>", html),
                         ["a.txt #1 a.txt", "b|c.txt #2 b|c.txt", "d.txt #3 d.txt"])
        self.assertIn("after=4 n=3", html)
        self.assertNotIn("{:", html)
        self.assertNotIn(":}", html)
        _, _, html = self.page(z, "/pub/late/?sort=n")
        self.assertEqual(re.findall(r"<li>(.*?)</li>", html), ["x.txt 42", "y.txt 42"])

    def test_file_list_has_one_full_url_per_line(self):
        z = self.zof()
        status, _, text = self.page(z, "/pub/~files.lst")
        self.assertEqual(status, 200)
        lines = [l for l in text.splitlines() if l]
        prefix = "http://127.0.0.1:%d/pub/" % z.port
        self.assertEqual(len(lines), 8, text)
        for l in lines:
            self.assertTrue(l.startswith(prefix), l)
        self.assertIn(prefix + "alpha.txt", lines)

    def test_folder_names_with_markup_and_macros_show_as_text(self):
        # Met as the folder of a search result and as the page's own folder:
        # escaped, and the macro in the name never runs.
        name = "<i>x{.cut|2|3|abcdef.}"
        os.makedirs(os.path.join(self.pub, name))
        with open(os.path.join(self.pub, name, "found.txt"), "wb") as f:
            f.write(b"f")
        shown = "&lt;i&gt;x{.cut|2|3|abcdef.}"
        z = self.zof("-c", "getright-template=yes")
        status, _, html = self.page(z, "/pub/?search=found*&recursive")
        self.assertEqual(status, 200)
        self.assertIn("<small>%s/</small>" % shown, html)
        status, _, html = self.page(z, "/pub/" + urllib.parse.quote(name) + "/")
        self.assertEqual(status, 200)
        self.assertIn("<h1>%s</h1>" % shown, html)
        self.assertIn("<title>%s · ZOF</title>" % shown, html)
        # The download-manager template shows the folder's path.
        _, _, dm = self.page(z, "/pub/" + urllib.parse.quote(name) + "/",
                             headers={"User-Agent": "FDM 5"})
        self.assertIn("<h1>/pub/%s/</h1>" % shown, dm)
        for page in (html, dm, self.page(z, "/pub/?search=found*&recursive")[2]):
            self.assertNotIn("<i>x", page)
            self.assertNotIn("xbcd", page)  # what the macro would have made
        # A template that shows the item's folder paths as they are: the
        # text of the name, not what its macro would make.
        with open(os.path.join(self.pub, "zof.diff.tpl"), "w") as f:
            f.write("[file]\nREL[%item-relative-folder%] IN[%item-folder%]\n")
        _, _, html = self.page(z, "/pub/?search=found*&recursive")
        self.assertIn("REL[%s/] IN[/pub/%s/]" % (name, name), html)

    def test_assets_are_served_with_their_types(self):
        z = self.zof()
        status, headers, css = self.page(z, "/~style.css")
        self.assertEqual(status, 200)
        self.assertTrue(headers["content-type"].startswith("text/css"))
        self.assertIn("--accent", css)
        status, headers, _ = self.page(z, "/~lib.js")
        self.assertEqual(status, 200)
        self.assertIn("javascript", headers["content-type"])
        self.assertEqual(self.page(z, "/~file")[0], 404)  # private sections are not served


class TestSpecialPages(PagesTestCase):
    def test_not_found(self):
        z = self.zof()
        status, _, html = self.page(z, "/pub/nothing-here.txt")
        self.assertEqual(status, 404)
        self.assertIn("Not found", html)
        self.assertIn('class="panel error-box"', html)  # wrapped in error-page

    def test_deny(self):
        z = self.zof()
        status, _, html = self.page(z, "/~upload")  # the root is not a real folder
        self.assertEqual(status, 403)
        self.assertIn("Forbidden", html)

    def test_unauth(self):
        z = self.zof()
        import base64
        cred = base64.b64encode(b"nobody:nothing").decode()
        status, _, html = self.page(z, "/pub/", headers={"Authorization": "Basic " + cred})
        self.assertEqual(status, 401)
        self.assertIn("Unauthorized", html)

    def test_overload(self):
        z = self.start_zof("-c", "max-connections=1", self.pub)
        # Ahead of the page's request in the listen queue: counted first.
        keep = socket.create_connection(("127.0.0.1", z.port))
        self.addCleanup(keep.close)
        status, _, html = self.page(z, "/pub/")
        self.assertEqual(status, 429)
        self.assertIn("Server busy", html)


class TestBrowser(PagesTestCase):
    CHROMIUM = "/usr/bin/chromium"

    def chromium(self, *args, timeout=60):
        profile = tempfile.mkdtemp(prefix="zof-chromium-")
        self.addCleanup(shutil.rmtree, profile, True)
        cmd = [self.CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--user-data-dir=" + profile] + list(args)
        return subprocess.run(cmd, capture_output=True, timeout=timeout)

    def test_default_template_in_a_real_browser(self):
        if not os.path.exists(self.CHROMIUM):
            self.fail("chromium is not installed at %s: run scripts/setup.sh browser" % self.CHROMIUM)
        z = self.zof()
        out_dir = os.environ.get("ZOF_TEST_OUTPUT", os.getcwd())
        for path, shot, expected in (("/", "pages-root.png", "pub/"), ("/pub/", "pages-pub.png", "alpha.txt")):
            url = "http://127.0.0.1:%d%s" % (z.port, path)
            r = self.chromium("--dump-dom", url)
            dom = r.stdout.decode("utf-8", "replace")
            self.assertIn("</html>", dom, r.stderr.decode("utf-8", "replace")[-2000:])
            # The script puts a selection box before each item's link, its
            # value the link's own.
            rows = re.findall(r'<td class="name"><input ([^>]*)><a href="([^"]*)"', dom)
            hrefs = [h for _, h in rows]
            self.assertIn(expected, [urllib.parse.unquote(h) for h in hrefs])
            for box, href in rows:
                self.assertIn('name="selection"', box)
                self.assertIn('value="%s"' % href, box)
            # Every item link answers.
            for h in hrefs[:5]:
                status, _, _ = z.get(urllib.parse.urljoin(path, h))
                self.assertEqual(status, 200, h)
            png = os.path.join(out_dir, shot)
            self.chromium("--screenshot=" + png, "--window-size=1200,900", url)
            self.assertTrue(os.path.exists(png) and os.path.getsize(png) > 1000, png)


if __name__ == "__main__":
    unittest.main()
