"""The template file named by "tpl-file": its sections are served at "/~NAME",
edits show within seconds, a file without a valid "api level" is refused."""

import os
import re
import shutil
import tempfile
import unittest

from zofharness import ZofTestCase, sanitizer_reports, wait_until

GOOD = "[api level]\r\n2\r\n\r\n[hello]\r\n{.add|1|2.}\r\n"


class TemplateFileTest(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-tpl-data-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.tpl = os.path.join(self.data, "my.tpl")

    def write_tpl(self, text):
        with open(self.tpl, "w", encoding="utf-8", newline="") as f:
            f.write(text)

    def body(self, z, path):
        status, _, data = z.get(path)
        return status, data.decode("utf-8", "replace").strip()

    def wait_body(self, z, path, expected, timeout=6.0):
        if not wait_until(lambda: self.body(z, path) == expected, timeout, 0.2):
            self.fail("%s gave %r, expected %r" % (path, self.body(z, path), expected))

    def test_section_served_and_edits_followed(self):
        self.write_tpl(GOOD)
        z = self.start_zof("-c", "tpl-file=" + self.tpl)
        self.assertEqual(self.body(z, "/~hello"), (200, "3"))
        # A new section and a changed one, with a later time than the first
        # (written in the same second, the edit could keep its time).
        before = os.stat(self.tpl).st_mtime
        self.write_tpl(GOOD.replace("{.add|1|2.}", "{.add|40|2.}") + "\r\n[other]\r\nsecond\r\n")
        os.utime(self.tpl, (before + 2, before + 2))
        self.wait_body(z, "/~hello", (200, "42"))
        self.assertEqual(self.body(z, "/~other"), (200, "second"))

    def test_tpl_file_in_ini(self):
        self.write_tpl(GOOD)
        z = self.start_zof(ini="ZOF 1.0 build 400\r\ntpl-file=%s\r\n" % self.tpl)
        self.assertEqual(self.body(z, "/~hello"), (200, "3"))

    def test_file_without_valid_api_level_is_refused(self):
        for text in ("[hello]\r\n{.add|1|2.}\r\n",
                     "[api level]\r\n1\r\n[hello]\r\n{.add|1|2.}\r\n",
                     "[api level]\r\ntwo\r\n[hello]\r\n{.add|1|2.}\r\n"):
            with self.subTest(text=text):
                self.write_tpl(text)
                z = self.start_zof("-c", "tpl-file=" + self.tpl)
                status, _ = self.body(z, "/~hello")
                self.assertNotEqual(status, 200)
                # The built-in default keeps serving the root page.
                status, _, page = z.get("/")
                self.assertEqual(status, 200)
                self.assertIn(b"<html", page.lower())
                z.stop()

    def test_removed_file_falls_back_to_default(self):
        self.write_tpl(GOOD)
        z = self.start_zof("-c", "tpl-file=" + self.tpl)
        self.assertEqual(self.body(z, "/~hello"), (200, "3"))
        os.remove(self.tpl)
        self.assertTrue(wait_until(lambda: self.body(z, "/~hello")[0] != 200, 6, 0.2))


ITEMS_TPL = (
    "[api level]\r\n2\r\n\r\n"
    # An alias named like a pure macro takes its place in every item.
    "[special:alias]\r\nencode html=add|100|$1\r\n\r\n"
    "[file]\r\n<i>%sequential%|%ITEM-URL%|%item-name%|%unknown-sym%|{.encode html|%item-size-b%.}|%item-size-b%</i>\r\n\r\n"
    "[file.txt]\r\n<t>%item-name%|%Item-Type%</t>\r\n\r\n"
    "[]\r\n<list>%files%</list>\r\n\r\n"
    "[files]\r\n%list%\r\n"
)


def serve_folder_with_template(testcase, files, template):
    """A server publishing a folder "pub" of the given files (name: size in
    bytes) with `template` as its template file; removed after the test."""
    data = tempfile.mkdtemp(prefix="zof-tplitems-")
    testcase.addCleanup(shutil.rmtree, data, True)
    pub = os.path.join(data, "pub")
    os.makedirs(pub)
    for name, size in files.items():
        with open(os.path.join(pub, name), "wb") as f:
            f.write(b"z" * size)
    tpl = os.path.join(data, "items.tpl")
    with open(tpl, "w", encoding="utf-8", newline="") as f:
        f.write(template)
    return testcase.start_zof("-c", "tpl-file=" + tpl, pub)


class ItemSectionsTest(ZofTestCase):
    """A template's item sections, run once per item of a folder page: every
    symbol takes the item's own value, sections follow the extension, and
    what names hold is shown, never run."""

    def test_each_item_shows_its_own_values(self):
        files = {"%sequential%.bin": 4, "100%.bin": 2, "a.txt": 10, "b.bin": 3, "c|d.txt": 4, "{.x.}.bin": 1}
        z = serve_folder_with_template(self, files, ITEMS_TPL)
        status, _, page = z.get("/pub/")
        self.assertEqual(status, 200)
        rows = page.decode("utf-8").strip()
        self.assertEqual(rows, "<list>"
                         "<i>1|%25sequential%25.bin|&#37;sequential%.bin|%unknown-sym%|104|4</i>\r\n"
                         "<i>2|100%25.bin|100%.bin|%unknown-sym%|102|2</i>\r\n"
                         "<t>a.txt|file</t>\r\n"
                         "<i>3|b.bin|b.bin|%unknown-sym%|103|3</i>\r\n"
                         "<t>c|d.txt|file</t>\r\n"
                         "<i>4|{.x.}.bin|{.x.}.bin|%unknown-sym%|101|1</i>\r\n"
                         "</list>")


URLS_TPL = (
    "[api level]\r\n2\r\n\r\n"
    # Each item shows the URL the item before kept in a variable, then keeps its own.
    "[file]\r\n<u>{.^prev.}>%item-url%|%item-full-url%</u>{.set|prev|%item-url%.}\r\n\r\n"
    "[]\r\n%files%\r\n\r\n"
    "[files]\r\n%list%\r\n"
)


class ItemUrlsTest(ZofTestCase):
    """Items' URLs, long and short one after the other: each item has its own,
    its full URL is the folder's address before it, and a copy an item kept
    is not changed by the items after it."""

    def test_urls_of_items_one_after_the_other(self):
        names = ["a a rather long name with spaces.bin", "b.bin", "c d%e.bin", "d" * 40 + ".bin", "e.bin"]
        z = serve_folder_with_template(self, {name: 1 for name in names}, URLS_TPL)
        status, _, page = z.get("/pub/")
        self.assertEqual(status, 200)
        rows = [row.strip() for row in page.decode("utf-8").strip().split("\r\n")]
        urls = [n.replace("%", "%25").replace(" ", "%20") for n in names]
        self.assertEqual(len(rows), len(names))
        for i, row in enumerate(rows):
            prev = urls[i - 1] if i > 0 else ""
            self.assertRegex(row, r"^<u>" + re.escape(prev + ">" + urls[i] + "|http://") +
                             r"[^/]+" + re.escape("/pub/" + urls[i]) + "</u>$")


class RunScriptTest(unittest.TestCase):
    def test_run_script_prints_expansion(self):
        import subprocess
        from zofharness import zof_bin
        with tempfile.TemporaryDirectory() as d:
            script = os.path.join(d, "s.txt")
            with open(script, "w", encoding="utf-8") as f:
                f.write("sum={.add|2|5.}")
            env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(d, "xdg"))
            r = subprocess.run([zof_bin(), "--run-script", script], capture_output=True, env=env,
                               timeout=20, cwd=d)
            self.assertEqual((r.returncode, r.stdout), (0, b"sum=7"), r.stderr)
            self.assertEqual(sanitizer_reports(r.stderr.decode("utf-8", "replace")), [])
            r = subprocess.run([zof_bin(), "--run-script", os.path.join(d, "missing")],
                               capture_output=True, env=env, timeout=20, cwd=d)
            self.assertNotEqual(r.returncode, 0)
            self.assertEqual(r.stdout, b"")
            self.assertEqual(sanitizer_reports(r.stderr.decode("utf-8", "replace")), [])


if __name__ == "__main__":
    unittest.main()
