"""Uploads seen from outside: files posted with curl and raw sockets land in
the folder they were sent to, under safe names, only where the account may
upload; refused, failed and interrupted uploads leave nothing behind that
they did not create. Also the delete action of folder pages.

The tree with its permissions is a saved tree file written here (write_tree)
and named on the command line; accounts come from zof.ini."""

import base64
import json
import os
import resource
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

from zofharness import ZofProcess, ZofTestCase, tool, wait_until

# Attribute bits of tree nodes (stored in tree files).
FA_FOLDER, FA_VIRTUAL, FA_ROOT, FA_BROWSABLE = 1 << 0, 1 << 1, 1 << 2, 1 << 3
FA_ARCHIVABLE = 1 << 18
VR_MAGIC, VR_RESOURCE, VR_NAME, VR_FLAGS, VR_NODE, VR_FORMAT, VR_CHECKSUM = 0, 1, 2, 3, 4, 5, 6
VR_ADDED, VR_ROOT, VR_ACCESS, VR_REALM, VR_UPLOAD, VR_VERSION, VR_BUILD, VR_DELETE = 9, 11, 12, 16, 17, 22, 23, 27


def _rec(kind, value):
    if isinstance(value, str):
        data = value.encode("utf-8")
        if len(data) != len(value):
            kind += 0x1000000
        value = data
    return struct.pack("<II", kind, len(value)) + value


def _node_common(flags, resource_path="", access=(), upload=(), delete=(), realm=""):
    out = _rec(VR_FLAGS, struct.pack("<I", flags))
    if resource_path:
        out += _rec(VR_RESOURCE, resource_path)
    for kind, names in ((VR_ACCESS, access), (VR_UPLOAD, upload), (VR_DELETE, delete)):
        if names:
            out += _rec(kind, ";".join(names))
    if realm:
        out += _rec(VR_REALM, realm)
    return out


def write_tree(path, folders, root_access=()):
    """A tree file: the root (virtual) with one real folder per entry of
    `folders`, a dict name -> dict(path=..., access=[...], upload=[...],
    delete=[...], realm=...)."""
    body = _rec(VR_ROOT, _node_common(FA_FOLDER | FA_VIRTUAL | FA_ROOT | FA_BROWSABLE | FA_ARCHIVABLE,
                                      access=root_access))
    for name, f in folders.items():
        node = _node_common(FA_FOLDER | FA_BROWSABLE | FA_ARCHIVABLE, f["path"], f.get("access", ()),
                            f.get("upload", ()), f.get("delete", ()), f.get("realm", ""))
        node += _rec(VR_NAME, name) + _rec(VR_ADDED, struct.pack("<d", 46000.0))
        body += _rec(VR_NODE, node)
    words = len(body) // 4
    checksum = sum(struct.unpack("<%dI" % words, body[:words * 4])) & 0xFFFFFFFF
    head = (_rec(VR_MAGIC, "ZOF.VFS") + _rec(VR_FORMAT, struct.pack("<i", 1)) + _rec(VR_VERSION, "1.0")
            + _rec(VR_BUILD, "400") + _rec(VR_CHECKSUM, struct.pack("<I", checksum)))
    with open(path, "wb") as out:
        out.write(head + body)


def account(user, pwd, redir=""):
    login = base64.b64encode(("%s:%s" % (user, pwd)).encode()).decode()
    return "|login:%s|enabled:yes|group:no|no-limits:no%s;" % (login, "|redir:" + redir if redir else "")


def ini_text(accounts="", **options):
    """A stored options file; the harness passes the port on the command line."""
    lines = ["ZOF 1.0 - Build #400"]
    if accounts:
        lines.append("accounts=" + accounts)
    lines += ["%s=%s" % (k.replace("_", "-"), v) for k, v in options.items()]
    return "\r\n".join(lines) + "\r\n"


def basic(user, pwd):
    return {"Authorization": "Basic " + base64.b64encode(("%s:%s" % (user, pwd)).encode()).decode()}


