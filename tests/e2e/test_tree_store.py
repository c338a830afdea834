"""The saved tree: a tree file named on the command line is served, a changed
tree is kept in "~temp.vfs" when the program is stopped and comes back at the
next start."""

import os
import shutil
import tempfile
import unittest

from zofharness import ZofTestCase, read_cfg, wait_until


class TreeStoreTest(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-tree-data-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(os.path.join(self.pub, "sub"))
        self.write(os.path.join(self.pub, "a.txt"), b"alpha\n")
        self.write(os.path.join(self.pub, "sub", "b.txt"), b"beta\n")
        self.solo = os.path.join(self.data, "solo.txt")
        self.write(self.solo, b"solo file\n")

    @staticmethod
    def write(path, data):
        with open(path, "wb") as f:
            f.write(data)

    def assert_served(self, z):
        for path, body in (("/pub/a.txt", b"alpha\n"), ("/pub/sub/b.txt", b"beta\n"),
                           ("/solo.txt", b"solo file\n")):
            status, _, got = z.get(path)
            self.assertEqual((status, got), (200, body), path)
        status, _, page = z.get("/pub/")
        self.assertEqual(status, 200)
        self.assertIn(b"a.txt", page)

    def make_saved_tree(self, cfg_dir):
        """Starts zof, hands it a folder and a file through the single-instance
        channel (additions to its tree, unlike the names on its own command
        line), stops it; returns ~temp.vfs's path."""
        z = self.start_zof(cfg_dir=cfg_dir, single_instance=True)
        second = self.make_zof(self.pub, self.solo, single_instance=True, runtime_dir=z.runtime_dir,
                               use_port=False)
        second.start(wait_ready=False)
        self.assertEqual(second.wait_exit(5), 0, second.dump())
        self.assertIsNotNone(z.err.wait_for(lambda l: l.startswith("ZOF received command line"), 5))
        # Handed-over files join the tree at the next heartbeat tick.
        self.assertTrue(wait_until(lambda: z.get("/solo.txt")[0] == 200, 2))
        self.assert_served(z)
        rc, _ = z.stop()
        self.assertEqual(rc, 0)
        temp = os.path.join(cfg_dir, "~temp.vfs")
        self.assertTrue(os.path.isfile(temp), "no ~temp.vfs after SIGTERM")
        return temp

    def test_changed_tree_is_kept_and_restored(self):
        cfg = os.path.join(self.data, "cfg")
        temp = self.make_saved_tree(cfg)
        self.assertGreater(os.path.getsize(temp), 0)
        # Not world-readable: a tree may carry account names and macros.
        self.assertEqual(os.stat(temp).st_mode & 0o077, 0)
        z = self.start_zof(cfg_dir=cfg)
        self.assert_served(z)
        status, _, _ = z.get("/nothing-here.txt")
        self.assertEqual(status, 404)

    def test_unchanged_tree_writes_nothing(self):
        cfg = os.path.join(self.data, "cfg")
        z = self.start_zof(cfg_dir=cfg)
        rc, _ = z.stop()
        self.assertEqual(rc, 0)
        self.assertFalse(os.path.exists(os.path.join(cfg, "~temp.vfs")))
        # A restored tree that is not changed again (no downloads counted
        # either) is not written back.
        self.make_saved_tree(os.path.join(self.data, "cfg2"))
        temp = os.path.join(self.data, "cfg2", "~temp.vfs")
        before = os.stat(temp).st_mtime_ns
        z = self.start_zof(cfg_dir=os.path.join(self.data, "cfg2"))
        z.stop()
        self.assertEqual(os.stat(temp).st_mtime_ns, before)

    def test_tree_file_argument_is_served(self):
        temp = self.make_saved_tree(os.path.join(self.data, "cfg"))
        tree = os.path.join(self.data, "tree.vfs")
        shutil.copyfile(temp, tree)
        cfg2 = os.path.join(self.data, "cfg-other")
        z = self.start_zof(tree, cfg_dir=cfg2)
        self.assert_served(z)
        rc, _ = z.stop()
        self.assertEqual(rc, 0)
        # The loaded file is remembered as the last one and reloaded next time.
        self.assertEqual(read_cfg(os.path.join(cfg2, "zof.ini")).get("last-file-open"), tree)
        z = self.start_zof(cfg_dir=cfg2)
        self.assert_served(z)

    def test_damaged_tree_file_is_not_served(self):
        tree = os.path.join(self.data, "bad.vfs")
        self.write(tree, b"\x00garbage that is no tree file" * 10)
        z = self.start_zof(tree, cfg_dir=os.path.join(self.data, "cfg"))
        status, _, _ = z.get("/pub/a.txt")
        self.assertEqual(status, 404)
        status, _, _ = z.get("/")
        self.assertEqual(status, 200)


if __name__ == "__main__":
    unittest.main()
