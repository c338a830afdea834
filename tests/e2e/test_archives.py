"""Archives seen from outside: folders and selections come as tar and zip
streams built while they are sent. They extract with the usual tools to the
same bytes as the files, resume and take ranges, hold only what the visitor
could reach by opening folders, and take their names from the folder, the
selection and the "archive name" script."""

import io
import socket
import os
import shutil
import subprocess
import tarfile
import tempfile
import unittest
import urllib.parse
import zipfile

from test_uploads import account, basic, ini_text, write_tree
from zofharness import ZofTestCase, tool

LONG = "L" * 146 + ".bin"  # a 150-byte name
FILES = {
    "a file.txt": b"spaces in the name\n",
    "\u00fcn\u00efc\u00f8d\u00e9-\u00e9.txt": "accents \u00e9\n".encode(),
    LONG: os.urandom(3000),
    "empty.txt": b"",
    "sub dir/inner.txt": b"inner\n" * 100,
    "sub dir/deeper/\u00df.dat": os.urandom(70000),
}


def write_files(root, files):
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def tree_of(folder):
    """{relative path: bytes} of every file below `folder`."""
    out = {}
    for root, _, files in os.walk(folder):
        for f in files:
            path = os.path.join(root, f)
            with open(path, "rb") as fh:
                out[os.path.relpath(path, folder)] = fh.read()
    return out


class ArchiveCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-arc-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        write_files(self.pub, FILES)
        self.secret = os.path.join(self.data, "secret")
        write_files(self.secret, {"plans.txt": b"secret plans"})
        self.tree = os.path.join(self.data, "tree.vfs")
        write_tree(self.tree, {
            "pub": {"path": self.pub},
            "secret": {"path": self.secret, "access": ["bob"]},
        })
        self.cfg = os.path.join(self.data, "cfg")
        os.makedirs(self.cfg)
        self.work = os.path.join(self.data, "work")
        os.makedirs(self.work)

    def zof(self, events=None, **options):
        # Back-to-back fetches of one archive from one address must not read
        # as leeching while the previous reply is still being wound up.
        options.setdefault("prevent_leeching", "no")
        if events is not None:
            with open(os.path.join(self.cfg, "zof.events"), "w", encoding="utf-8") as f:
                f.write(events)
        z = self.start_zof(self.tree, ini=ini_text(account("bob", "pw1"), **options), cfg_dir=self.cfg)
        z.wait_port()
        return z

    def fetch(self, z, path, headers=None, expect=200):
        status, head, body = z.get(path, headers=headers, timeout=30)
        self.assertEqual(status, expect, body[:300])
        if expect in (200, 206):
            self.assertEqual(int(head["content-length"]), len(body))
        return head, body

    def save(self, name, data):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def extract(self, program, archive, *args):
        """Extracts with `program` into a fresh folder; its output must be empty."""
        dest = tempfile.mkdtemp(dir=self.work)
        run = subprocess.run([tool(program), *args, archive], cwd=dest, capture_output=True, timeout=60)
        self.assertEqual((run.returncode, run.stderr, run.stdout), (0, b"", b""), program)
        return dest

    def tar_names(self, data):
        with tarfile.open(fileobj=io.BytesIO(data)) as t:
            return sorted(m.name for m in t.getmembers())


