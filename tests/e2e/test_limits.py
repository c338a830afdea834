"""Admission control seen from a client: bans, the connection limit per
address, a download held to its speed limit, idle connections closed."""

import os
import shutil
import socket
import tempfile
import time
import unittest

from zofharness import ZofTestCase


def status_of(data):
    return data.split(b"\r\n", 1)[0].decode("latin-1")


class LimitsCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-limits-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(self.pub)
        with open(os.path.join(self.pub, "hello.txt"), "wb") as f:
            f.write(b"Hello, world!\n")
        self.big = os.urandom(60000)
        with open(os.path.join(self.pub, "big.bin"), "wb") as f:
            f.write(self.big)

    def start(self, *options):
        args = []
        for o in options:
            args += ["-c", o]
        z = self.start_zof(*args, self.pub)
        z.wait_port()
        time.sleep(0.2)  # the probe connection of wait_port is gone
        return z


class Bans(LimitsCase):
    def test_banned_address_gets_the_ban_page_with_its_reason(self):
        z = self.start("ban-list=10.9.9.9#other|127.0.0.1#go away|")
        resp = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n", timeout=5)
        self.assertEqual(status_of(resp), "HTTP/1.1 403 Banned: go away")
        self.assertNotIn(b"Hello, world!", resp)
        # The other family is not banned (when IPv6 loopback is usable).
        try:
            status, _, body = z.get("/pub/hello.txt", host="::1")
        except OSError:
            return
        self.assertEqual(status, 200)
        self.assertEqual(body, b"Hello, world!\n")

    def test_no_reply_ban_closes_without_a_byte(self):
        z = self.start("ban-list=127.0.0.1#silent|", "no-reply-ban=yes")
        resp = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n", timeout=5)
        self.assertEqual(resp, b"")


class ConnectionLimits(LimitsCase):
    def test_over_max_connections_by_ip_gets_the_overload_page(self):
        z = self.start("max-connections-by-ip=2")
        held = [socket.create_connection(("127.0.0.1", z.port), timeout=5) for _ in range(2)]
        try:
            time.sleep(0.3)  # both accepted and counted
            resp = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n", timeout=5)
            self.assertTrue(status_of(resp).startswith("HTTP/1.1 429"), resp[:200])
            self.assertNotIn(b"Hello, world!", resp)
            # The page closed that connection (raw() returned at the close).
        finally:
            for s in held:
                s.close()
        # Once the others are gone, the address is served again.
        deadline = time.monotonic() + 5
        while True:
            status, _, body = z.get("/pub/hello.txt")
            if status == 200 or time.monotonic() > deadline:
                break
            time.sleep(0.2)
        self.assertEqual(status, 200)
        self.assertEqual(body, b"Hello, world!\n")

    def test_connections_within_the_limit_are_served(self):
        z = self.start("max-connections-by-ip=2")
        held = socket.create_connection(("127.0.0.1", z.port), timeout=5)
        try:
            status, _, body = z.get("/pub/hello.txt")
            self.assertEqual(status, 200)
        finally:
            held.close()


class SpeedLimit(LimitsCase):
    def test_download_is_held_to_the_server_limit(self):
        # 20 kB/s for 60000 bytes: about 3 s (the first second's allowance
        # comes at the first refill, bursts follow each refill).
        z = self.start("speed-limit=20")
        time.sleep(1.2)  # the limit is taken up by the per-second work
        start = time.monotonic()
        status, _, body = z.get("/pub/big.bin", timeout=15)
        took = time.monotonic() - start
        self.assertEqual(status, 200)
        self.assertEqual(body, self.big)
        self.assertGreaterEqual(took, 1.8, "too fast for 20 kB/s")
        self.assertLessEqual(took, 5.0, "far slower than 20 kB/s")

    def test_per_address_limit(self):
        z = self.start("speed-limit-ip=30")
        start = time.monotonic()
        status, _, body = z.get("/pub/big.bin", timeout=15)
        took = time.monotonic() - start
        self.assertEqual(body, self.big)
        self.assertGreaterEqual(took, 0.9, "too fast for 30 kB/s")
        self.assertLessEqual(took, 4.0)

    def test_unlimited_is_fast(self):
        z = self.start()
        start = time.monotonic()
        status, _, body = z.get("/pub/big.bin")
        self.assertEqual(body, self.big)
        self.assertLess(time.monotonic() - start, 1.0)


class Inactivity(LimitsCase):
    def test_idle_connection_is_closed(self):
        z = self.start("connections-timeout=2")
        s = socket.create_connection(("127.0.0.1", z.port), timeout=8)
        try:
            s.sendall(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
            got = b""
            while b"Hello, world!\n" not in got:
                chunk = s.recv(65536)
                self.assertTrue(chunk, "closed before the reply")
                got += chunk
            start = time.monotonic()
            rest = s.recv(65536)  # kept alive, then closed for inactivity
            waited = time.monotonic() - start
            self.assertEqual(rest, b"")
            self.assertGreaterEqual(waited, 1.5)
            self.assertLessEqual(waited, 4.5)
        finally:
            s.close()

    def test_without_timeout_the_connection_stays(self):
        z = self.start("connections-timeout=0")
        s = socket.create_connection(("127.0.0.1", z.port), timeout=2.5)
        try:
            s.sendall(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
            time.sleep(0.3)
            s.recv(65536)
            with self.assertRaises(socket.timeout):
                s.recv(65536)
        finally:
            s.close()


if __name__ == "__main__":
    unittest.main()
