"""Admission control seen from a client: bans, connection and download
limits, leeching, speed limits and accounts without limits, idle
connections, the socket buffer switches and a crowd of connections."""

import base64
import os
import re
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from zofharness import ZofTestCase, tool, wait_until, zof_bin

# A file far larger than what the kernel buffers of a loopback connection
# hold: a client that stops reading keeps its download in progress. Sparse,
# so it costs no disk.
STALL_SIZE = 256 * 1024 * 1024


def status_of(data):
    return data.split(b"\r\n", 1)[0].decode("latin-1")


def basic(user, pwd):
    return "Basic " + base64.b64encode(("%s:%s" % (user, pwd)).encode()).decode()


def account(user, pwd, no_limits):
    login = base64.b64encode(("%s:%s" % (user, pwd)).encode()).decode()
    return "|login:%s|enabled:yes|group:no|no-limits:%s;" % (login, "yes" if no_limits else "no")


def fetch(port, path, source=None, headers=None, timeout=10.0):
    """One GET on its own connection, from `source` (a loopback address)
    when given. Returns (status, body); the body is read to its
    Content-Length, or to the close when there is none."""
    s = socket.create_connection(("127.0.0.1", port), timeout=timeout,
                                 source_address=(source, 0) if source else None)
    with s:
        head = "GET %s HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" % path
        for k, v in (headers or {}).items():
            head += "%s: %s\r\n" % (k, v)
        s.sendall((head + "\r\n").encode())
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = s.recv(65536)
            if not chunk:
                raise ConnectionError("closed before the head: %r" % data[:200])
            data += chunk
        head, body = data.split(b"\r\n\r\n", 1)
        status = int(head.split(b" ", 2)[1])
        m = re.search(rb"(?im)^content-length:\s*(\d+)", head)
        want = int(m.group(1)) if m else None
        while want is None or len(body) < want:
            chunk = s.recv(65536)
            if not chunk:
                break
            body += chunk
        return status, body


def open_sockets(pid):
    """The sockets among the process's descriptors (others, such as a file
    watcher made on first need, are not the crowd's)."""
    count = 0
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            count += os.readlink("/proc/%d/fd/%s" % (pid, fd)).startswith("socket:")
        except OSError:
            pass  # closed meanwhile
    return count


def under_asan(pid):
    """Whether the server runs with AddressSanitizer (its memory is not
    given back and its timing is slower)."""
    try:
        with open("/proc/%d/maps" % pid) as f:
            if "libasan" in f.read():
                return True
    except OSError:
        pass
    with open(zof_bin(), "rb") as f:
        return b"AddressSanitizer" in f.read()


def rss_kib(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise AssertionError("no VmRSS for %d" % pid)


class LimitsCase(ZofTestCase):
    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-limits-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(self.pub)
        with open(os.path.join(self.pub, "hello.txt"), "wb") as f:
            f.write(b"Hello, world!\n")
        self.big = os.urandom(50000)
        with open(os.path.join(self.pub, "big.bin"), "wb") as f:
            f.write(self.big)
        for name in ("stall1.bin", "stall2.bin"):
            with open(os.path.join(self.pub, name), "wb") as f:
                f.truncate(STALL_SIZE)

    def start(self, *options, **kw):
        args = []
        for o in options:
            args += ["-c", o]
        # Listening once started, and never probed: a probe connection
        # would count against the connection limits for a while.
        return self.start_zof(*args, self.pub, **kw)

    def hold_download(self, z, path, source=None):
        """Starts a download and stops reading once its head arrived: the
        server keeps replying it until the socket is closed."""
        s = socket.create_connection(("127.0.0.1", z.port), timeout=5,
                                     source_address=(source, 0) if source else None)
        self.addCleanup(s.close)
        s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode())
        got = b""
        while b"\r\n\r\n" not in got:
            chunk = s.recv(4096)
            self.assertTrue(chunk, "closed before the head of %s" % path)
            got += chunk
        self.assertEqual(status_of(got), "HTTP/1.1 200 OK", got[:300])
        return s


class Bans(LimitsCase):
    def test_banned_address_gets_the_ban_page_with_its_reason(self):
        z = self.start("ban-list=10.9.9.9#other|127.0.0.1#go away|")
        resp = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n", timeout=5)
        self.assertEqual(status_of(resp), "HTTP/1.1 403 Banned: go away")
        self.assertNotIn(b"Hello, world!", resp)
        # Another loopback address is not banned.
        status, body = fetch(z.port, "/pub/hello.txt", source="127.0.0.2")
        self.assertEqual((status, body), (200, b"Hello, world!\n"))

    def test_no_reply_ban_closes_without_a_byte(self):
        z = self.start("ban-list=127.0.0.1#silent|", "no-reply-ban=yes")
        resp = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n", timeout=5)
        self.assertEqual(resp, b"")


