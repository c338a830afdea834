"""HTTPS seen from outside: the self-signed pair made at start, downloads,
resumes and uploads with curl over TLS, the protocols offered, plain HTTP on
the HTTPS port, bad key files refused at start, stalled handshakes that
block nobody and are closed by the idle timeout, Secure cookies, HSTS and
the move of plain requests to HTTPS."""

import http.client
import os
import re
import shutil
import socket
import ssl
import stat
import subprocess
import tempfile
import time
import unittest
import warnings

from test_uploads import account, ini_text, write_tree
from zofharness import ZofTestCase, tool, wait_until

HTTPS_LINE = re.compile(r"^ZOF listening for HTTPS on https://[^/]+:(\d+)/$")


class HttpsCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-https-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(self.pub)
        self.big = os.urandom(6 * 1024 * 1024 + 123)
        with open(os.path.join(self.pub, "big.bin"), "wb") as f:
            f.write(self.big)
        self.tree = os.path.join(self.data, "tree.vfs")
        write_tree(self.tree, {"pub": {"path": self.pub, "upload": ["@anyone"]}})

    def zof(self, *args, **options):
        options.setdefault("https_port", "0")
        z = self.start_zof(self.tree, *args, ini=ini_text(account("bob", "pw1"), **options))
        z.wait_port()
        return z

    def https_port(self, z):
        """The HTTPS port of the last start of the listeners (the command
        line's options may restart them after the stored ones started them)."""
        with z.out.cond:
            lines = [l for l in z.out.lines if HTTPS_LINE.match(l)]
        self.assertTrue(lines, z.dump())
        return int(HTTPS_LINE.match(lines[-1]).group(1))

    def cert(self, z):
        return os.path.join(z.cfg_dir, "https-self-signed.crt")

    def curl(self, *args):
        r = subprocess.run([tool("curl"), "-sS", "--max-time", "30"] + list(args), capture_output=True, timeout=40)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout

    def https_get(self, z, port, path, headers=None):
        ctx = ssl.create_default_context(cafile=self.cert(z))
        conn = http.client.HTTPSConnection("127.0.0.1", port, context=ctx, timeout=10)
        try:
            conn.request("GET", path, headers=headers or {})
            r = conn.getresponse()
            return r.status, {k.lower(): v for k, v in r.getheaders()}, r.read()
        finally:
            conn.close()