class TestWholeFolders(ArchiveCase):
    def test_tar_extracts_with_gnu_tar_and_bsdtar_to_the_same_bytes(self):
        z = self.zof()
        head, data = self.fetch(z, "/pub/~folder.tar?recursive")
        self.assertEqual(head["content-type"], "application/octet-stream")
        self.assertIn("filename=pub.folder.tar", head["content-disposition"])
        self.assertTrue(head["content-disposition"].startswith("attachment; "))
        archive = self.save("pub.tar", data)
        want = {"pub/" + k: v for k, v in FILES.items()}
        for program, args in (("tar", ("-xf",)), ("bsdtar", ("-xf",))):
            self.assertEqual(tree_of(self.extract(program, archive, *args)), want, program)
        # Ends with the two zero blocks readers expect.
        self.assertEqual(data[-1024:], bytes(1024))

    def test_zip_passes_unzip_and_zipfile_and_extracts_to_the_same_bytes(self):
        z = self.zof()
        head, data = self.fetch(z, "/pub/~folder.zip?recursive")
        self.assertIn("filename=pub.folder.zip", head["content-disposition"])
        archive = self.save("pub.zip", data)
        run = subprocess.run([tool("unzip"), "-t", archive], capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        with zipfile.ZipFile(archive) as zf:
            self.assertIsNone(zf.testzip())
            self.assertEqual({i.filename: zf.read(i) for i in zf.infolist()},
                             {"pub/" + k: v for k, v in FILES.items()})
        self.assertEqual(tree_of(self.extract("unzip", archive, "-q")), {"pub/" + k: v for k, v in FILES.items()})
        # The same through the query form.
        _, again = self.fetch(z, "/pub/?mode=archive&format=zip&recursive")
        self.assertEqual(again, data)

    def test_without_recursive_only_the_folders_own_files(self):
        z = self.zof()
        _, data = self.fetch(z, "/pub/~folder.tar")
        self.assertEqual(self.tar_names(data), sorted("pub/" + k for k in FILES if "/" not in k))

    def test_a_symbolic_link_loop_is_not_followed(self):
        os.symlink(self.pub, os.path.join(self.pub, "sub dir", "loop"))
        z = self.zof()
        _, data = self.fetch(z, "/pub/~folder.tar?recursive")
        self.assertEqual(self.tar_names(data), sorted("pub/" + k for k in FILES))

    def test_nofolders_flattens_names(self):
        z = self.zof()
        _, data = self.fetch(z, "/pub/~folder.tar?recursive&nofolders=1")
        self.assertEqual(self.tar_names(data), sorted(os.path.basename(k) for k in FILES))

    def test_resume_and_ranges_give_the_same_bytes(self):
        z = self.zof()
        for ext in ("tar", "zip"):
            url = "http://127.0.0.1:%d/pub/~folder.%s?recursive" % (z.port, ext)
            _, whole = self.fetch(z, "/pub/~folder.%s?recursive" % ext)
            part = self.save("part." + ext, whole[:len(whole) // 3])
            run = subprocess.run([tool("curl"), "-sS", "-C", "-", "-o", part, url], capture_output=True, timeout=60)
            self.assertEqual(run.returncode, 0, run.stderr)
            with open(part, "rb") as f:
                self.assertEqual(f.read(), whole, ext)
            for first, last in ((0, 0), (511, 1500), (len(whole) - 700, len(whole) - 1)):
                _, got = self.fetch(z, "/pub/~folder.%s?recursive" % ext,
                                    headers={"Range": "bytes=%d-%d" % (first, last)}, expect=206)
                self.assertEqual(got, whole[first:last + 1], (ext, first, last))

    def test_a_sparse_9_gib_file_is_listed_with_its_true_size(self):
        big = os.path.join(self.data, "big")
        os.makedirs(big)
        size = 9 * 1024 ** 3
        with open(os.path.join(big, "huge.bin"), "wb") as f:
            f.truncate(size)
        write_tree(self.tree, {"big": {"path": big}})
        z = self.zof()
        # Only the head and the end travel: the middle is a hole in the copy.
        head, first = self.fetch(z, "/big/~folder.tar", headers={"Range": "bytes=0-1023"}, expect=206)
        total = int(head["content-range"].rpartition("/")[2])
        _, last = self.fetch(z, "/big/~folder.tar", headers={"Range": "bytes=-2048"}, expect=206)
        path = os.path.join(self.work, "big.tar")
        with open(path, "wb") as f:
            f.truncate(total)
            f.write(first)
            f.seek(total - len(last))
            f.write(last)
        for program in ("tar", "bsdtar"):
            run = subprocess.run([tool(program), "-tvf", path], capture_output=True, timeout=60)
            self.assertEqual((run.returncode, run.stderr), (0, b""), program)
            self.assertIn(str(size).encode(), run.stdout, program)
            self.assertIn(b"big/huge.bin", run.stdout, program)


class TestFilesChangingWhileSent(ArchiveCase):
    def test_a_file_that_shrinks_is_sent_as_zeros_and_logged(self):
        moving = os.path.join(self.data, "moving")
        write_files(moving, {"a.bin": os.urandom(8 << 20), "b.bin": os.urandom(8 << 20)})
        write_tree(self.tree, {"moving": {"path": moving}})
        z = self.zof()
        for ext in ("tar", "zip"):
            with open(os.path.join(moving, "b.bin"), "wb") as f:
                f.write(os.urandom(8 << 20))
            with socket.create_connection(("127.0.0.1", z.port), timeout=10) as s:
                s.sendall(b"GET /moving/~folder.%s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n"
                          % ext.encode())
                got = s.recv(65536)
                # The second file goes while the first is still on its way.
                with open(os.path.join(moving, "b.bin"), "r+b") as f:
                    f.truncate(1000)
                while True:
                    chunk = s.recv(1 << 20)
                    if not chunk:
                        break
                    got += chunk
            head, _, body = got.partition(b"\r\n\r\n")
            length = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")][0].split(b":")[1])
            self.assertEqual(len(body), length, ext)
            archive = self.save("moving." + ext, body)
            if ext == "tar":
                names = self.extract("tar", archive, "-xf")
                with open(os.path.join(names, "moving", "b.bin"), "rb") as f:
                    b = f.read()
            else:
                run = subprocess.run([tool("unzip"), "-t", archive], capture_output=True, timeout=60)
                self.assertEqual(run.returncode, 0, run.stdout)
                with zipfile.ZipFile(archive) as zf:
                    b = zf.read("moving/b.bin")
            # What was there, then zeros to the size announced.
            self.assertEqual(len(b), 8 << 20)
            self.assertEqual(b[1000:], bytes((8 << 20) - 1000))
        self.assertEqual(z.stderr_text().count("changed while it was sent"), 2, z.dump())


class TestWhatGoesIn(ArchiveCase):
    def post_selection(self, z, path, values, extra=()):
        body = urllib.parse.urlencode([("selection", v) for v in values] + list(extra))
        return z.request("POST", path, body=body,
                         headers={"Content-Type": "application/x-www-form-urlencoded"}, timeout=30)

    def test_a_selection_gives_only_the_selected_items(self):
        z = self.zof()
        status, head, data = self.post_selection(
            z, "/pub/~folder.tar", ["a%20file.txt", "sub%20dir/", "../secret/plans.txt", "missing.txt"])
        self.assertEqual(status, 200, data[:300])
        self.assertIn("filename=pub.selection.tar", head["content-disposition"])
        self.assertEqual(self.tar_names(data), ["a file.txt", "sub dir/inner.txt"])
        status, _, data = self.post_selection(z, "/pub/~folder.zip", ["sub%20dir/"], [("nofolders", "1")])
        with zipfile.ZipFile(io.BytesIO(data)) as zf:
            self.assertEqual(zf.namelist(), ["inner.txt"])

    def test_a_protected_folder_stays_out_of_an_anonymous_archive(self):
        z = self.zof()
        _, anonymous = self.fetch(z, "/~folder.tar?recursive")
        names = self.tar_names(anonymous)
        self.assertFalse([n for n in names if "secret" in n or "plans" in n], names)
        self.assertIn("pub/a file.txt", names)
        _, bobs = self.fetch(z, "/~folder.tar?recursive", headers=basic("bob", "pw1"))
        self.assertIn("secret/plans.txt", self.tar_names(bobs))
        # Selected by name, it is still refused.
        status, _, data = self.post_selection(z, "/~folder.tar", ["secret/plans.txt", "secret/"])
        self.assertEqual(status, 403, data[:200])

    def test_archive_name_script_and_counters(self):
        z = self.zof(events="[archive name]\nbundle-%mode%-%archive-size%?.tar\n")
        head, data = self.fetch(z, "/pub/~folder.tar")
        # The script's name, with "?" made safe.
        self.assertIn("filename=bundle-folder-%d_.tar" % len(data), head["content-disposition"])
        # Every file sent counts one download; a range that stops early counts none.
        self.fetch(z, "/pub/~folder.tar", headers={"Range": "bytes=0-99"}, expect=206)
        _, _, page = z.get("/pub/")
        row = page.decode().partition("empty.txt")[2].partition("</tr>")[0]
        self.assertTrue(row.endswith("<td>1</td>"), row)


if __name__ == "__main__":
    unittest.main()
