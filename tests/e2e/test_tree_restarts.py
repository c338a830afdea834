"""The published tree across restarts: what a start names on its command line
is published for that run only, the tree the operator saved comes back with
its download counters, and saving that tree never loses its previous
version nor reports a failure as a success."""

import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

from zofharness import ZofTestCase, read_cfg, tool, wait_until
from test_uploads import ini_text, write_tree

VR_NAME, VR_NODE, VR_CHECKSUM, VR_DLCOUNT, VR_COUNTERS, VR_COMPRESSED = 2, 4, 6, 10, 20, 24
TEXT_FLAG = 0x1000000


def records(data):
    """(type, value) pairs of one region of a tree file."""
    pos = 0
    while pos + 8 <= len(data):
        kind, size = struct.unpack_from("<II", data, pos)
        yield kind & ~TEXT_FLAG, data[pos + 8:pos + 8 + size]
        pos += 8 + size


def read_tree(path):
    """The names of the root's children and the counters kept by disk path."""
    with open(path, "rb") as f:
        data = f.read()
    rest = data
    for kind, _ in records(data):
        rest = rest[8 + struct.unpack_from("<I", rest, 4)[0]:]
        if kind == VR_CHECKSUM:
            break
    body = list(records(rest))
    if body and body[0][0] == VR_COMPRESSED:
        body = list(records(zlib.decompress(body[0][1])))
    names, counters = [], {}
    for kind, value in body:
        if kind == VR_NODE:
            names += [v.decode() for k, v in records(value) if k == VR_NAME]
        elif kind == VR_COUNTERS:
            for _, entry in records(value):
                fields = dict(records(entry))
                counters[fields[VR_NAME].decode()] = struct.unpack("<i", fields[VR_DLCOUNT])[0]
    return sorted(names), counters