class TestHttpsTransfers(HttpsCase):
    def test_self_signed_pair_download_resume_and_upload(self):
        z = self.zof("--https-self-signed", log_connections="yes")
        port = self.https_port(z)
        for name in ("https-self-signed.crt", "https-self-signed.key"):
            mode = stat.S_IMODE(os.stat(os.path.join(z.cfg_dir, name)).st_mode)
            self.assertEqual(mode, 0o600, name)
        base = "https://127.0.0.1:%d" % port
        out = os.path.join(self.data, "got.bin")
        self.curl("--cacert", self.cert(z), "-o", out, base + "/pub/big.bin")
        with open(out, "rb") as f:
            self.assertTrue(f.read() == self.big)

        # A transfer cut short, then resumed where it stopped.
        part = os.path.join(self.data, "part.bin")
        with open(part, "wb") as f:
            f.write(self.big[:1234567])
        self.curl("--cacert", self.cert(z), "-C", "-", "-o", part, base + "/pub/big.bin")
        with open(part, "rb") as f:
            self.assertTrue(f.read() == self.big)

        src = os.path.join(self.data, "up.bin")
        sent = os.urandom(700 * 1024)
        with open(src, "wb") as f:
            f.write(sent)
        self.curl("--cacert", self.cert(z), "-F", "file=@" + src, "-o", "/dev/null", base + "/pub/")
        with open(os.path.join(self.pub, "up.bin"), "rb") as f:
            self.assertTrue(f.read() == sent)

        self.assertEqual(z.get("/pub/")[0], 200)

        # The same pair is kept by the next start.
        with open(self.cert(z), "rb") as f:
            first = f.read()
        z.stop()
        z2 = self.start_zof(self.tree, "--https-self-signed", cfg_dir=z.cfg_dir)
        z2.wait_port()
        with open(self.cert(z2), "rb") as f:
            self.assertEqual(f.read(), first)
        log = z.stderr_text()
        self.assertEqual(len(re.findall(r"(?m)  Connected \(TLS\)$", log)), 3, log)
        self.assertEqual(len(re.findall(r"(?m)  Connected$", log)), 1, log)  # the plain one

    def test_protocols_offered(self):
        z = self.zof("--https-self-signed")
        port = self.https_port(z)
        # A client that allows nothing newer than TLS 1.1 is turned away
        # by the server (the client itself would offer it).
        old = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        old.check_hostname = False
        old.verify_mode = ssl.CERT_NONE
        old.set_ciphers("DEFAULT:@SECLEVEL=0")
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            old.minimum_version = ssl.TLSVersion.TLSv1_1
            old.maximum_version = ssl.TLSVersion.TLSv1_1
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            with self.assertRaises((ssl.SSLError, ConnectionError)):
                old.wrap_socket(s).close()
        v12 = ssl.create_default_context(cafile=self.cert(z))
        v12.maximum_version = ssl.TLSVersion.TLSv1_2
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            with v12.wrap_socket(s, server_hostname="localhost") as t:
                self.assertEqual(t.version(), "TLSv1.2")

        r = subprocess.run([tool("openssl"), "s_client", "-connect", "127.0.0.1:%d" % port, "-brief",
                            "-CAfile", self.cert(z), "-verify_return_error"],
                           input=b"", capture_output=True, timeout=20)
        text = (r.stdout + r.stderr).decode("utf-8", "replace")
        self.assertIn("Protocol version: TLSv1.3", text)
        self.assertIn("Verification: OK", text)

    def test_plain_http_on_the_https_port_gets_400(self):
        z = self.zof("--https-self-signed")
        port = self.https_port(z)
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            s.sendall(b"GET /pub/big.bin HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
            data = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
        self.assertTrue(data.startswith(b"HTTP/1.1 400 "), data[:200])
        self.assertIn(b"https://", data)


class TestHttpsRefusedAtStart(HttpsCase):
    def pair(self, name):
        cert, key = os.path.join(self.data, name + ".crt"), os.path.join(self.data, name + ".key")
        subprocess.run([tool("openssl"), "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                        "-nodes", "-keyout", key, "-out", cert, "-subj", "/CN=localhost", "-days", "2"],
                       check=True, capture_output=True, timeout=30)
        os.chmod(key, 0o600)
        return cert, key

    def refused(self, cert, key, message):
        z = self.zof(https_cert=cert, https_key=key)
        wait_until(lambda: "HTTPS not started" in z.stdout_text() + z.stderr_text())
        text = z.stdout_text() + z.stderr_text()
        self.assertIn("HTTPS not started", text)
        self.assertIn(message, text)
        self.assertNotIn("listening for HTTPS", text)
        # Plain HTTP is served all the same.
        status, _, _ = z.get("/pub/")
        self.assertEqual(status, 200)

    def test_key_readable_by_others(self):
        cert, key = self.pair("a")
        os.chmod(key, 0o644)
        self.refused(cert, key, "can be read by other users")

    def test_certificate_of_another_key(self):
        cert, _ = self.pair("a")
        _, key = self.pair("b")
        self.refused(cert, key, "does not match")

    def test_good_pair_from_the_options(self):
        cert, key = self.pair("a")
        z = self.zof(https_cert=cert, https_key=key)
        port = self.https_port(z)
        got = self.curl("--cacert", cert, "https://localhost:%d/pub/big.bin" % port)
        self.assertTrue(got == self.big)


class TestHttpsUnderLoad(HttpsCase):
    def test_stalled_handshakes_block_nobody(self):
        self.raise_fd_limit(1024)
        z = self.zof("--https-self-signed")
        port = self.https_port(z)
        stalled = [socket.create_connection(("127.0.0.1", port), timeout=5) for _ in range(200)]
        self.addCleanup(lambda: [s.close() for s in stalled])
        t0 = time.monotonic()
        got = self.curl("--cacert", self.cert(z), "https://127.0.0.1:%d/pub/big.bin" % port)
        self.assertTrue(got == self.big)
        status, _, body = z.get("/pub/big.bin")
        self.assertEqual(status, 200)
        self.assertEqual(len(body), len(self.big))
        self.assertLess(time.monotonic() - t0, 15)

    def test_stalled_handshake_meets_the_idle_timeout(self):
        z = self.zof("--https-self-signed", connections_timeout="2")
        port = self.https_port(z)
        s = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.addCleanup(s.close)
        half = socket.create_connection(("127.0.0.1", port), timeout=10)
        self.addCleanup(half.close)
        half.sendall(b"\x16\x03\x01\x02\x00\x01")  # a hello that never ends
        t0 = time.monotonic()
        for sock in (s, half):
            try:
                self.assertEqual(sock.recv(100), b"")
            except ConnectionResetError:
                pass
        self.assertLess(time.monotonic() - t0, 8)


class TestHttpsHeaders(HttpsCase):
    def test_secure_cookie_and_hsts(self):
        z = self.zof("--https-self-signed", https_hsts="yes")
        port = self.https_port(z)
        status, headers, _ = self.https_get(z, port, "/")
        self.assertEqual(status, 200)
        self.assertRegex(headers.get("set-cookie", ""), r"^ZOF_SID_=\w+; path=/; HttpOnly; Secure$")
        self.assertEqual(headers.get("strict-transport-security"), "max-age=31536000")
        plain = z.get("/")[1]
        self.assertNotIn("Secure", plain.get("set-cookie", ""))
        self.assertNotIn("strict-transport-security", plain)

    def test_plain_requests_move_to_https(self):
        z = self.zof("--https-self-signed", https_redirect="yes")
        port = self.https_port(z)
        status, headers, _ = z.get("/pub/big.bin?x=1", headers={"Host": "127.0.0.1:%d" % z.port})
        self.assertEqual(status, 301)
        self.assertEqual(headers.get("location"), "https://127.0.0.1:%d/pub/big.bin?x=1" % port)
        status, _, body = self.https_get(z, port, "/pub/big.bin")
        self.assertEqual(status, 200)
        self.assertTrue(body == self.big)


if __name__ == "__main__":
    unittest.main()
