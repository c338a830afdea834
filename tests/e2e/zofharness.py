"""Black-box harness: runs the real zof binary headless and talks HTTP to it.

Each ZofProcess gets a fresh configuration folder ("-i DIR"), its own HOME,
XDG_CONFIG_HOME and XDG_RUNTIME_DIR (so no state of the user leaks in or
out), and "-c port=0": the kernel picks a free port, which the harness reads
from the line the server prints once it listens. Standard output and
standard error are collected; ZofTestCase prints them when a test fails, and
fails a test whose servers do not end cleanly on SIGTERM.
"""

import http.client
import os
import resource
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

READY_LINE = "ZOF 1.0 started"
LISTEN_PREFIX = "ZOF listening on "
# How long a server may take to start, to listen or to end before a test
# gives up on it: generous, since the sanitizer build compiles beside the
# tests and a busy machine can be slow; a server that is well costs no wait.
PATIENCE = 30.0
LISTEN_URL = re.compile(r"^http://(?:\[[^]]*\]|[^/:]*):(\d+)/$")
# What the sanitizers print when they find a fault.
SANITIZER_REPORTS = ("ERROR: AddressSanitizer", "runtime error:", "ERROR: LeakSanitizer")


def zof_bin():
    """The binary under test. Its absence fails the tests: a run that tests
    nothing must not look green."""
    path = os.environ.get("ZOF_BIN")
    if not path or not os.path.exists(path):
        raise AssertionError("ZOF_BIN does not name the zof binary (got %r)" % path)
    return path


def tool(name):
    """The path of a program the tests drive; its absence fails the test
    (scripts/setup.sh installs every one of them)."""
    path = shutil.which(name)
    if not path:
        raise AssertionError("%s is not installed: run scripts/setup.sh" % name)
    return path


def sanitizer_reports(text):
    """The lines of `text` where a sanitizer reported a fault."""
    return [l for l in text.splitlines() if any(r in l for r in SANITIZER_REPORTS)]


