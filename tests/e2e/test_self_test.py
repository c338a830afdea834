"""The self test against a loopback test service started by the test: the
service connects back to the server's "/test" and replies with a code.
Success, the failure texts of the codes, another port, and no reply at
all (then the probe site tells the two last outcomes apart)."""

import http.server
import socket
import threading
import unittest
import urllib.parse

from zofharness import ZofTestCase, free_port, read_until_close, wait_until

# The machine is known by a public address (a documentation one): the
# service below reaches it on loopback whatever the address.
PUBLIC = "203.0.113.5"


class Service(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, mode):
        self.mode = mode          # "connect", a fixed code, or "error"
        self.working_port = None  # "connect": the only port that answers
        self.asked = []           # (host, port, natted)
        self.back = []            # what "/test" answered
        self.probes = 0
        super().__init__(("127.0.0.1", 0), Handler)
        threading.Thread(target=self.serve_forever, daemon=True).start()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.server_address[1], path)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body):
        body = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        srv = self.server
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/ip":  # the external address service
            return self.send(200, PUBLIC)
        if url.path == "/probe":
            srv.probes += 1
            return self.send(200, "<html>online</html>")
        q = dict(urllib.parse.parse_qsl(url.query))
        srv.asked.append((q.get("host"), q.get("port"), q.get("natted")))
        if srv.mode == "error":
            return self.send(500, "down")
        if srv.mode != "connect":
            return self.send(200, srv.mode)
        port = int(q["port"])
        if srv.working_port is not None and port != srv.working_port:
            return self.send(200, "3")
        # The service asks for the path "test" itself (no leading slash).
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=5) as c:
                c.sendall(b"GET test HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n"
                          % q["host"].encode())
                reply = read_until_close(c)
        except OSError:
            return self.send(200, "7")
        body = reply.partition(b"\r\n\r\n")[2].decode("latin-1")
        srv.back.append(body)
        self.send(200, "1 reached" if body == "ZOF OK" else "3")


class SelfTestTest(ZofTestCase):
    def service(self, mode):
        s = Service(mode)
        self.addCleanup(s.server_close)
        self.addCleanup(s.shutdown)
        return s

    def ini(self, service, probe=None, ports=""):
        return ("self-test-url=%s\ninternet-probe-url=%s\nself-test-ports=%s\n"
                "ip=%s\ncustom-ip=%s\nexternal-ip-server=%s|\nupdate-daily=no\n"
                % (service.url("/selftest"), probe or service.url("/probe"), ports, PUBLIC, PUBLIC,
                   service.url("/ip")))

    def run_test(self, service, **kw):
        z = self.start_zof("--self-test", ini=self.ini(service, **kw))
        done = ("The test is successful", "The test failed", "Sorry, the test", "Your internet connection",
                "another working port")
        self.assertTrue(wait_until(lambda: any(d in z.stderr_text() for d in done), 15), z.dump())
        return z

    def test_success_through_the_connection_back(self):
        s = self.service("connect")
        z = self.run_test(s)
        self.assertIn("The test is successful. The server should be working fine.", z.stderr_text())
        self.assertEqual(s.back, ["ZOF OK"])
        # The URL address first; a success ends the test.
        self.assertEqual(s.asked, [(PUBLIC, str(z.port), "yes")])
        # The explanation was shown, not asked: the switch asked for the test.
        self.assertIn("Here you can test if your server does work on the Internet.", z.stderr_text())
        # Once the test is over the server no longer answers "/test" so.
        self.assertNotEqual(z.get("/test")[2], b"ZOF OK")

    def test_failure_codes_give_their_texts(self):
        texts = {
            "3": "You may be behind a router or firewall.",
            "6": "Ensure it is configured to forward port %s to your computer.",
            "7": "You may be behind a firewall.",
        }
        for code, text in texts.items():
            with self.subTest(code=code):
                s = self.service(code)
                z = self.run_test(s)
                err = z.stderr_text()
                self.assertIn("The test failed: server does not answer.", err)
                self.assertIn(text.replace("%s", str(z.port)) if "%s" in text else text, err)
                self.assertEqual(z.get("/")[0], 200)

    def test_another_port_is_found_and_kept(self):
        s = self.service("connect")
        other = free_port()
        s.working_port = other
        z = self.run_test(s, ports=str(other))
        self.assertTrue(wait_until(lambda: "another working port" in z.stderr_text(), 5), z.dump())
        old = z.port
        self.assertIn("Port %d is not working, but another working port has been found and set: %d."
                      % (old, other), z.stderr_text())
        # (The machine's own public addresses, if any, are tried too.)
        self.assertEqual([a[1] for a in s.asked if a[0] == PUBLIC], [str(old), str(other)])
        z.port = other
        self.assertEqual(z.get("/")[0], 200)

    def test_failing_ports_restore_the_old_one(self):
        s = self.service("6")
        other = free_port()
        z = self.run_test(s, ports=str(other))
        self.assertEqual([a[1] for a in s.asked if a[0] == PUBLIC], [str(z.port), str(other)])
        self.assertEqual(z.get("/")[0], 200)  # listening on its port again

    def test_no_result_then_the_probe(self):
        s = self.service("error")
        z = self.run_test(s)
        self.assertIn("Sorry, the test is unavailable at the moment", z.stderr_text())
        self.assertEqual(s.probes, 1)
        s2 = self.service("error")
        z2 = self.run_test(s2, probe="http://127.0.0.1:%d/" % free_port())
        self.assertIn("Your internet connection does not work", z2.stderr_text())

    def test_without_a_service_nothing_is_asked(self):
        z = self.start_zof("--self-test", ini="update-daily=no\n")
        self.assertTrue(wait_until(lambda: "no test service is configured" in z.stderr_text(), 10), z.dump())


if __name__ == "__main__":
    unittest.main()
