"""Real download tools against a protected folder: curl, wget, aria2c and
headless Chromium each log in, download a file whole, resume a download cut
short, and (where the tool can send files) upload one. Each tool is the
Debian package's own binary, run as a user would run it."""

import hashlib
import io
import json
import os
import shutil
import subprocess
import tarfile
import tempfile
import unittest
import zipfile

from test_uploads import account, ini_text, write_tree
from zofharness import ZofTestCase, tool

HERE = os.path.dirname(os.path.abspath(__file__))
DRIVER_DIR = os.path.join(os.path.dirname(HERE), "browser")
USER, PASSWORD = "dan", "d4n secret"
SIZE = 3 * 1024 * 1024 + 123
CUT = 1234567


class DownloadToolsCase(ZofTestCase):
    """A server publishing /vault/ (only dan may open it, and upload to it)
    holding one large file."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-tools-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.vault = os.path.join(self.data, "vault")
        os.makedirs(self.vault)
        self.payload = os.urandom(SIZE)
        with open(os.path.join(self.vault, "big file.bin"), "wb") as f:
            f.write(self.payload)
        self.out = os.path.join(self.data, "out")
        os.makedirs(self.out)
        tree = os.path.join(self.data, "tree.vfs")
        write_tree(tree, {"vault": {"path": self.vault, "access": [USER], "upload": [USER]}})
        self.z = self.start_zof(tree, ini=ini_text(account(USER, PASSWORD)))
        self.z.wait_port()
        self.folder_url = "http://127.0.0.1:%d/vault/" % self.z.port
        self.file_url = self.folder_url + "big%20file.bin"

    def run_tool(self, args, timeout=60):
        r = subprocess.run(args, capture_output=True, timeout=timeout, cwd=self.out)
        return r.returncode, (r.stdout + r.stderr).decode("utf-8", "replace")[-3000:]

    def assert_payload(self, path, expected=None):
        with open(path, "rb") as f:
            got = f.read()
        expected = self.payload if expected is None else expected
        self.assertEqual(len(got), len(expected))
        self.assertEqual(hashlib.sha256(got).hexdigest(), hashlib.sha256(expected).hexdigest())

    def write_partial(self, name):
        path = os.path.join(self.out, name)
        with open(path, "wb") as f:
            f.write(self.payload[:CUT])
        return path

    def upload_bytes(self, name):
        data = os.urandom(200 * 1024) + b"\r\n--not-a-boundary\r\n"
        path = os.path.join(self.data, name)
        with open(path, "wb") as f:
            f.write(data)
        return path, data


class TestCurl(DownloadToolsCase):
    def test_download_resume_upload(self):
        curl = tool("curl")
        # Without credentials the tool is told to authenticate.
        rc, text = self.run_tool([curl, "-sS", "-o", "/dev/null", "-w", "%{http_code}", self.file_url])
        self.assertEqual(text.strip(), "401")
        whole = os.path.join(self.out, "whole.bin")
        rc, text = self.run_tool([curl, "-fsS", "-u", "%s:%s" % (USER, PASSWORD), "-o", whole, self.file_url])
        self.assertEqual(rc, 0, text)
        self.assert_payload(whole)
        part = self.write_partial("part.bin")
        rc, text = self.run_tool([curl, "-fsS", "-u", "%s:%s" % (USER, PASSWORD), "-C", "-", "-o", part,
                                  self.file_url])
        self.assertEqual(rc, 0, text)
        self.assert_payload(part)
        src, data = self.upload_bytes("from curl.bin")
        rc, text = self.run_tool([curl, "-fsS", "-u", "%s:%s" % (USER, PASSWORD), "-F", "file=@" + src,
                                  "-o", "/dev/null", self.folder_url])
        self.assertEqual(rc, 0, text)
        self.assert_payload(os.path.join(self.vault, "from curl.bin"), data)


class TestWget(DownloadToolsCase):
    def wget(self, *args):
        return self.run_tool([tool("wget"), "-nv", "--user=" + USER, "--password=" + PASSWORD] + list(args))

    def test_download_after_challenge(self):
        rc, text = self.wget("-O", "whole.bin", self.file_url)
        self.assertEqual(rc, 0, text)
        self.assert_payload(os.path.join(self.out, "whole.bin"))

    def test_resume_and_resume_of_complete_file(self):
        part = self.write_partial("big file.bin")
        rc, text = self.wget("-c", self.file_url)
        self.assertEqual(rc, 0, text)
        self.assert_payload(part)
        # Resuming a file that is already complete is no error.
        rc, text = self.wget("-c", self.file_url)
        self.assertEqual(rc, 0, text)
        self.assert_payload(part)

    def test_upload_as_multipart_post(self):
        src, data = self.upload_bytes("from wget.bin")
        boundary = "wgetBoundary7MA4YWxk"
        body = (b"--" + boundary.encode() + b"\r\n"
                b'Content-Disposition: form-data; name="file"; filename="from wget.bin"\r\n'
                b"Content-Type: application/octet-stream\r\n\r\n" + data + b"\r\n--" + boundary.encode() + b"--\r\n")
        body_file = os.path.join(self.data, "body")
        with open(body_file, "wb") as f:
            f.write(body)
        rc, text = self.wget("--header=Content-Type: multipart/form-data; boundary=" + boundary,
                             "--post-file=" + body_file, "-O", "/dev/null", self.folder_url)
        self.assertEqual(rc, 0, text)
        self.assert_payload(os.path.join(self.vault, "from wget.bin"), data)


class TestAria2(DownloadToolsCase):
    """aria2c only downloads: it has no way to send a file."""

    def aria(self, *args):
        return self.run_tool([tool("aria2c"), "-q", "--http-user=" + USER, "--http-passwd=" + PASSWORD,
                              "--http-auth-challenge=true", "--allow-overwrite=false", "-d", self.out] + list(args))

    def test_download_after_challenge(self):
        rc, text = self.aria("-o", "whole.bin", self.file_url)
        self.assertEqual(rc, 0, text)
        self.assert_payload(os.path.join(self.out, "whole.bin"))

    def test_resume(self):
        part = self.write_partial("part.bin")
        rc, text = self.aria("-c", "-o", "part.bin", self.file_url)
        self.assertEqual(rc, 0, text)
        self.assert_payload(part)


class TestChromium(DownloadToolsCase):
    """Logs in through the page, downloads by clicking, resumes with a Range
    request; its upload through the page's form is test_browser_upload's."""

    def test_download_and_resume(self):
        tool("node")
        if not os.path.isdir(os.path.join(DRIVER_DIR, "node_modules", "playwright-core")):
            raise AssertionError("playwright-core is missing in tests/browser (bash scripts/setup.sh browser)")
        save_as = os.path.join(self.out, "from browser.bin")
        cmd = ["node", os.path.join(DRIVER_DIR, "downloadResume.js"), self.folder_url, USER, PASSWORD,
               "big file.bin", save_as, str(CUT), "/usr/bin/chromium"]
        r = subprocess.run(cmd, capture_output=True, timeout=120, cwd=DRIVER_DIR)
        lines = r.stdout.decode("utf-8", "replace").strip().splitlines()
        report = json.loads(lines[-1]) if lines else {}
        self.assertEqual(r.returncode, 0, (report, r.stderr.decode("utf-8", "replace")[-3000:]))
        self.assertEqual(report["steps"], ["logged in", "downloaded", "resumed"], report)
        self.assertEqual(report["suggested"], "big file.bin")
        self.assert_payload(save_as)
        self.assertEqual(report["resumeStatus"], 206)
        self.assertEqual(report["contentRange"], "bytes %d-%d/%d" % (CUT, SIZE - 1, SIZE))
        self.assert_payload(save_as + ".part", self.payload[CUT:])


class TestArchiveFromThePage(ZofTestCase):
    """Items ticked on the default template's folder page and downloaded with
    its "Download selection" buttons."""

    def test_selection_buttons_download_only_the_ticked_items(self):
        tool("node")
        data = tempfile.mkdtemp(prefix="zof-sel-")
        self.addCleanup(shutil.rmtree, data, True)
        pub = os.path.join(data, "pub")
        os.makedirs(os.path.join(pub, "sub dir"))
        for name, body in (("one.txt", b"1"), ("two.txt", b"22"), ("three.txt", b"333"),
                           ("sub dir/in.txt", b"in")):
            with open(os.path.join(pub, name), "wb") as f:
                f.write(body)
        tree = os.path.join(data, "tree.vfs")
        write_tree(tree, {"pub": {"path": pub}})
        z = self.start_zof(tree, ini=ini_text())
        z.wait_port()
        for fmt in ("tar", "zip"):
            save_as = os.path.join(data, "got." + fmt)
            cmd = ["node", os.path.join(DRIVER_DIR, "archiveSelection.js"), "http://127.0.0.1:%d/pub/" % z.port,
                   fmt, save_as, "one.txt", "sub dir"]
            r = subprocess.run(cmd, capture_output=True, timeout=120, cwd=DRIVER_DIR)
            lines = r.stdout.decode("utf-8", "replace").strip().splitlines()
            report = json.loads(lines[-1]) if lines else {}
            self.assertEqual(r.returncode, 0, (report, r.stderr.decode("utf-8", "replace")[-3000:]))
            self.assertEqual(report["steps"], ["selected", "downloaded"], report)
            self.assertEqual(report["suggested"], "pub.selection." + fmt)
            with open(save_as, "rb") as f:
                got = f.read()
            if fmt == "tar":
                with tarfile.open(fileobj=io.BytesIO(got)) as t:
                    names = sorted(m.name for m in t.getmembers())
            else:
                with zipfile.ZipFile(io.BytesIO(got)) as zf:
                    names = sorted(zf.namelist())
            self.assertEqual(names, ["one.txt", "sub dir/in.txt"], fmt)


if __name__ == "__main__":
    unittest.main()