class TreeCase(ZofTestCase):
    """Folders A, B and S (each with one file) and a saved tree file
    publishing S."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-restarts-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.cfg = os.path.join(self.data, "cfg")
        for name in ("A", "B", "S"):
            os.makedirs(os.path.join(self.data, name))
            with open(os.path.join(self.data, name, name.lower() + ".txt"), "w") as f:
                f.write("in " + name)
        self.tree = os.path.join(self.data, "tree.vfs")
        write_tree(self.tree, {"S": {"path": self.folder("S")}})

    def folder(self, name):
        return os.path.join(self.data, name)

    def status(self, z, path):
        return z.get(path)[0]

    def download(self, z, path):
        status, _, body = z.get(path)
        self.assertEqual(status, 200, path)
        return body

    def run_once(self, *args, downloads=(), **kw):
        z = self.start_zof(*args, cfg_dir=self.cfg, **kw)
        for path in downloads:
            self.download(z, path)
        self.assertEqual(z.stop()[0], 0, z.dump())
        return z


class TreeRestarts(TreeCase):
    def test_command_line_folders_are_published_for_their_run_only(self):
        self.run_once(self.folder("A"), downloads=["/A/a.txt"])
        z = self.start_zof(self.folder("B"), cfg_dir=self.cfg)
        self.assertEqual(self.download(z, "/B/b.txt"), b"in B")
        self.assertEqual(self.status(z, "/A/a.txt"), 404)
        self.assertEqual(self.status(z, "/A/"), 404)
        self.assertEqual(z.stop()[0], 0)
        # Nothing of either run is left to be offered at the next start.
        self.assertFalse(os.path.exists(os.path.join(self.cfg, "~temp.vfs")))

    def test_saved_tree_comes_back_with_counters_but_without_command_line_folders(self):
        self.run_once(self.tree, downloads=["/S/s.txt"])
        self.assertEqual(read_cfg(os.path.join(self.cfg, "zof.ini")).get("last-file-open"), self.tree)
        # The saved tree is reloaded and the named folder is published beside it.
        self.run_once(self.folder("A"), downloads=["/S/s.txt", "/A/a.txt"])
        z = self.start_zof(cfg_dir=self.cfg)
        self.assertEqual(self.download(z, "/S/s.txt"), b"in S")
        self.assertEqual(self.status(z, "/A/a.txt"), 404)
        self.assertEqual(z.stop()[0], 0)
        names, counters = read_tree(self.tree)
        self.assertEqual(names, ["S"])
        self.assertEqual(counters.get(os.path.join(self.folder("S"), "s.txt")), 3)
        self.assertEqual(counters.get(os.path.join(self.folder("A"), "a.txt")), 1)

    def test_files_handed_to_a_running_instance_are_kept(self):
        first = self.start_zof(cfg_dir=self.cfg, single_instance=True)
        second = self.make_zof(self.folder("A"), single_instance=True, runtime_dir=first.runtime_dir,
                               use_port=False)
        second.start(wait_ready=False)
        self.assertEqual(second.wait_exit(5), 0, second.dump())
        self.assertIsNotNone(first.err.wait_for(lambda l: l.startswith("ZOF received command line"), 5))
        # Handed-over files join the tree at the next heartbeat tick.
        self.assertTrue(wait_until(lambda: self.status(first, "/A/a.txt") == 200, 2))
        self.assertEqual(self.download(first, "/A/a.txt"), b"in A")
        self.assertEqual(first.stop()[0], 0)
        z = self.start_zof(cfg_dir=self.cfg)
        self.assertEqual(self.download(z, "/A/a.txt"), b"in A")


class TreeFileSaving(TreeCase):
    """Saves of the last tree file at quit (auto-save-vfs on, a download to save)."""

    def start_saving(self, tree, env=None):
        ini = ini_text(auto_save_vfs="yes", backup_saving="yes")
        return self.start_zof(tree, cfg_dir=self.cfg, ini=ini, env=env)

    def test_backup_of_a_linked_tree_file_holds_the_previous_content(self):
        os.makedirs(os.path.join(self.data, "real"))
        target = os.path.join(self.data, "real", "tree.vfs")
        shutil.move(self.tree, target)
        link = os.path.join(self.data, "link.vfs")
        os.symlink(target, link)
        with open(target, "rb") as f:
            before = f.read()
        z = self.start_saving(link)
        self.download(z, "/S/s.txt")
        self.assertEqual(z.stop()[0], 0)
        self.assertEqual(os.readlink(link), target)
        self.assertEqual(read_tree(target)[1], {os.path.join(self.folder("S"), "s.txt"): 1})
        self.assertFalse(os.path.islink(link + ".bak"))
        with open(link + ".bak", "rb") as f:
            self.assertEqual(f.read(), before)

    def test_failed_compression_keeps_the_file_and_is_reported(self):
        compiler = tool("cc")
        # A tree large enough to be stored compressed.
        folders = {"S": {"path": self.folder("S")}}
        for i in range(200):
            folders["extra%03d" % i] = {"path": self.folder("S")}
        write_tree(self.tree, folders)
        with open(self.tree, "rb") as f:
            before = f.read()
        self.assertGreater(len(before), 10240)
        # compress2 fails at the tree file's level (1); other levels work.
        source = os.path.join(self.data, "nozlib.c")
        with open(source, "w") as f:
            f.write("#define _GNU_SOURCE\n#include <dlfcn.h>\n"
                    "typedef int (*fn)(unsigned char *, unsigned long *, const unsigned char *,"
                    " unsigned long, int);\n"
                    "int compress2(unsigned char *d, unsigned long *dl, const unsigned char *s,"
                    " unsigned long sl, int level) {\n"
                    "  if (level == 1) return -4;\n"
                    "  return ((fn)dlsym(RTLD_NEXT, \"compress2\"))(d, dl, s, sl, level);\n}\n")
        shim = os.path.join(self.data, "nozlib.so")
        subprocess.run([compiler, "-shared", "-fPIC", "-o", shim, source, "-ldl"], check=True)

        # A sanitizer build wants its runtime first among the loaded
        # libraries; the stand-in library may come before it here.
        asan = os.environ.get("ASAN_OPTIONS", "")
        env = {"LD_PRELOAD": shim, "ASAN_OPTIONS": (asan + ":" if asan else "") + "verify_asan_link_order=0"}
        z = self.start_saving(self.tree, env=env)
        self.download(z, "/S/s.txt")
        self.assertEqual(z.stop()[0], 0)
        self.assertIn("zof error: Error saving", z.stderr_text())
        with open(self.tree, "rb") as f:
            self.assertEqual(f.read(), before)
        self.assertFalse(os.path.exists(os.path.join(self.cfg, "~temp.vfs")))
        # Still the whole tree at the next start.
        z = self.start_zof(cfg_dir=self.cfg)
        self.assertEqual(self.download(z, "/S/s.txt"), b"in S")
        self.assertIn(b"extra199", self.download(z, "/"))


if __name__ == "__main__":
    unittest.main()