class ConnectionLimits(LimitsCase):
    def test_over_max_connections_by_ip_gets_the_overload_page(self):
        z = self.start("max-connections-by-ip=2")
        # The held connections are ahead of each probe in the listen queue:
        # accepted (and counted) before it.
        held = [socket.create_connection(("127.0.0.1", z.port), timeout=5) for _ in range(2)]
        try:
            resp = z.raw(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n", timeout=5)
            self.assertTrue(status_of(resp).startswith("HTTP/1.1 429"), resp[:200])
            self.assertNotIn(b"Hello, world!", resp)
            # The page closed that connection (raw() returned at the close).
            # Another address is not counted with this one.
            status, body = fetch(z.port, "/pub/hello.txt", source="127.0.0.2")
            self.assertEqual((status, body), (200, b"Hello, world!\n"))
        finally:
            for s in held:
                s.close()
        # Once the others are gone, the address is served again.
        self.assertTrue(wait_until(lambda: z.get("/pub/hello.txt")[0] == 200), "the address stays refused")
        self.assertEqual(z.get("/pub/hello.txt")[2], b"Hello, world!\n")

    def test_connections_within_the_limit_are_served(self):
        z = self.start("max-connections-by-ip=2")
        held = socket.create_connection(("127.0.0.1", z.port), timeout=5)
        try:
            status, _, body = z.get("/pub/hello.txt")
            self.assertEqual(status, 200)
        finally:
            held.close()

    def test_max_connections_overall_and_max_addresses(self):
        A, B, C = "127.0.0.2", "127.0.0.3", "127.0.0.4"
        cases = [
            # option, connections held open (by source), prober, status
            ("max-connections=2", [A], B, 200),
            ("max-connections=2", [A, A], B, 429),
            ("max-ips=2", [A, A, A], A, 200),
            ("max-ips=2", [A, A, A], B, 200),
            ("max-ips=2", [A, B], C, 429),
            ("max-ips=2", [A, B], B, 200),
        ]
        for option, held, prober, want in cases:
            with self.subTest(option=option, held=held, prober=prober):
                z = self.start(option)
                socks = [socket.create_connection(("127.0.0.1", z.port), timeout=5, source_address=(h, 0))
                         for h in held]
                try:  # the held ones are accepted before the probe, as above
                    status, body = fetch(z.port, "/pub/hello.txt", source=prober)
                    self.assertEqual(status, want)
                    self.assertEqual(body == b"Hello, world!\n", want == 200)
                finally:
                    for s in socks:
                        s.close()
                    z.stop()


class DownloadLimits(LimitsCase):
    def test_leeching_refused_another_file_served(self):
        z = self.start("prevent-leeching=yes")
        self.hold_download(z, "/pub/stall1.bin")
        status, body = fetch(z.port, "/pub/stall1.bin")
        self.assertEqual(status, 429)
        self.assertIn(b"Too many downloads", body)
        self.assertIn(b"(Leeching)", body)
        # Another file from the same address, and the same file from another
        # address, are served.
        self.assertEqual(fetch(z.port, "/pub/big.bin"), (200, self.big))
        s = self.hold_download(z, "/pub/stall1.bin", source="127.0.0.2")
        s.close()

    def test_leeching_allowed_when_off(self):
        z = self.start("prevent-leeching=no")
        self.hold_download(z, "/pub/stall1.bin")
        self.hold_download(z, "/pub/stall1.bin")

    def test_simultaneous_downloads_from_one_address(self):
        z = self.start("max-contemporary-dls-ip=1", "prevent-leeching=no")
        self.hold_download(z, "/pub/stall1.bin")
        status, body = fetch(z.port, "/pub/big.bin")
        self.assertEqual(status, 429)
        self.assertIn(b"(Max simultaneous downloads)", body)
        # A folder page is not a download; another address may download.
        status, body = fetch(z.port, "/pub/")
        self.assertEqual(status, 200)
        self.assertIn(b"big.bin", body)
        self.assertEqual(fetch(z.port, "/pub/big.bin", source="127.0.0.2"), (200, self.big))

    def test_simultaneous_downloads_overall(self):
        z = self.start("max-contemporary-dls=2", "prevent-leeching=no")
        self.hold_download(z, "/pub/stall1.bin")
        self.hold_download(z, "/pub/stall2.bin", source="127.0.0.2")
        status, body = fetch(z.port, "/pub/big.bin", source="127.0.0.3")
        self.assertEqual(status, 429)
        self.assertIn(b"(Max simultaneous downloads)", body)

    def test_addresses_downloading(self):
        z = self.start("max-ips-downloading=1", "prevent-leeching=no")
        self.hold_download(z, "/pub/stall1.bin")
        # The same address may start another one; a second address may not.
        self.assertEqual(fetch(z.port, "/pub/big.bin"), (200, self.big))
        status, body = fetch(z.port, "/pub/big.bin", source="127.0.0.2")
        self.assertEqual(status, 429)
        self.assertIn(b"(Max simultaneous addresses downloading)", body)

    def test_download_slot_is_given_back_when_the_download_ends(self):
        z = self.start("max-contemporary-dls-ip=1")
        s = self.hold_download(z, "/pub/stall1.bin")
        self.assertEqual(fetch(z.port, "/pub/big.bin")[0], 429)
        s.close()
        self.assertTrue(wait_until(lambda: fetch(z.port, "/pub/big.bin")[0] == 200), "the slot stays taken")
        self.assertEqual(fetch(z.port, "/pub/big.bin"), (200, self.big))


class SpeedLimit(LimitsCase):
    def start_with_accounts(self, *options):
        ini = "ZOF 1.0 - Build #400\r\naccounts=%s%s\r\n" % (
            account("free", "pw1", True), account("plain", "pw2", False))
        return self.start(*options, ini=ini)

    def timed_fetch(self, z, **kw):
        start = time.monotonic()
        status, body = fetch(z.port, "/pub/big.bin", timeout=20, **kw)
        return status, body, time.monotonic() - start

    def assert_limited(self, took):
        # 10 kB/s for 50,000 bytes (and a head): the allowance of the
        # current second, then four or five refills.
        self.assertGreaterEqual(took, 3.5, "too fast for 10 kB/s")
        self.assertLessEqual(took, 6.5, "far slower than 10 kB/s")

    def test_server_limit_holds_anonymous_but_not_an_account_without_limits(self):
        z = self.start_with_accounts("speed-limit=10")
        # The limit is taken up by the per-second work, which shows nothing
        # outside: past its first run.
        time.sleep(1.2)
        status, body, took = self.timed_fetch(z)
        self.assertEqual((status, body), (200, self.big))
        self.assert_limited(took)
        status, body, took = self.timed_fetch(z, headers={"Authorization": basic("free", "pw1")})
        self.assertEqual((status, body), (200, self.big))
        self.assertLess(took, 1.5, "an account without limits was slowed")

    def test_address_limit_holds_an_ordinary_account(self):
        # Two downloads of one file from one address at once: leeching
        # protection would refuse whichever comes second.
        z = self.start_with_accounts("speed-limit-ip=10", "prevent-leeching=no")
        results = {}

        def run(name, headers):
            results[name] = self.timed_fetch(z, headers=headers)

        # Both at once: the free account's bytes do not lift the limit of
        # the other connection of the same address.
        threads = [threading.Thread(target=run, args=("plain", {"Authorization": basic("plain", "pw2")})),
                   threading.Thread(target=run, args=("free", {"Authorization": basic("free", "pw1")}))]
        for t in threads:
            t.start()
        for t in threads:
            t.join(30)
        for name in ("plain", "free"):
            status, body, _ = results[name]
            self.assertEqual((status, body), (200, self.big), name)
        self.assert_limited(results["plain"][2])
        self.assertLess(results["free"][2], 1.5, "an account without limits was slowed")

    def test_account_without_limits_ignores_download_limits(self):
        z = self.start_with_accounts("max-contemporary-dls-ip=1", "prevent-leeching=yes")
        self.hold_download(z, "/pub/stall1.bin")
        self.assertEqual(fetch(z.port, "/pub/stall1.bin")[0], 429)
        self.assertEqual(fetch(z.port, "/pub/big.bin", headers={"Authorization": basic("plain", "pw2")})[0],
                         429)
        self.assertEqual(fetch(z.port, "/pub/big.bin", headers={"Authorization": basic("free", "pw1")}),
                         (200, self.big))

    def test_unlimited_is_fast(self):
        z = self.start()
        status, body, took = self.timed_fetch(z)
        self.assertEqual((status, body), (200, self.big))
        self.assertLess(took, 1.0)

    def test_buffer_switches_keep_downloads_whole(self):
        z = self.start_zof("-b", "262144", "-B", "1048576", self.pub)
        # A download in progress through the per-second work, which sizes
        # its socket buffer (the sleep spans one run of it).
        s = self.hold_download(z, "/pub/stall1.bin")
        time.sleep(1.2)
        s.close()
        status, body, took = self.timed_fetch(z)
        self.assertEqual((status, body), (200, self.big))
        self.assertLess(took, 2.0)


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
            got = b""
            while b"Hello, world!\n" not in got:
                chunk = s.recv(65536)
                self.assertTrue(chunk, "closed before the reply")
                got += chunk
            # Nothing more, and no close, for the whole socket timeout.
            with self.assertRaises(socket.timeout):
                s.recv(65536)
        finally:
            s.close()


class Crowd(LimitsCase):
    CONNECTIONS = 1000
    SECONDS = 5

    def test_a_thousand_connections_against_the_address_limit(self):
        wrk = tool("wrk")
        # zof and wrk inherit the limit; each holds a thousand sockets.
        self.raise_fd_limit(self.CONNECTIONS + 1024)
        z = self.start("max-connections-by-ip=50")
        asan = under_asan(z.proc.pid)
        # A new connection queues behind the crowd's reconnections: seconds
        # on a loaded machine, more under the sanitizers. A hang is longer.
        patience = 30 if asan else 15
        for _ in range(20):  # warm up what the first requests allocate
            self.assertEqual(fetch(z.port, "/pub/hello.txt")[0], 200)
        idle = rss_kib(z.proc.pid)
        idle_sockets = open_sockets(z.proc.pid)

        probes = {"local": [], "other": []}
        failures = []
        stop = threading.Event()

        def probe(name, source):
            while not stop.is_set():
                t0 = time.monotonic()
                try:
                    status, body = fetch(z.port, "/pub/hello.txt", source=source, timeout=patience)
                    probes[name].append((status, time.monotonic() - t0))
                except OSError as e:
                    failures.append("%s: %r after %.2f s" % (name, e, time.monotonic() - t0))
                time.sleep(0.05)  # a client asking now and then, not one more of the crowd

        threads = [threading.Thread(target=probe, args=("local", None)),
                   threading.Thread(target=probe, args=("other", "127.0.0.2"))]
        for t in threads:
            t.start()
        try:
            run = subprocess.run(
                [wrk, "-t2", "-c%d" % self.CONNECTIONS, "-d%ds" % self.SECONDS, "--timeout", "5s",
                 "http://127.0.0.1:%d/pub/hello.txt" % z.port],
                capture_output=True, text=True, timeout=self.SECONDS + 30)
        finally:
            stop.set()
            for t in threads:
                t.join(15)
        report = run.stdout + run.stderr
        self.assertEqual(run.returncode, 0, report)
        self.assertIsNone(z.proc.poll(), "zof ended under load\n" + report)

        # wrk's connections, far over the limit, were answered with
        # refusals (each request counts every connection open from the
        # address, so nearly all of them are refused).
        m = re.search(r"(\d+) requests in", report)
        self.assertTrue(m, report)
        total = int(m.group(1))
        m = re.search(r"Non-2xx or 3xx responses: (\d+)", report)
        refused = int(m.group(1)) if m else 0
        self.assertGreater(refused, 0, "nothing was refused\n" + report)
        self.assertLessEqual(refused, total)

        # The plain clients were answered all along: 200 or 429 from the
        # crowded address, 200 from another one; never a hang or a reset.
        self.assertEqual(failures, [], report)
        self.assertGreaterEqual(len(probes["local"]), 3, report)
        self.assertGreaterEqual(len(probes["other"]), 3, report)
        self.assertEqual({s for s, _ in probes["local"]} - {200, 429}, set())
        self.assertEqual({s for s, _ in probes["other"]}, {200})

        # Once the crowd is gone its records are freed: the address is
        # served again and every socket it opened is closed.
        self.assertTrue(wait_until(lambda: fetch(z.port, "/pub/hello.txt")[0] == 200, 8, 0.2),
                        "the crowded address stays refused")
        self.assertTrue(wait_until(lambda: open_sockets(z.proc.pid) <= idle_sockets, 5, 0.2),
                        "%d sockets open after the load, %d idle" % (open_sockets(z.proc.pid), idle_sockets))
        if asan:
            print("memory check skipped: AddressSanitizer keeps freed memory", flush=True)
            return
        # The allocator keeps some of the crowd's memory for the next one,
        # so the size after one crowd is not the idle size. A second crowd
        # of as many connections must fit in it: what grows from one to the
        # next is kept per connection.
        after_first = rss_kib(z.proc.pid)
        run = subprocess.run(
            [wrk, "-t2", "-c%d" % self.CONNECTIONS, "-d3s", "--timeout", "5s",
             "http://127.0.0.1:%d/pub/hello.txt" % z.port],
            capture_output=True, text=True, timeout=40)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertTrue(wait_until(lambda: open_sockets(z.proc.pid) <= idle_sockets, 5, 0.2))
        margin = 4 * 1024
        self.assertLessEqual(rss_kib(z.proc.pid), after_first + margin,
                             "VmRSS %d KiB after a second crowd, %d KiB after the first, %d idle"
                             % (rss_kib(z.proc.pid), after_first, idle))


if __name__ == "__main__":
    unittest.main()
