"""The real window on a virtual X server (Xvfb): zof started without --headless
publishes a folder, serves a download, and its window shows the tree, the
connection and the log line. The window writes a picture of itself and a
text dump of its views (ZOF_SCREENSHOT); the picture stays beside the test
output (window.png)."""

import os
import select
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

from zofharness import ZofTestCase, wait_until

OUT_DIR = os.environ.get("ZOF_E2E_OUT", os.getcwd())


def png_pixels(path):
    """The decompressed image data of a PNG (filter bytes included) and its
    width and height."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise AssertionError("%s is not a PNG" % path)
    pos, idat, size = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            size = struct.unpack(">II", body[:8])
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    return zlib.decompress(idat), size


def sections(text):
    """The text dump as {name: [lines]}."""
    out, current = {}, None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]") and " " not in line:
            current = out.setdefault(line[1:-1], [])
        elif current is not None:
            current.append(line)
    return out


def start_xvfb(testcase):
    """A virtual X server for one test, stopped after the test's servers
    (whose cleanup is registered later and so runs first); its display.
    Another X server starting at the same moment (a parallel test) can take
    the display this one chose: it then ends without a number, and a new
    one is started."""
    for attempt in range(3):
        r, w = os.pipe()
        proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
                                pass_fds=(w,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        os.close(w)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            ready, _, _ = select.select([r], [], [], 0.5)
            if ready:
                chunk = os.read(r, 16)
                if not chunk:
                    break
                number += chunk
        os.close(r)
        if number.strip():
            def stop(proc=proc):
                proc.terminate()
                proc.wait(10)
            testcase.addCleanup(stop)
            return ":" + number.decode().strip()
        proc.terminate()
        proc.wait(10)
    raise AssertionError("Xvfb gave no display number")


# The X keyboard library copies key names with strndup() from buffers
# that end right after the name, which a strict string check takes for an
# overflow; the sanitizer build keeps every other check.
X11_ASAN_OPTIONS = os.environ.get("ASAN_OPTIONS", "") + ":strict_string_checks=0"


@unittest.skipUnless(shutil.which("Xvfb"), "Xvfb is missing (scripts/setup.sh installs it)")
class Window(ZofTestCase):
    def setUp(self):
        self.display = start_xvfb(self)
        super().setUp()
        self.pub = os.path.join(self.make_dir(), "pub")
        os.mkdir(self.pub)
        with open(os.path.join(self.pub, "hello.txt"), "wb") as f:
            f.write(b"hello from the window test\n")
        self.png = os.path.join(OUT_DIR, "window.png")
        for p in (self.png, self.png + ".txt"):
            if os.path.exists(p):
                os.remove(p)

    def make_dir(self):
        d = tempfile.mkdtemp(prefix="zof-window-")
        self.addCleanup(shutil.rmtree, d, True)
        return d

    def start_window(self):
        # Stored options: not a first start, which would ask about the
        # desktop's context menu before anything else.
        z = self.make_zof("-c", "add-folder-default=real", "-c", "quit-dont-ask=yes", self.pub,
                          ini="quit-dont-ask=yes\n", headless_flag=False,
                          env={"QT_QPA_PLATFORM": "xcb", "DISPLAY": self.display, "ZOF_SCREENSHOT": self.png,
                               "ASAN_OPTIONS": X11_ASAN_OPTIONS})
        z.start(timeout=30)
        z.wait_listening()
        return z

    def dump(self):
        try:
            with open(self.png + ".txt", encoding="utf-8") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def test_window_serves_and_shows_its_state(self):
        z = self.start_window()
        self.assertIn("ZOF listening on", z.stdout_text())
        status, _, body = z.get("/pub/hello.txt")
        self.assertEqual(status, 200, z.dump())
        self.assertEqual(body, b"hello from the window test\n")

        # The window exists on the display and follows the server's state.
        def captions_ready():
            d = sections(self.dump())
            controls = d.get("controls", [])
            return ("Server is currently ON" in controls and "Port: %d" % z.port in controls
                    and any(l.startswith("urlBox: http://") for l in controls)) and d
        d = wait_until(captions_ready, timeout=10)
        self.assertTrue(d, "captions never showed the running server:\n" + self.dump() + z.dump())
        self.assertTrue(d["title"][0].startswith("ZOF ~ Quillet "), d["title"])

        # The picture is the window, not an empty frame.
        pixels, (width, height) = png_pixels(self.png)
        self.assertGreater(width, 300)
        self.assertGreater(height, 200)
        self.assertGreater(len(set(pixels)), 16, "the screenshot is blank")
        z.stop()
        self.assertNotIn("QXcbConnection", z.stderr_text())

    def test_views_show_the_tree_the_connection_and_the_log(self):
        z = self.start_window()
        # A connection kept open after its request stays in the list.
        s = socket.create_connection(("127.0.0.1", z.port), timeout=5)
        self.addCleanup(s.close)
        s.sendall(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
        reply = b""
        while b"hello from the window test" not in reply:
            chunk = s.recv(4096)
            if not chunk:
                break
            reply += chunk
        self.assertIn(b"200", reply.split(b"\r\n", 1)[0])

        def views_ready():
            d = sections(self.dump())
            tree = d.get("vfsTree", [])
            conns = d.get("connectionsView", [])
            log = d.get("logView", [])
            return (any("pub" in l for l in tree) and any("127.0.0.1" in l for l in conns)
                    and any("hello.txt" in l for l in log))
        ok = wait_until(views_ready, timeout=10)
        self.assertTrue(ok, "the views do not show the tree, the connection and the log line:\n" + self.dump())
        z.stop()
        # The window shows the log: it is not copied to standard error (where
        # the view's model would be cut to a headless program's few lines).
        self.assertNotIn("hello.txt", z.stderr_text())


if __name__ == "__main__":
    unittest.main()
