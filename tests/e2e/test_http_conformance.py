"""HTTP/1.1 as real clients speak it: multipart boundaries in quotes or with
parameters behind them, chunked request bodies, unsatisfiable and
overlong ranges, 304 replies on a kept connection, clients that half-close
after their request, and heads with bare LF line ends or leading empty lines."""

import os
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest

from zofharness import ZofTestCase, tool, wait_until
from test_uploads import ini_text, write_tree

BOUNDARY = "Zof-Boundary_42"
HELLO = b"Hello, world!\n"


def multipart_file(name, data, boundary=BOUNDARY):
    return (b"--%s\r\nContent-Disposition: form-data; name=\"file\"; filename=\"%s\"\r\n"
            b"Content-Type: application/octet-stream\r\n\r\n%s\r\n--%s--\r\n"
            % (boundary.encode(), name.encode(), data, boundary.encode()))


def chunked(data, sizes, ext=b"", trailers=b""):
    """data cut into chunks of the given sizes (the rest in one more)."""
    out, pos = b"", 0
    for n in list(sizes) + [len(data)]:
        piece = data[pos:pos + n]
        pos += len(piece)
        if piece:
            out += b"%x%s\r\n%s\r\n" % (len(piece), ext, piece)
    return out + b"0\r\n" + trailers + b"\r\n"


