"""Serving the tree: files with their headers, ranges, conditional requests,
folders, special URLs, traversal attempts, odd names, pipelining, resuming."""

import hashlib
import os
import shutil
import socket
import subprocess
import tempfile
import time
import unittest
import zlib

from zofharness import ZofTestCase, tool, wait_until


def parse_response(data):
    """(status line, headers dict lower-cased, body) of one raw response."""
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        k, _, v = line.partition(":")
        headers[k.strip().lower()] = v.strip()
    return lines[0], headers, body


def gif_pixels(data):
    """Decodes a one-frame GIF (global palette) to its list of pixel indexes."""
    assert data[:6] == b"GIF89a"
    w = data[6] | data[7] << 8
    h = data[8] | data[9] << 8
    flags = data[10]
    pos = 13 + (3 << ((flags & 7) + 1) if flags & 0x80 else 0)
    while data[pos] == 0x21:  # extensions
        pos += 2
        while data[pos]:
            pos += data[pos] + 1
        pos += 1
    assert data[pos] == 0x2C
    pos += 10
    min_code = data[pos]
    pos += 1
    stream = bytearray()
    while data[pos]:
        stream += data[pos + 1:pos + 1 + data[pos]]
        pos += data[pos] + 1
    clear, end = 1 << min_code, (1 << min_code) + 1
    width, bitpos, out = min_code + 1, 0, []
    table = None
    prev = None
    while True:
        code = 0
        for i in range(width):
            byte = stream[(bitpos + i) // 8]
            code |= ((byte >> ((bitpos + i) % 8)) & 1) << i
        bitpos += width
        if code == clear:
            table = [[i] for i in range(clear)] + [None, None]
            width, prev = min_code + 1, None
            continue
        if code == end:
            break
        if code < len(table):
            entry = table[code]
            if prev is not None:
                table.append(prev + [entry[0]])
        else:
            entry = prev + [prev[0]]
            table.append(entry)
        out += entry
        prev = entry
        if len(table) == (1 << width) and width < 12:
            width += 1
    return w, h, out


class ServeCase(ZofTestCase):
    """A folder with files of every kind, published as a real folder."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-serve-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(os.path.join(self.pub, "docs", "sub"))
        self.write("hello.txt", b"Hello, world!\n")
        self.write("photo.jpg", b"\xff\xd8\xff" + bytes(range(256)) * 4)
        self.write("docs/readme.txt", b"read me\n")
        self.write("docs/sub/deep.bin", os.urandom(3000))
        # Outside the published folder: must never be reachable.
        with open(os.path.join(self.data, "secret.txt"), "wb") as f:
            f.write(b"TOP SECRET")

    def write(self, rel, content):
        path = os.path.join(self.pub, rel)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def start(self, *args, **kw):
        z = self.start_zof(*args, self.pub, **kw)
        z.wait_port()
        return z

    def raw_one(self, z, request):
        return parse_response(z.raw(request))


class FileHeaders(ServeCase):
    def test_file_has_exact_headers(self):
        z = self.start()
        status, h, body = z.get("/pub/hello.txt")
        self.assertEqual(status, 200)
        self.assertEqual(body, b"Hello, world!\n")
        self.assertEqual(h["content-type"], "text/plain")
        self.assertEqual(h["content-length"], "14")
        self.assertEqual(h["accept-ranges"], "bytes")
        self.assertRegex(h["etag"], r"^[0-9a-f]{32}$")
        mtime = os.path.getmtime(os.path.join(self.pub, "hello.txt"))
        self.assertEqual(h["last-modified"], time.strftime("%a, %d %b %Y %H:%M:%S GMT", time.gmtime(mtime)))
        # *.txt is opened in the browser by default: no "attachment".
        self.assertEqual(h["content-disposition"], "filename*=UTF-8''hello.txt; filename=hello.txt")

    def test_unknown_type_is_saved_as_attachment(self):
        self.write("data.xyz", b"12345")
        z = self.start()
        status, h, body = z.get("/pub/data.xyz")
        self.assertEqual(status, 200)
        self.assertEqual(h["content-type"], "application/octet-stream")
        self.assertEqual(h["content-disposition"], "attachment; filename*=UTF-8''data.xyz; filename=data.xyz")

    def test_range_gives_206_with_content_range(self):
        z = self.start()
        for rng, expect, cr in (("bytes=0-4", b"Hello", "bytes 0-4/14"),
                                ("bytes=7-", b"world!\n", "bytes 7-13/14"),
                                ("bytes=-3", b"!\n"[-3:] if False else b"d!\n", "bytes 11-13/14")):
            with self.subTest(range=rng):
                status, h, body = z.get("/pub/hello.txt", headers={"Range": rng})
                self.assertEqual(status, 206)
                self.assertEqual(body, expect)
                self.assertEqual(h["content-range"], cr)
                self.assertEqual(h["content-length"], str(len(expect)))

    def test_if_none_match_gives_304_then_touch_changes_tag(self):
        z = self.start()
        _, h, _ = z.get("/pub/hello.txt")
        tag = h["etag"]
        raw = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\nIf-None-Match: " + tag.encode()
                    + b"\r\nConnection: close\r\n\r\n")
        self.assertTrue(raw.startswith(b"HTTP/1.1 304 "), raw[:100])
        self.assertEqual(raw.partition(b"\r\n\r\n")[2], b"")
        path = os.path.join(self.pub, "hello.txt")
        st = os.stat(path)
        os.utime(path, (st.st_atime, st.st_mtime + 10))
        status, h2, body = z.get("/pub/hello.txt", headers={"If-None-Match": tag})
        self.assertEqual(status, 200)
        self.assertEqual(body, b"Hello, world!\n")
        self.assertNotEqual(h2["etag"], tag)

    def test_rewritten_file_is_served_fresh(self):
        # Files and folders a few seconds old are remembered between
        # requests: a change to one must still reach the next request.
        path = os.path.join(self.pub, "hello.txt")
        # Old enough to be remembered (change times cannot be set back).
        self.assertTrue(wait_until(lambda: time.time() - os.stat(path).st_ctime > 2.5, 5, 0.1))
        z = self.start()
        for _ in range(2):
            self.assertEqual(z.get("/pub/hello.txt")[2], b"Hello, world!\n")
        status, _, body = z.get("/pub/hello.txt", headers={"Range": "bytes=7-11"})
        self.assertEqual((status, body), (206, b"world"))
        with open(path, "r+b") as f:  # same size, in place
            f.write(b"Howdy")
        self.assertEqual(z.get("/pub/hello.txt")[2], b"Howdy, world!\n")
        replacement = self.write("other.txt", b"Replaced file.\n")
        os.rename(replacement, path)
        self.assertEqual(z.get("/pub/hello.txt")[2], b"Replaced file.\n")
        os.remove(path)
        self.assertEqual(z.get("/pub/hello.txt")[0], 404)
        # The default file of a folder that had none, and again without it.
        self.assertIn(b"readme.txt", z.get("/pub/docs/")[2])
        self.write("docs/index.html", b"<p>now an index</p>")
        self.assertEqual(z.get("/pub/docs/")[2], b"<p>now an index</p>")
        os.remove(os.path.join(self.pub, "docs", "index.html"))
        self.assertIn(b"readme.txt", z.get("/pub/docs/")[2])


class Folders(ServeCase):
    def test_folder_without_slash_moves(self):
        z = self.start()
        status, h, body = z.get("/pub/docs")
        self.assertEqual(status, 301)
        self.assertEqual(h["location"], "/pub/docs/")

    def test_head_of_folder_is_empty_200(self):
        z = self.start()
        st, h, body = self.raw_one(z, b"HEAD /pub/docs/ HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
        self.assertEqual(st, "HTTP/1.1 200 OK")
        self.assertEqual(h["content-length"], "0")
        self.assertEqual(body, b"")

    def test_folder_page_lists_items_escaped(self):
        self.write("docs/<b>&x.txt", b"x")
        z = self.start()
        status, h, body = z.get("/pub/docs/")
        self.assertEqual(status, 200)
        self.assertIn("text/html", h["content-type"])
        page = body.decode()
        self.assertIn("readme.txt", page)
        self.assertIn("sub/", page)
        self.assertIn("&lt;b&gt;&amp;x.txt", page)
        self.assertNotIn("<b>&x", page)

    def test_default_file_and_nodefault(self):
        self.write("docs/index.html", b"<p>index</p>")
        z = self.start("-c", "enable-no-default=yes")
        status, h, body = z.get("/pub/docs/")
        self.assertEqual((status, body), (200, b"<p>index</p>"))
        status, h, body = z.get("/pub/docs/~nodefault")
        self.assertEqual(status, 200)
        self.assertIn(b"readme.txt", body)

    def test_compressed_folder_page(self):
        z = self.start()
        status, h, body = z.get("/pub/docs/", headers={"Accept-Encoding": "gzip, deflate"})
        self.assertEqual(status, 200)
        self.assertEqual(h.get("content-encoding"), "gzip")
        self.assertIn(b"readme.txt", zlib.decompress(body, 16 + zlib.MAX_WBITS))


class SpecialUrls(ServeCase):
    def test_put_is_405(self):
        z = self.start()
        raw = z.raw(b"PUT /pub/hello.txt HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n")
        self.assertTrue(raw.startswith(b"HTTP/1.1 405 "), raw[:80])
        self.assertIn(b"405 - Method not allowed", raw)

    def test_user_name_with_star_is_400(self):
        import base64
        z = self.start()
        cred = base64.b64encode(b"ev*il:pw")
        raw = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\nAuthorization: Basic " + cred + b"\r\n\r\n")
        self.assertTrue(raw.startswith(b"HTTP/1.1 400 "), raw[:80])

    def test_robots_plain_and_gzip(self):
        z = self.start()
        status, h, body = z.get("/robots.txt")
        self.assertEqual(status, 200)
        self.assertEqual(body, b"User-agent: *\r\nDisallow: /")
        self.assertEqual(h["content-type"], "text/plain; charset=utf-8")
        status, h, body = z.get("/ROBOTS.TXT", headers={"Accept-Encoding": "gzip"})
        self.assertEqual(h.get("content-encoding"), "gzip")
        self.assertEqual(zlib.decompress(body, 16 + zlib.MAX_WBITS), b"User-agent: *\r\nDisallow: /")

    def test_robots_without_stop_spiders_is_404(self):
        z = self.start("-c", "stop-spiders=no")
        self.assertEqual(z.get("/robots.txt")[0], 404)

    def test_icons(self):
        z = self.start()
        pictures = set()
        for path in ("/~img12", "/~img_lock", "/~img4", "/~img6", "/~img37", "/favicon.ico", "/pub/favicon.ico"):
            with self.subTest(path=path):
                status, h, body = z.get(path)
                self.assertEqual(status, 200)
                self.assertEqual(h["content-type"], "image/gif")
                w, hh, pixels = gif_pixels(body)
                self.assertEqual((w, hh, len(pixels)), (16, 16, 256))
                pictures.add(body)
        self.assertEqual(len(pictures), 5)  # 12 and _lock are one picture; both favicons too
        self.assertEqual(z.get("/~img12")[2], z.get("/~img_lock")[2])
        for path in ("/~imgx", "/~img99999", "/pub/docs/~other", "/nothing.txt", "/pub/nothing.txt"):
            with self.subTest(path=path):
                self.assertEqual(z.get(path)[0], 404)

    def test_jquery_with_tag(self):
        z = self.start()
        status, h, body = z.get("/?mode=jquery")
        self.assertEqual(status, 200)
        self.assertEqual(h["content-type"], "text/javascript")
        self.assertIn(b"jQuery v1.12.4", body)
        status2, _, body2 = z.get("/?mode=jquery", headers={"If-None-Match": h["etag"]})
        self.assertEqual((status2, body2), (304, b""))


class Traversal(ServeCase):
    ATTEMPTS = [
        b"/pub/../secret.txt", b"/pub/%2e%2e/secret.txt", b"/pub/%2E%2E%2Fsecret.txt",
        b"/pub/..%2fsecret.txt", b"/pub//../secret.txt", b"//pub//..//secret.txt",
        b"/pub/..\\secret.txt", b"/pub/%2e%2e%5csecret.txt", b"/pub/docs/../../secret.txt",
        b"/pub/hello.txt%00.jpg", b"/pub/%00/../secret.txt", b"/../secret.txt", b"/pub/.../secret.txt",
        b"/pub/docs/%2e%2e/%2e%2e/secret.txt", b"/pub/docs/sub/..%5c..%5c..%5csecret.txt",
        b"/%2e%2e/%2e%2e" + os.fsencode(os.path.abspath(os.sep)) + b"etc/passwd",
        b"/pub/" + b"../" * 20 + b"etc/passwd",
    ]

    def test_never_leaves_published_folders(self):
        z = self.start()
        for target in self.ATTEMPTS:
            with self.subTest(target=target):
                raw = z.raw(b"GET " + target + b" HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
                self.assertNotIn(b"TOP SECRET", raw)
                self.assertNotIn(b"root:", raw)
                self.assertFalse(raw.startswith(b"HTTP/1.1 200"), raw[:200])
        # Still serving.
        self.assertEqual(z.get("/pub/hello.txt")[0], 200)

    def test_symlink_out_is_not_deleted_by_delete_action(self):
        # The delete action needs delete rights; without them nothing goes.
        z = self.start()
        body = b"action=delete&selection=../secret.txt&selection=hello.txt"
        z.request("POST", "/pub/", body=body, headers={"Content-Type": "application/x-www-form-urlencoded"})
        self.assertTrue(os.path.exists(os.path.join(self.data, "secret.txt")))
        self.assertTrue(os.path.exists(os.path.join(self.pub, "hello.txt")))


class Names(ServeCase):
    NAMES = ["a b;c.txt", "hash#1.txt", "100%.txt", "q?x.bin", "\u00e9t\u00e9 \u6f22\u5b57.txt", "semi;colon&amp.txt"]

    def test_odd_names_download_under_their_own_names(self):
        from urllib.parse import quote
        for n in self.NAMES:
            self.write(n, n.encode("utf-8") * 3)
        z = self.start()
        for n in self.NAMES:
            with self.subTest(name=n):
                status, h, body = z.get("/pub/" + quote(n))
                self.assertEqual(status, 200)
                self.assertEqual(body, n.encode("utf-8") * 3)
                disp = h["content-disposition"]
                enc = "".join(c if (33 <= b < 128 and chr(b) not in "\"#%&',:;<>?") else "%%%02X" % b
                              for b in n.encode("utf-8") for c in [chr(b)])
                self.assertIn("filename*=UTF-8''" + enc, disp)
                self.assertTrue(disp.endswith("; filename=" + enc), disp)

    def test_wget_saves_under_the_name(self):
        tool("wget")
        n = "a b;c.txt"
        self.write(n, b"wget content")
        z = self.start()
        out = tempfile.mkdtemp(dir=self.data)
        # The URL names another file: the name must come from the header.
        subprocess.run(["wget", "-q", "--content-disposition", "http://127.0.0.1:%d/pub/a%%20b%%3Bc.txt?x=1" % z.port],
                       cwd=out, check=True, timeout=20)
        self.assertEqual(os.listdir(out), [n])


class Pipelining(ServeCase):
    def test_pipelined_requests_answered_in_order(self):
        z = self.start()
        paths = ["/pub/hello.txt", "/pub/docs/readme.txt", "/pub/nothing", "/pub/hello.txt"]
        req = b"".join(b"GET " + p.encode() + b" HTTP/1.1\r\nHost: x\r\n\r\n" for p in paths)
        with socket.create_connection(("127.0.0.1", z.port), timeout=5) as s:
            s.sendall(req)
            buf = b""
            answers = []
            deadline = time.monotonic() + 5
            while len(answers) < 3 and time.monotonic() < deadline:
                chunk = s.recv(65536)
                if not chunk:
                    break
                buf += chunk
                while b"\r\n\r\n" in buf:
                    head, _, rest = buf.partition(b"\r\n\r\n")
                    st, h, _ = parse_response(head + b"\r\n\r\n")
                    n = int(h.get("content-length", "0"))
                    if len(rest) < n:
                        break
                    answers.append((st, rest[:n]))
                    buf = rest[n:]
        self.assertEqual(answers[0], ("HTTP/1.1 200 OK", b"Hello, world!\n"))
        self.assertEqual(answers[1], ("HTTP/1.1 200 OK", b"read me\n"))
        self.assertTrue(answers[2][0].startswith("HTTP/1.1 404"))


class Resume(ServeCase):
    SIZE = 24 * 1024 * 1024

    def make_big(self):
        path = os.path.join(self.pub, "big.bin")
        block = hashlib.sha256(b"seed").digest() * 4096
        with open(path, "wb") as f:
            written = 0
            i = 0
            while written < self.SIZE:
                b = hashlib.sha256(block[:64] + bytes([i % 256])).digest() + block[32:]
                f.write(b)
                written += len(b)
                i += 1
            f.truncate(self.SIZE)
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()

    def sha(self, path):
        with open(path, "rb") as f:
            return hashlib.sha256(f.read()).hexdigest()

    def partial(self, dest, z):
        """Starts a download and breaks it off part way."""
        with socket.create_connection(("127.0.0.1", z.port), timeout=5) as s:
            s.sendall(b"GET /pub/big.bin HTTP/1.1\r\nHost: x\r\n\r\n")
            buf = b""
            while b"\r\n\r\n" not in buf:
                buf += s.recv(65536)
            body = buf.partition(b"\r\n\r\n")[2]
            while len(body) < self.SIZE // 3:
                body += s.recv(65536)
        with open(dest, "wb") as f:
            f.write(body[: self.SIZE // 3])

    def test_curl_resumes(self):
        tool("curl")
        digest = self.make_big()
        z = self.start()
        dest = os.path.join(self.data, "curl.bin")
        self.partial(dest, z)
        subprocess.run(["curl", "-s", "-C", "-", "-o", dest, "http://127.0.0.1:%d/pub/big.bin" % z.port],
                       check=True, timeout=60)
        self.assertEqual(os.path.getsize(dest), self.SIZE)
        self.assertEqual(self.sha(dest), digest)

    def test_wget_resumes(self):
        tool("wget")
        digest = self.make_big()
        z = self.start()
        dest = os.path.join(self.data, "wget.bin")
        self.partial(dest, z)
        subprocess.run(["wget", "-q", "-c", "-O", dest, "http://127.0.0.1:%d/pub/big.bin" % z.port],
                       check=True, timeout=60)
        self.assertEqual(os.path.getsize(dest), self.SIZE)
        self.assertEqual(self.sha(dest), digest)


if __name__ == "__main__":
    unittest.main()