def multipart(files, fields=(), boundary="ZofTestBoundary7Q"):
    """A multipart body: fields is [(name, value)], files [(filename, bytes)]."""
    parts = []
    for name, value in fields:
        parts.append(b"--%s\r\nContent-Disposition: form-data; name=\"%s\"\r\n\r\n%s\r\n"
                     % (boundary.encode(), name.encode(), value.encode()))
    for fn, data in files:
        parts.append(b"--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n"
                     b"Content-Type: application/octet-stream\r\n\r\n%s\r\n"
                     % (boundary.encode(), fn.encode("utf-8"), data))
    body = b"".join(parts) + b"--%s--\r\n" % boundary.encode()
    return body, "multipart/form-data; boundary=" + boundary


def read(path):
    with open(path, "rb") as f:
        return f.read()


class LimitedZof(ZofProcess):
    """zof started with a cap on the size of any file it writes."""

    def __init__(self, *a, fsize=None, **kw):
        super().__init__(*a, **kw)
        self.fsize = fsize

    def start(self, wait_ready=True, timeout=10.0, cwd=None):
        from zofharness import _Collector

        def limit():
            # An ignored SIGXFSZ stays ignored across exec: writes past the
            # cap fail with EFBIG instead of killing the process.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (self.fsize, self.fsize))

        self.proc = subprocess.Popen(self.cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=self.env, cwd=cwd or self.tmp,
                                     preexec_fn=limit)
        self.out = _Collector(self.proc.stdout)
        self.err = _Collector(self.proc.stderr)
        self.out.start()
        self.err.start()
        if wait_ready:
            self.wait_ready(timeout)
        return self