def wait_until(predicate, timeout=5.0, interval=0.05):
    """Polls predicate until it gives a true value (returned) or the
    timeout passes (then its last value is returned)."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def read_until_close(sock):
    """Every byte the peer sends until it closes the connection."""
    chunks = []
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)


def free_port(host="127.0.0.1"):
    """A port that was free a moment ago, for the few tests that must know
    it before the server starts (most let the kernel pick one). Taken below
    the kernel's range for outgoing connections, so that the thousands of
    client sockets some tests open cannot be holding it when zof binds it."""
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    for _ in range(200):
        port = random.randint(20000, 32000)
        with socket.socket(family, socket.SOCK_STREAM) as s:
            try:
                s.bind((host, port))
            except OSError:
                continue
            return port
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class _Collector(threading.Thread):
    """Reads one stream of the child line by line and keeps every line."""

    def __init__(self, stream):
        super().__init__(daemon=True)
        self.stream = stream
        self.lines = []
        self.cond = threading.Condition()

    def run(self):
        for raw in iter(self.stream.readline, b""):
            with self.cond:
                self.lines.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
                self.cond.notify_all()
        with self.cond:
            self.cond.notify_all()

    def text(self):
        with self.cond:
            return "\n".join(self.lines)

    def wait_for(self, predicate, timeout):
        """The first line satisfying predicate, or None after timeout."""
        deadline = time.monotonic() + timeout
        with self.cond:
            seen = 0
            while True:
                for line in self.lines[seen:]:
                    if predicate(line):
                        return line
                seen = len(self.lines)
                left = deadline - time.monotonic()
                if left <= 0 or not self.is_alive() and seen == len(self.lines):
                    return None
                self.cond.wait(min(left, 0.1))


class ZofProcess:
    """One running zof. Use start(), then stop() (or let the test case do it).

    port: a fixed port to pass with "-c port=N"; by default "-c port=0"
    and `port` is read from the server's listening line when first asked.
    use_port=False passes no port at all (the stored options decide).
    expect_exit: the exit code the test case accepts at its end; None for
    a server the test kills or expects to fail."""

    def __init__(self, args=(), ini=None, cfg_dir=None, port=None, env=None,
                 single_instance=False, runtime_dir=None, headless_flag=True,
                 use_port=True, expect_exit=0):
        self.tmp = tempfile.mkdtemp(prefix="zof-e2e-")
        self.cfg_dir = cfg_dir or os.path.join(self.tmp, "cfg")
        os.makedirs(self.cfg_dir, exist_ok=True)
        if ini is not None:
            with open(os.path.join(self.cfg_dir, "zof.ini"), "w", encoding="utf-8", newline="") as f:
                f.write(ini)
        self._port = port
        self.expect_exit = expect_exit
        self.runtime_dir = runtime_dir or os.path.join(self.tmp, "run")
        os.makedirs(self.runtime_dir, mode=0o700, exist_ok=True)
        self.env = dict(os.environ)
        self.env.update({
            "HOME": os.path.join(self.tmp, "home"),
            "XDG_CONFIG_HOME": os.path.join(self.tmp, "xdg"),
            "XDG_RUNTIME_DIR": self.runtime_dir,
            "QT_QPA_PLATFORM": "offscreen",
        })
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        if not single_instance:
            self.env["ZOF_NO_SINGLE_INSTANCE"] = "1"
        if env:
            self.env.update(env)
        cmd = [zof_bin()]
        if headless_flag:
            cmd.append("--headless")
        cmd += ["-i", self.cfg_dir]
        if port is not None:
            cmd += ["-c", "port=%d" % port]
        elif use_port:
            cmd += ["-c", "port=0"]
        cmd += list(args)
        self.cmd = cmd
        self.proc = None
        self.out = None
        self.err = None
        self.returncode = None
        self.listen_url = None

    @property
    def port(self):
        """The port the server listens on; when the kernel picks it, known
        once the server printed its listening line (waited for here)."""
        if self._port is None and self.proc is not None:
            self.wait_listening()
        return self._port

    @port.setter
    def port(self, value):
        self._port = value

    # --- life -------------------------------------------------------------

    def start(self, wait_ready=True, timeout=PATIENCE, cwd=None):
        self.proc = subprocess.Popen(self.cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=self.env, cwd=cwd or self.tmp)
        self.out = _Collector(self.proc.stdout)
        self.err = _Collector(self.proc.stderr)
        self.out.start()
        self.err.start()
        if wait_ready:
            self.wait_ready(timeout)
        return self

    def wait_ready(self, timeout=PATIENCE):
        """Waits for the start-up line; notes the URL the server announced."""
        line = self.out.wait_for(lambda l: l == READY_LINE, timeout)
        if line is None:
            raise AssertionError("zof did not finish start-up within %.1f s\n%s" % (timeout, self.dump()))
        self._note_listening()

    def _note_listening(self):
        """Takes the URL (and, when not fixed, the port) from the last
        listening line printed so far; whether there was one."""
        with self.out.cond:
            listening = [l for l in self.out.lines if l.startswith(LISTEN_PREFIX)]
        if not listening:
            return False
        self.listen_url = listening[-1][len(LISTEN_PREFIX):]
        m = LISTEN_URL.match(self.listen_url)
        if m and self._port is None:
            self._port = int(m.group(1))
        return True

    def wait_listening(self, timeout=PATIENCE):
        """Waits for the listening line; the server prints it once its
        socket listens, so connections are accepted from then on."""
        if self.out.wait_for(lambda l: l.startswith(LISTEN_PREFIX), timeout) is None:
            raise AssertionError("zof announced no listening port within %.1f s\n%s" % (timeout, self.dump()))
        self._note_listening()
        if self._port is None:
            raise AssertionError("no port in the listening line %r\n%s" % (self.listen_url, self.dump()))

    def wait_port(self, timeout=PATIENCE, host="127.0.0.1"):
        """Waits until the port accepts connections. A server that printed
        its listening line does, and is not probed (a probe connection
        would count against its connection limits for a while)."""
        if self._note_listening() and self._port is not None:
            return True
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            try:
                with socket.create_connection((host, self.port), timeout=0.5):
                    return True
            except OSError:
                if self.proc.poll() is not None:
                    break
                time.sleep(0.05)
        raise AssertionError("port %s never accepted\n%s" % (self.port, self.dump()))

    def wait_exit(self, timeout=PATIENCE):
        try:
            self.returncode = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("zof did not end within %.1f s\n%s" % (timeout, self.dump()))
        self.out.join(2)
        self.err.join(2)
        return self.returncode

    def stop(self, sig=signal.SIGTERM, timeout=5.0):
        """Sends sig and waits; returns (exit code, seconds taken)."""
        if self.proc.poll() is None:
            t0 = time.monotonic()
            self.proc.send_signal(sig)
            rc = self.wait_exit(timeout)
            return rc, time.monotonic() - t0
        return self.wait_exit(timeout), 0.0

    def kill(self):
        """Ends the process at once; a test that does this on purpose sets
        expect_exit to None."""
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(5)

    def finish(self, timeout=PATIENCE):
        """Stops the process with SIGTERM if it still runs and returns what
        is wrong with its end: an unexpected exit code, a sanitizer report
        on standard error (empty when it ended well)."""
        if self.proc is None:
            return []
        problems = []
        try:
            rc, _ = self.stop(signal.SIGTERM, timeout)
        except AssertionError:
            self.kill()
            self.out.join(2)
            self.err.join(2)
            rc = self.returncode = self.proc.returncode
            problems.append("did not end within %.1f s of SIGTERM" % timeout)
        if self.expect_exit is not None and rc != self.expect_exit:
            problems.append("exit code %s, expected %s" % (rc, self.expect_exit))
        problems += sanitizer_reports(self.stderr_text())
        return problems

    def cleanup(self):
        self.kill()
        for stream in (self.proc.stdout, self.proc.stderr) if self.proc else ():
            stream.close()
        shutil.rmtree(self.tmp, ignore_errors=True)

    # --- output -----------------------------------------------------------

    def stdout_text(self):
        return self.out.text() if self.out else ""

    def stderr_text(self):
        return self.err.text() if self.err else ""

    def dump(self):
        return "command: %s\n--- stdout ---\n%s\n--- stderr ---\n%s\n" % (
            " ".join(self.cmd), self.stdout_text(), self.stderr_text())

    def cfg_file(self, name="zof.ini"):
        return os.path.join(self.cfg_dir, name)

    # --- HTTP -------------------------------------------------------------

    def raw(self, data, host="127.0.0.1", timeout=5.0, read_all=True):
        """Sends raw bytes; returns every byte received until the peer closes
        (or until the timeout when read_all is False and something arrived)."""
        with socket.create_connection((host, self.port), timeout=timeout) as s:
            s.sendall(data)
            chunks = []
            try:
                while True:
                    chunk = s.recv(65536)
                    if not chunk:
                        break
                    chunks.append(chunk)
                    if not read_all:
                        s.settimeout(0.3)
            except socket.timeout:
                pass
            return b"".join(chunks)

    def request(self, method, path, body=None, headers=None, host="127.0.0.1", timeout=5.0):
        """One request through http.client: (status, headers dict lower-cased, body)."""
        conn = http.client.HTTPConnection(host, self.port, timeout=timeout)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
            data = resp.read()
            return resp.status, {k.lower(): v for k, v in resp.getheaders()}, data
        finally:
            conn.close()

    def get(self, path, headers=None, **kw):
        return self.request("GET", path, headers=headers, **kw)


def read_cfg(path):
    """A configuration file as a dict of key -> value (first line skipped)."""
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    values = {}
    for line in text.split("\r\n")[1:]:
        if "=" in line:
            k, v = line.split("=", 1)
            values.setdefault(k, v)
    return values


class ZofTestCase(unittest.TestCase):
    """Starts zof processes that are stopped and cleaned up after each test;
    their output is printed when the test fails."""

    def setUp(self):
        self._zofs = []
        # The first cleanup registered runs last: after the test's own ones
        # closed its sockets, which a server would otherwise wait on.
        self.addCleanup(self._end_servers)

    def start_zof(self, *args, wait_ready=True, **kw):
        """A started process (waited for until its start-up line unless
        wait_ready is False)."""
        z = self.make_zof(*args, **kw)
        z.start(wait_ready=wait_ready)
        return z

    def make_zof(self, *args, **kw):
        """A process prepared but not started."""
        return self.track(ZofProcess(args, **kw))

    def track(self, z):
        """Puts a process made here into the test's care."""
        self._zofs.append(z)
        return z

    def raise_fd_limit(self, want):
        """Raises this process's descriptor limit (servers started later
        inherit it) for the test; skips when the hard limit is lower, which
        only root can raise."""
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        if soft >= want:
            return
        if hard != resource.RLIM_INFINITY and hard < want:
            self.skipTest("descriptor limit %d is below the %d this test needs" % (hard, want))
        resource.setrlimit(resource.RLIMIT_NOFILE, (want, hard))
        self.addCleanup(resource.setrlimit, resource.RLIMIT_NOFILE, (soft, hard))

    def _end_servers(self):
        # Every server ends with SIGTERM; one that ends badly fails the test.
        problems = []
        try:
            for z in self._zofs:
                problems += ["%s: %s" % (" ".join(z.cmd), p) for p in z.finish()]
            outcome = getattr(self, "_outcome", None)
            failed = outcome is None or not getattr(outcome, "success", False)
            if failed or problems:
                for z in self._zofs:
                    sys.stderr.write("\n" + z.dump())
        finally:
            for z in self._zofs:
                z.cleanup()
        if problems:
            self.fail("a server did not end cleanly:\n" + "\n".join(problems))
