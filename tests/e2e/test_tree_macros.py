"""The tree macros (add folder, set item, delete item) used from a template
section and from the events file change the served tree, and "save vfs"
writes those changes: a restart from the saved file serves them."""

import os
import shutil
import tempfile
import unittest

from test_uploads import ini_text, write_tree
from zofharness import ZofTestCase


def script_path(path):
    # Scripts write disk paths with "\\" ("/" starts a URL of the tree).
    return path.replace("/", "\\")


class TreeMacrosCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-treemacros-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        self.old = os.path.join(self.data, "old")
        for d in (self.pub, self.old):
            os.makedirs(d)
        with open(os.path.join(self.pub, "a.txt"), "wb") as f:
            f.write(b"alpha")
        self.tree = os.path.join(self.data, "tree.vfs")
        write_tree(self.tree, {"pub": {"path": self.pub}, "old": {"path": self.old}})
        self.saved = os.path.join(self.data, "saved.vfs")

    def restart_from_saved(self):
        self.assertTrue(os.path.isfile(self.saved), "save vfs wrote nothing")
        z = self.start_zof(self.saved, cfg_dir=os.path.join(self.data, "cfg-again"))
        z.wait_port()
        return z

    def root_listing(self, z):
        status, _, page = z.get("/")
        self.assertEqual(status, 200)
        return page.decode("utf-8", "replace")


class TestTemplateSection(TreeMacrosCase):
    def test_section_edits_tree_and_saved_file_keeps_them(self):
        tpl = os.path.join(self.data, "edit.tpl")
        with open(tpl, "w", encoding="utf-8", newline="") as f:
            f.write("\r\n".join([
                "[api level]",
                "2",
                "",
                "[edit]",
                "{.add folder|virtual|box.}{.add folder|virtual|/box/inner.}"
                "{.add folder|virtual|taken.}"
                "{.set item|/box|name=crate.}"
                "{.set item|/crate|name=TAKEN.}"  # another item's name: refused
                "{.set item|/pub|hide=1.}"
                "{.delete item|/old.}{.delete item|/.}"
                "{.save vfs|" + script_path(self.saved) + ".}done",
                "",
            ]))
        z = self.start_zof(self.tree, ini=ini_text(tpl_file=tpl), cfg_dir=os.path.join(self.data, "cfg"))
        z.wait_port()
        status, _, body = z.get("/~edit")
        self.assertEqual((status, body.strip()), (200, b"done"))
        self.assertEqual(z.get("/crate/inner/")[0], 200)
        self.assertEqual(z.get("/old/")[0], 404)
        self.assertEqual(z.get("/box/")[0], 404)

        again = self.restart_from_saved()
        page = self.root_listing(again)
        self.assertIn('href="crate/"', page)
        self.assertIn('href="taken/"', page)
        self.assertNotIn("TAKEN", page)
        self.assertNotIn('href="pub/"', page)  # hidden, yet served
        self.assertNotIn('href="old/"', page)
        self.assertEqual(again.get("/crate/inner/")[0], 200)
        self.assertEqual(again.get("/old/")[0], 404)
        self.assertEqual(again.get("/pub/a.txt")[2], b"alpha")


class TestEventsFile(TreeMacrosCase):
    def test_server_start_section_edits_and_saves(self):
        cfg = os.path.join(self.data, "cfg")
        os.makedirs(cfg)
        with open(os.path.join(cfg, "zof.events"), "w", encoding="utf-8") as f:
            f.write("[server start]\n"
                    "{.add folder|virtual|evt.}{.add folder|real|" + script_path(self.old) + "|again.}"
                    "{.set item|/evt|name=fromEvents.}{.delete item|/pub.}"
                    "{.save vfs|" + script_path(self.saved) + ".}\n")
        z = self.start_zof(self.tree, cfg_dir=cfg)
        z.wait_port()
        again = self.restart_from_saved()
        page = self.root_listing(again)
        self.assertIn('href="fromEvents/"', page)
        self.assertIn('href="again/"', page)
        self.assertNotIn('href="evt/"', page)
        self.assertNotIn('href="pub/"', page)
        self.assertEqual(again.get("/again/")[0], 200)
        self.assertEqual(again.get("/pub/a.txt")[0], 404)


if __name__ == "__main__":
    unittest.main()