class UploadCase(ZofTestCase):
    """A data folder with "pub" (anyone uploads, bob deletes), "ro" (nobody
    uploads), "mine" (only bob enters and uploads) and "outside" (not
    published), served by a zof started with `options`."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-up-")
        self.addCleanup(shutil.rmtree, self.data, True)
        for d in ("pub", "ro", "mine", "outside"):
            os.makedirs(os.path.join(self.data, d))
        self.pub = os.path.join(self.data, "pub")
        self.outside = os.path.join(self.data, "outside")
        self.tree = os.path.join(self.data, "tree.vfs")
        write_tree(self.tree, {
            "pub": {"path": self.pub, "upload": ["@anyone"], "delete": ["bob"]},
            "ro": {"path": os.path.join(self.data, "ro")},
            "mine": {"path": os.path.join(self.data, "mine"), "access": ["bob"], "upload": ["bob"]},
        })

    def zof(self, process_class=None, fsize=None, **options):
        ini = ini_text(account("bob", "pw1"), **options)
        if process_class:
            z = process_class((self.tree,), ini=ini, fsize=fsize)
            self.track(z)
            z.start()
        else:
            z = self.start_zof(self.tree, ini=ini)
        z.wait_port()
        return z

    def post(self, z, path, files, fields=(), headers=None):
        body, ctype = multipart(files, fields)
        h = {"Content-Type": ctype}
        h.update(headers or {})
        return z.request("POST", path, body=body, headers=h)

    def results(self, z, path, files, fields=(), headers=None):
        """The upload-results answer as a list of dicts."""
        status, _, body = self.post(z, path, files, fields, headers)
        self.assertEqual(status, 200, body[:300])
        return json.loads(body.decode("utf-8").strip())

    def listing(self, folder=None):
        return sorted(os.listdir(folder or self.pub))


class TestUploadWithCurl(UploadCase):
    def curl(self, z, path, *files, extra=()):
        cmd = [tool("curl"), "-sS", "--max-time", "20", "-o", "-", "-w", "\n%{http_code}"]
        for f in files:
            cmd += ["-F", "file=@" + f]
        cmd += list(extra) + ["http://127.0.0.1:%d%s" % (z.port, path)]
        r = subprocess.run(cmd, capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        body, _, code = r.stdout.rpartition(b"\n")
        return int(code), body

    def source(self, name, data):
        src = os.path.join(self.data, "src")
        os.makedirs(src, exist_ok=True)
        path = os.path.join(src, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_single_several_and_numbered_names(self):
        z = self.zof()
        big = os.urandom(300 * 1024)
        code, body = self.curl(z, "/pub/", self.source("report.pdf", big))
        self.assertEqual(code, 200, body)
        res = json.loads(body.decode().strip())
        self.assertEqual([r["name"] for r in res], ["report.pdf"])
        self.assertNotIn("err", res[0])
        self.assertEqual(read(os.path.join(self.pub, "report.pdf")), big)
        # Two files in one POST, the first one's name taken twice over.
        code, body = self.curl(z, "/pub/", self.source("report.pdf", b"second"),
                               self.source("notes.txt", b"n" * 1000))
        self.assertEqual(code, 200, body)
        self.assertEqual([r["name"] for r in json.loads(body.decode().strip())], ["report (1).pdf", "notes.txt"])
        code, body = self.curl(z, "/pub/", self.source("report.pdf", b"third"))
        self.assertEqual([r["name"] for r in json.loads(body.decode().strip())], ["report (2).pdf"])
        self.assertEqual(read(os.path.join(self.pub, "report.pdf")), big)
        self.assertEqual(read(os.path.join(self.pub, "report (1).pdf")), b"second")
        self.assertEqual(read(os.path.join(self.pub, "report (2).pdf")), b"third")
        self.assertEqual(read(os.path.join(self.pub, "notes.txt")), b"n" * 1000)
        # The folder page lists what arrived.
        status, _, page = z.get("/pub/")
        self.assertEqual(status, 200)
        self.assertIn(b"report (2).pdf", page)

    def test_protected_names_refused_existing_untouched(self):
        z = self.zof()
        original = b"<html>the operator's page</html>"
        with open(os.path.join(self.pub, "index.html"), "wb") as f:
            f.write(original)
        before = os.stat(os.path.join(self.pub, "index.html"))
        for name in ("index.html", "zof.x", "ZOF.DIFF.TPL", "x.lnk", "descript.ion", "a.comment", "s.md5"):
            code, body = self.curl(z, "/pub/", self.source(name, b"evil"))
            res = json.loads(body.decode().strip())
            self.assertEqual(len(res), 1, body)
            self.assertEqual(res[0]["err"], "File name or extension forbidden.", name)
        self.assertEqual(self.listing(), ["index.html"])
        after = os.stat(os.path.join(self.pub, "index.html"))
        self.assertEqual(read(os.path.join(self.pub, "index.html")), original)
        self.assertEqual((before.st_ino, before.st_mtime_ns), (after.st_ino, after.st_mtime_ns))


class TestUploadRules(UploadCase):
    def test_permissions(self):
        z = self.zof()
        # Nobody may upload into "ro"; "mine" is bob's alone.
        res = self.results(z, "/ro/", [("a.txt", b"x")])
        self.assertEqual(res[0]["err"], "Not allowed.")
        self.assertEqual(os.listdir(os.path.join(self.data, "ro")), [])
        status, _, _ = self.post(z, "/mine/", [("a.txt", b"x")])
        self.assertNotEqual(status, 200)
        self.assertEqual(os.listdir(os.path.join(self.data, "mine")), [])
        status, _, _ = self.post(z, "/mine/", [("a.txt", b"x")], headers=basic("bob", "wrong"))
        self.assertEqual(status, 401)
        self.assertEqual(os.listdir(os.path.join(self.data, "mine")), [])
        res = self.results(z, "/mine/", [("a.txt", b"bob's")], headers=basic("bob", "pw1"))
        self.assertEqual([r["name"] for r in res], ["a.txt"])
        self.assertEqual(read(os.path.join(self.data, "mine", "a.txt")), b"bob's")
        # A folder that is not in the tree.
        status, _, _ = self.post(z, "/nothere/", [("a.txt", b"x")])
        self.assertEqual(status, 404)
        # Folders found on disk take the rights of the published folder.
        os.makedirs(os.path.join(self.pub, "sub", "deeper"))
        os.makedirs(os.path.join(self.data, "ro", "sub"))
        res = self.results(z, "/pub/sub/deeper/", [("in-sub.txt", b"deep")])
        self.assertNotIn("err", res[0])
        self.assertEqual(read(os.path.join(self.pub, "sub", "deeper", "in-sub.txt")), b"deep")
        res = self.results(z, "/ro/sub/", [("a.txt", b"x")])
        self.assertEqual(res[0]["err"], "Not allowed.")
        self.assertEqual(os.listdir(os.path.join(self.data, "ro", "sub")), [])
        # The upload form follows the same right.
        self.assertEqual(z.get("/pub/~upload")[0], 200)
        self.assertEqual(z.get("/ro/~upload")[0], 401)

    def test_names_cannot_leave_the_folder(self):
        z = self.zof(number_files_on_upload="no")
        cases = [
            ("..", None), ("...", None), ("a:b.txt", None), ("", None),
            # A client path whose last part is a hidden name is not cut to it.
            ("ok\\.txt", None), ("dir/.bashrc", None),
            ("../../escape1.txt", "escape1.txt"), ("/etc/escape2.txt", "escape2.txt"),
            ("..\\..\\escape3.txt", "escape3.txt"), ("C:\\Windows\\escape4.txt", "escape4.txt"),
        ]
        for name, stored in cases:
            status, _, body = self.post(z, "/pub/", [(name, b"payload")])
            self.assertEqual(status, 200, name)
            if stored is None:
                text = body.decode().strip()
                if name:  # an empty file name is a plain field, not a file
                    self.assertEqual(json.loads(text)[0]["err"], "File name or extension forbidden.", name)
            else:
                self.assertEqual(read(os.path.join(self.pub, stored)), b"payload", name)
        for root, _, files in os.walk(self.data):
            for f in files:
                self.assertFalse(f.startswith("escape") and root != self.pub, os.path.join(root, f))
        self.assertEqual(os.listdir(self.outside), [])
        self.assertFalse([f for f in os.listdir(self.pub) if f.startswith(".")])

    def test_symlink_at_destination_never_followed(self):
        target = os.path.join(self.outside, "target.txt")
        with open(target, "wb") as f:
            f.write(b"keep me")
        os.symlink(target, os.path.join(self.pub, "link.txt"))
        os.symlink(os.path.join(self.outside, "dangling.txt"), os.path.join(self.pub, "dangling.txt"))
        z = self.zof(number_files_on_upload="no")
        res = self.results(z, "/pub/", [("link.txt", b"evil"), ("dangling.txt", b"evil")])
        self.assertEqual([r.get("err") for r in res], ["Error creating file.", "Error creating file."])
        self.assertEqual(read(target), b"keep me")
        self.assertEqual(os.listdir(self.outside), ["target.txt"])
        self.assertTrue(os.path.islink(os.path.join(self.pub, "link.txt")))
        self.assertTrue(os.path.islink(os.path.join(self.pub, "dangling.txt")))

    def test_symlink_with_numbering_gets_a_new_name(self):
        target = os.path.join(self.outside, "target.txt")
        with open(target, "wb") as f:
            f.write(b"keep me")
        os.symlink(target, os.path.join(self.pub, "link.txt"))
        z = self.zof()
        res = self.results(z, "/pub/", [("link.txt", b"mine")])
        self.assertEqual(res[0]["name"], "link (1).txt")
        self.assertEqual(read(os.path.join(self.pub, "link (1).txt")), b"mine")
        self.assertEqual(read(target), b"keep me")

    def test_refused_part_keeps_the_others(self):
        # The refused middle part must not delete what the first one wrote,
        # nor an existing file of its own name.
        with open(os.path.join(self.pub, "index.html"), "wb") as f:
            f.write(b"original")
        z = self.zof(number_files_on_upload="no")
        res = self.results(z, "/pub/", [("one.txt", b"1"), ("index.html", b"x"), ("two.txt", b"22")],
                           fields=[("comment", "hello")])
        self.assertEqual([(r["name"], r.get("err")) for r in res],
                         [("one.txt", None), ("index.html", "File name or extension forbidden."), ("two.txt", None)])
        self.assertEqual(self.listing(), ["index.html", "one.txt", "two.txt"])
        self.assertEqual(read(os.path.join(self.pub, "index.html")), b"original")
        self.assertEqual(read(os.path.join(self.pub, "two.txt")), b"22")
        # The results were consumed: a plain page next.
        status, _, page = z.get("/pub/")
        self.assertEqual(status, 200)
        self.assertIn(b"<html", page[:200].lower())

    def test_min_disk_space(self):
        z = self.zof(min_disk_space="999999999")
        res = self.results(z, "/pub/", [("big.bin", b"x" * 5000)])
        self.assertEqual(res[0]["err"], "Minimum disk space reached.")
        self.assertEqual(self.listing(), [])

    def test_write_error_fails_the_upload(self):
        # Files the process writes are capped at 64 KiB: the upload cannot be
        # written whole; the part fails, its file is removed, and the file it
        # was to replace stays as it was.
        with open(os.path.join(self.pub, "huge.bin"), "wb") as f:
            f.write(b"old")
        z = self.zof(process_class=LimitedZof, fsize=64 * 1024, number_files_on_upload="no")
        res = self.results(z, "/pub/", [("small.txt", b"s" * 100), ("huge.bin", os.urandom(300 * 1024)),
                                        ("after.txt", b"a" * 10)])
        self.assertEqual([r["name"] for r in res], ["small.txt", "huge.bin", "after.txt"])
        self.assertNotIn("err", res[0])
        self.assertEqual(res[1].get("err"), "Error writing file: File too large")
        self.assertNotIn("err", res[2])
        self.assertEqual(self.listing(), ["after.txt", "huge.bin", "small.txt"])
        self.assertEqual(read(os.path.join(self.pub, "huge.bin")), b"old")
        self.assertEqual(z.get("/pub/small.txt")[2], b"s" * 100)

    def test_overwrite_when_numbering_is_off(self):
        with open(os.path.join(self.pub, "data.bin"), "wb") as f:
            f.write(b"old")
        z = self.zof(number_files_on_upload="no")
        new = os.urandom(100 * 1024)
        res = self.results(z, "/pub/", [("data.bin", new)])
        self.assertEqual([(r["name"], r.get("err")) for r in res], [("data.bin", None)])
        self.assertEqual(self.listing(), ["data.bin"])
        self.assertEqual(read(os.path.join(self.pub, "data.bin")), new)


class TestInterruptedUpload(UploadCase):
    def interrupt(self, z, name="part.bin", size=200 * 1024):
        """Sends a file part of `size` bytes of a longer body, waits until
        the server wrote what it could of it, then closes the socket."""
        boundary = "ZofCut"
        head = ("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n\r\n"
                % (boundary, name)).encode()
        req = ("POST /pub/ HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=%s\r\n"
               "Content-Length: %d\r\n\r\n" % (boundary, len(head) + 10 * 1024 * 1024)).encode()
        s = socket.create_connection(("127.0.0.1", z.port), timeout=5)
        try:
            s.sendall(req + head + b"p" * size)
            # All but the tail that may hold the start of a boundary. (The
            # close then arrives on its own, not behind the last data.) A
            # file that replaces another is written under a hidden name.
            def written():
                sizes = [os.path.getsize(os.path.join(self.pub, n)) for n in os.listdir(self.pub)
                         if n == name or n.startswith(".")]
                return max(sizes, default=0) >= size - 64
            self.assertTrue(wait_until(written), os.listdir(self.pub))
        finally:
            s.close()

    def test_partial_kept_by_default(self):
        z = self.zof()
        self.interrupt(z)
        # Nothing to do with it: the partial file stays as it is. Nothing is
        # to happen, so there is nothing to wait for: watch for a while.
        time.sleep(0.5)
        self.assertEqual(self.listing(), ["part.bin"])
        size = os.path.getsize(os.path.join(self.pub, "part.bin"))
        self.assertGreater(size, 0)
        self.assertLessEqual(size, 200 * 1024)

    def test_partial_deleted(self):
        z = self.zof(delete_partial_uploads="yes")
        self.interrupt(z)
        self.assertTrue(wait_until(lambda: self.listing() == []), self.listing())

    def test_partial_never_replaces_an_existing_file(self):
        with open(os.path.join(self.pub, "part.bin"), "wb") as f:
            f.write(b"old")
        z = self.zof(number_files_on_upload="no", delete_partial_uploads="yes")
        self.interrupt(z)
        self.assertTrue(wait_until(lambda: self.listing() == ["part.bin"]), self.listing())
        self.assertEqual(read(os.path.join(self.pub, "part.bin")), b"old")

    def test_partial_renamed(self):
        z = self.zof(rename_partial_uploads="%NAME%.part")
        self.interrupt(z)
        self.assertTrue(wait_until(lambda: self.listing() == ["part.bin.part"]), self.listing())
        self.assertGreater(os.path.getsize(os.path.join(self.pub, "part.bin.part")), 0)
        # A suffix without "%name%" is appended; never out of the folder.
        self.interrupt(z, "other.bin")
        self.assertTrue(wait_until(lambda: "other.bin.part" in self.listing()), self.listing())

    def test_partial_renamed_out_of_folder_refused(self):
        z = self.zof(rename_partial_uploads="../%name%")
        self.interrupt(z)
        time.sleep(0.5)  # nothing is to appear outside: watch for a while
        self.assertEqual(os.listdir(self.outside), [])
        self.assertFalse(os.path.exists(os.path.join(self.data, "part.bin")))

    def test_body_cut_short_by_its_length(self):
        # The declared length ends the body in the middle of the file part:
        # the upload did not complete and is handled as interrupted at once,
        # not when the (kept-alive) connection ends.
        z = self.zof(delete_partial_uploads="yes")
        boundary = "ZofShort"
        body = ("--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"short.bin\"\r\n\r\n"
                % boundary).encode() + b"q" * 5000
        req = ("POST /pub/ HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary=%s\r\n"
               "Content-Length: %d\r\n\r\n" % (boundary, len(body))).encode()
        with socket.create_connection(("127.0.0.1", z.port), timeout=5) as s:
            s.sendall(req + body)
            self.assertTrue(s.recv(100).startswith(b"HTTP/1.1 200"))
            self.assertTrue(wait_until(lambda: self.listing() == []), self.listing())


class TestDeleteAction(UploadCase):
    def delete(self, z, names, headers=None):
        body = "action=delete&" + "&".join("selection=" + n for n in names)
        h = {"Content-Type": "application/x-www-form-urlencoded"}
        h.update(headers or {})
        return z.request("POST", "/pub/", body=body.encode(), headers=h)

    def test_delete_needs_the_right(self):
        for n in ("a.txt", "b.txt", "c.txt"):
            with open(os.path.join(self.pub, n), "w") as f:
                f.write(n)
        with open(os.path.join(self.outside, "keep.txt"), "w") as f:
            f.write("k")
        z = self.zof()
        status, _, _ = self.delete(z, ["a.txt"])
        self.assertEqual(status, 200)
        self.assertEqual(self.listing(), ["a.txt", "b.txt", "c.txt"])
        self.delete(z, ["a.txt"], basic("bob", "wrong"))
        self.assertEqual(self.listing(), ["a.txt", "b.txt", "c.txt"])
        status, _, _ = self.delete(z, ["a.txt", "c.txt", "..%2Foutside%2Fkeep.txt", "../outside/keep.txt"],
                                   basic("bob", "pw1"))
        self.assertEqual(status, 200)
        self.assertEqual(self.listing(), ["b.txt"])
        self.assertEqual(os.listdir(self.outside), ["keep.txt"])
        # A mask in the last component, and a folder with its content.
        os.makedirs(os.path.join(self.pub, "old", "inner"))
        for n in ("x.log", "y.log", "old/inner/z.txt"):
            with open(os.path.join(self.pub, n), "w") as f:
                f.write(n)
        self.delete(z, ["*.log", "old%2F"], basic("bob", "pw1"))
        self.assertEqual(self.listing(), ["b.txt"])


if __name__ == "__main__":
    unittest.main()