class Client:
    """A kept connection read response by response."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.pending = b""

    def close(self):
        self.sock.close()

    def send(self, data):
        self.sock.sendall(data)

    def _more(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            raise AssertionError("connection closed; unread: %r" % self.pending[:300])
        self.pending += chunk

    def response(self):
        """(status line, headers, body), the body read by its Content-Length
        (none when absent)."""
        while b"\r\n\r\n" not in self.pending:
            self._more()
        head, _, self.pending = self.pending.partition(b"\r\n\r\n")
        lines = head.decode("latin-1").split("\r\n")
        headers = {}
        for line in lines[1:]:
            k, _, v = line.partition(":")
            headers[k.strip().lower()] = v.strip()
        want = int(headers.get("content-length", "0"))
        while len(self.pending) < want:
            self._more()
        body, self.pending = self.pending[:want], self.pending[want:]
        return lines[0], headers, body

    def is_closed(self, timeout=3.0):
        """True when the peer closed (nothing more arrives, end of stream)."""
        if self.pending:
            return False
        self.sock.settimeout(timeout)
        try:
            return self.sock.recv(1) == b""
        except socket.timeout:
            return False
        except ConnectionResetError:
            return True


class ConformanceCase(ZofTestCase):
    """A folder "pub" where anyone may upload, holding hello.txt."""

    def setUp(self):
        super().setUp()
        self.data = tempfile.mkdtemp(prefix="zof-http-")
        self.addCleanup(shutil.rmtree, self.data, True)
        self.pub = os.path.join(self.data, "pub")
        os.makedirs(self.pub)
        with open(os.path.join(self.pub, "hello.txt"), "wb") as f:
            f.write(HELLO)
        self.tree = os.path.join(self.data, "tree.vfs")
        write_tree(self.tree, {"pub": {"path": self.pub, "upload": ["@anyone"]}})
        self.z = self.start_zof(self.tree, ini=ini_text(number_files_on_upload="no"))
        self.z.wait_port()

    def connect(self):
        c = Client(self.z.port)
        self.addCleanup(c.close)
        return c

    def stored(self, name):
        path = os.path.join(self.pub, name)
        if not wait_until(lambda: os.path.exists(path), 3):
            return None
        with open(path, "rb") as f:
            return f.read()

    def need(self, name):
        tool(name)


class MultipartBoundary(ConformanceCase):
    def test_quoted_and_parameterised_boundaries_find_the_parts(self):
        cases = [
            ("quoted.bin", 'multipart/form-data; boundary="%s"' % BOUNDARY),
            ("params.bin", "multipart/form-data; boundary=%s; charset=utf-8" % BOUNDARY),
            ("both.bin", 'multipart/form-data; charset=utf-8; Boundary="%s" ; x=y' % BOUNDARY),
            ("spaced.bin", "Multipart/Form-Data;boundary=%s" % BOUNDARY),
        ]
        for name, ctype in cases:
            with self.subTest(ctype=ctype):
                content = os.urandom(5000)
                status, _, body = self.z.request("POST", "/pub/", body=multipart_file(name, content),
                                                 headers={"Content-Type": ctype})
                self.assertEqual(status, 200, body[:200])
                self.assertEqual(self.stored(name), content)

    def test_quoted_boundary_with_space_and_escape(self):
        # A quoted boundary may hold spaces; a backslash escapes the next character.
        boundary = 'a b"c'
        content = b"payload"
        status, _, _ = self.z.request("POST", "/pub/", body=multipart_file("q.bin", content, boundary),
                                      headers={"Content-Type": 'multipart/form-data; boundary="a b\\"c"'})
        self.assertEqual(status, 200)
        self.assertEqual(self.stored("q.bin"), content)


class ChunkedBodies(ConformanceCase):
    def post_raw(self, body, extra_headers=b"", ctype=None):
        ctype = ctype or b"multipart/form-data; boundary=" + BOUNDARY.encode()
        return self.z.raw(b"POST /pub/ HTTP/1.1\r\nHost: x\r\nContent-Type: " + ctype
                          + b"\r\n" + extra_headers + b"Connection: close\r\n\r\n" + body)

    def test_chunked_multipart_is_stored(self):
        content = os.urandom(200 * 1024)
        body = chunked(multipart_file("chunked.bin", content), [1, 7, 100, 4096, 65536],
                       ext=b";name=value", trailers=b"X-Checksum: none\r\n")
        reply = self.post_raw(body, b"Transfer-Encoding: chunked\r\n")
        self.assertTrue(reply.startswith(b"HTTP/1.1 200 "), reply[:200])
        self.assertIn(b"chunked.bin", reply)
        self.assertEqual(self.stored("chunked.bin"), content)

    def test_body_sent_slowly_in_pieces(self):
        content = os.urandom(3000)
        body = chunked(multipart_file("slow.bin", content), [500, 1000])
        s = self.connect()
        s.send(b"POST /pub/ HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\nContent-Type: "
                  b"multipart/form-data; boundary=" + BOUNDARY.encode() + b"\r\n\r\n")
        for i in range(0, len(body), 333):
            s.send(body[i:i + 333])
            time.sleep(0.01)  # a slow client: the body arrives in pieces
        status, _, _ = s.response()
        self.assertTrue(status.startswith("HTTP/1.1 200"), status)
        self.assertEqual(self.stored("slow.bin"), content)
        # The connection goes on with the next request.
        s.send(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
        status, _, got = s.response()
        self.assertTrue(status.startswith("HTTP/1.1 200"), status)
        self.assertEqual(got, HELLO)

    def test_curl_streams_chunked_uploads(self):
        self.need("curl")
        src = os.path.join(self.data, "from-curl.bin")
        content = os.urandom(100 * 1024)
        with open(src, "wb") as f:
            f.write(content)
        url = "http://127.0.0.1:%d/pub/" % self.z.port
        r = subprocess.run(["curl", "-sS", "--max-time", "20", "-o", "/dev/null", "-w", "%{http_code}",
                            "-H", "Transfer-Encoding: chunked", "-F", "file=@" + src, url],
                           capture_output=True, timeout=30)
        self.assertEqual(r.stdout, b"200", r.stderr)
        self.assertEqual(self.stored("from-curl.bin"), content)
        # A body read from standard input: curl does not know its length.
        piped = os.urandom(50 * 1024)
        r = subprocess.run(["curl", "-sS", "--max-time", "20", "-o", "/dev/null", "-w", "%{http_code}",
                            "-X", "POST", "-T", "-", "-H",
                            "Content-Type: multipart/form-data; boundary=" + BOUNDARY, url],
                           input=multipart_file("piped.bin", piped), capture_output=True, timeout=30)
        self.assertEqual(r.stdout, b"200", r.stderr)
        self.assertEqual(self.stored("piped.bin"), piped)

    def test_transfer_encoding_wins_over_content_length(self):
        content = b"framed by chunks"
        body = chunked(multipart_file("te.bin", content), [10])
        # The Content-Length would end the body early, in the middle of the part.
        reply = self.post_raw(body, b"Content-Length: 20\r\nTransfer-Encoding: chunked\r\n")
        self.assertTrue(reply.startswith(b"HTTP/1.1 200 "), reply[:200])
        self.assertEqual(self.stored("te.bin"), content)
        # Such a request is suspect: the connection closes after the reply.
        s = self.connect()
        s.send(b"POST /pub/ HTTP/1.1\r\nHost: x\r\nContent-Length: 20\r\nTransfer-Encoding: chunked\r\n"
               b"Content-Type: multipart/form-data; boundary=" + BOUNDARY.encode() + b"\r\n\r\n"
               + chunked(multipart_file("te2.bin", content), [10]))
        status, _, _ = s.response()
        self.assertTrue(status.startswith("HTTP/1.1 200"), status)
        self.assertTrue(s.is_closed())

    def test_unknown_coding_is_501_and_bad_framing_400(self):
        for coding in (b"gzip", b"gzip, chunked", b"x-custom"):
            with self.subTest(coding=coding):
                reply = self.post_raw(b"whatever", b"Transfer-Encoding: " + coding + b"\r\n")
                self.assertTrue(reply.startswith(b"HTTP/1.1 501 "), reply[:200])
        for body in (b"zz\r\nabc\r\n0\r\n\r\n",          # not a number
                     b"3\r\nabcdef\r\n0\r\n\r\n",         # data longer than announced
                     b"1" * 5000 + b"\r\n",               # endless size line
                     b"fffffffffffffffffffff\r\nx"):      # size beyond any bound
            with self.subTest(body=body[:30]):
                reply = self.post_raw(body, b"Transfer-Encoding: chunked\r\n")
                self.assertTrue(reply.startswith(b"HTTP/1.1 400 "), reply[:200])
        self.assertEqual(sorted(os.listdir(self.pub)), ["hello.txt"])
        # The server goes on serving.
        self.assertEqual(self.z.get("/pub/hello.txt")[2], HELLO)

    def test_chunked_body_of_a_get_is_skipped(self):
        s = self.connect()
        s.send(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n"
               + chunked(b"GET /smuggled HTTP/1.1\r\n\r\n", [5])
               + b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
        for _ in range(2):
            status, _, got = s.response()
            self.assertTrue(status.startswith("HTTP/1.1 200"), status)
            self.assertEqual(got, HELLO)
        self.assertEqual(s.pending, b"")
        s.sock.settimeout(0.5)
        with self.assertRaises(socket.timeout):
            s.sock.recv(1)  # nothing for the chunked data itself


class Ranges(ConformanceCase):
    def test_unsatisfiable_range_is_416_and_keeps_the_connection(self):
        s = self.connect()
        for rng in (b"bytes=14-", b"bytes=100-200", b"bytes=-0"):
            with self.subTest(range=rng):
                s.send(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\nRange: " + rng + b"\r\n\r\n")
                status, h, body = s.response()
                self.assertEqual(status, "HTTP/1.1 416 Range Not Satisfiable")
                self.assertEqual(h.get("content-range"), "bytes */14")
                self.assertEqual(h.get("content-length"), "0")
                self.assertEqual(body, b"")
        s.send(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertEqual(s.response()[2], HELLO)

    def test_range_past_the_end_is_served_to_the_last_byte(self):
        for rng, first in ((b"bytes=7-99999", 7), (b"bytes=13-20", 13)):
            with self.subTest(range=rng):
                status, h, body = self.z.get("/pub/hello.txt", headers={"Range": rng.decode()})
                self.assertEqual(status, 206)
                self.assertEqual(h["content-range"], "bytes %d-13/14" % first)
                self.assertEqual(body, HELLO[first:])

    def test_wget_continue_on_a_complete_file(self):
        self.need("wget")
        dest = os.path.join(self.data, "hello.txt")
        with open(dest, "wb") as f:
            f.write(HELLO)
        r = subprocess.run(["wget", "-q", "-c", "-O", dest, "http://127.0.0.1:%d/pub/hello.txt" % self.z.port],
                           capture_output=True, timeout=30)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(dest, "rb") as f:
            self.assertEqual(f.read(), HELLO)


class ClientGoneMidDownload(ConformanceCase):
    def test_server_survives_peers_that_leave_during_a_file(self):
        # A file far bigger than the socket buffers: the server is still
        # sending it (sendfile) when each peer goes away.
        big = os.path.join(self.pub, "big.bin")
        with open(big, "wb") as f:
            f.truncate(256 * 1024 * 1024)
        for _ in range(3):
            with socket.create_connection(("127.0.0.1", self.z.port), timeout=5) as s:
                s.sendall(b"GET /pub/big.bin HTTP/1.1\r\nHost: x\r\n\r\n")
                self.assertTrue(s.recv(1000))
                # An abortive close (RST) is the harshest way to leave.
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        status, _, body = self.z.get("/pub/hello.txt")
        self.assertEqual((status, body), (200, HELLO))


class NotModified(ConformanceCase):
    def test_304_carries_the_tag_and_keeps_the_connection(self):
        tag = self.z.get("/pub/hello.txt")[1]["etag"]
        s = self.connect()
        s.send(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\nIf-None-Match: " + tag.encode() + b"\r\n\r\n")
        status, h, body = s.response()
        self.assertTrue(status.startswith("HTTP/1.1 304"), status)
        self.assertEqual(h.get("etag"), tag)
        self.assertNotIn("content-type", h)
        self.assertEqual(body, b"")
        s.send(b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
        status, _, body = s.response()
        self.assertTrue(status.startswith("HTTP/1.1 200"), status)
        self.assertEqual(body, HELLO)


    def test_built_in_assets_send_their_tag_with_304(self):
        for path in ("/?mode=jquery", "/?mode=section&id=style.css"):
            with self.subTest(path=path):
                status, h, _ = self.z.get(path)
                self.assertEqual(status, 200)
                tag = h["etag"]
                status, h, body = self.z.get(path, headers={"If-None-Match": tag})
                self.assertEqual(status, 304)
                self.assertEqual(h.get("etag"), tag)
                self.assertEqual(body, b"")


class ConflictingLengths(ConformanceCase):
    def test_two_different_lengths_are_refused(self):
        s = self.connect()
        s.send(b"POST /pub/ HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
               b"Content-Length: 5\r\nContent-Length: 40\r\n\r\na=b&cGET /pub/hello.txt HTTP/1.1\r\n\r\n")
        # The answer is a 400 that ends the connection: the request smuggled
        # behind the body is never served.
        s.sock.settimeout(5)
        received = b""
        while True:
            chunk = s.sock.recv(65536)
            if not chunk:
                break
            received += chunk
        self.assertTrue(received.startswith(b"HTTP/1.1 400"), received[:100])
        self.assertEqual(received.count(b"HTTP/1.1"), 1, received)


class HalfClose(ConformanceCase):
    def test_reply_follows_the_peers_end_of_stream(self):
        for request in (b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n",
                        b"GET /pub/hello.txt HTTP/1.0\r\n\r\n",
                        # Two pipelined requests: both are answered.
                        b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\nGET /pub/hello.txt HTTP/1.1\r\n\r\n"):
            with self.subTest(request=request):
                s = self.connect()
                s.send(request)
                s.sock.shutdown(socket.SHUT_WR)
                got = b""
                while True:
                    chunk = s.sock.recv(65536)
                    if not chunk:
                        break
                    got += chunk
                self.assertEqual(got.count(b"HTTP/1.1 200 OK"), request.count(b"GET"), got[:300])
                self.assertTrue(got.endswith(HELLO))

    def test_half_close_after_a_posted_body(self):
        content = os.urandom(20000)
        body = multipart_file("half.bin", content)
        s = self.connect()
        s.send(b"POST /pub/ HTTP/1.1\r\nHost: x\r\nContent-Type: multipart/form-data; boundary="
               + BOUNDARY.encode() + b"\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
        s.sock.shutdown(socket.SHUT_WR)
        status, _, _ = s.response()
        self.assertTrue(status.startswith("HTTP/1.1 200"), status)
        self.assertEqual(self.stored("half.bin"), content)
        self.assertTrue(s.is_closed())


class HeadLineEnds(ConformanceCase):
    def test_bare_lf_heads(self):
        for request in (b"GET /pub/hello.txt HTTP/1.1\nHost: x\nConnection: close\n\n",
                        b"GET /pub/hello.txt HTTP/1.1\r\nHost: x\nConnection: close\r\n\n",
                        b"GET /pub/hello.txt HTTP/1.1\nConnection: close\n\r\n"):
            with self.subTest(request=request):
                reply = self.z.raw(request)
                self.assertTrue(reply.startswith(b"HTTP/1.1 200 OK\r\n"), reply[:200])
                self.assertTrue(reply.endswith(b"\r\n\r\n" + HELLO))

    def test_empty_lines_before_the_request_line_are_ignored(self):
        s = self.connect()
        # As sent by clients that end a POST body with an extra CR LF.
        s.send(b"\r\n\r\nGET /pub/hello.txt HTTP/1.1\r\nHost: x\r\n\r\n")
        status, _, body = s.response()
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertEqual(body, HELLO)
        s.send(b"\nGET /pub/hello.txt HTTP/1.1\nHost: x\n\n")
        status, _, body = s.response()
        self.assertEqual(status, "HTTP/1.1 200 OK")
        self.assertEqual(body, HELLO)


if __name__ == "__main__":
    unittest.main()
