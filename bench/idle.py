#!/usr/bin/env python3
"""Holds idle keep-alive connections open against an HTTP server.

    idle.py PORT PATH COUNT [--host 127.0.0.1] [--timeout 30]

Opens COUNT connections to HOST:PORT, a few hundred connecting at a time,
sends one GET for PATH on each and reads the whole reply (the head and a
Content-Length body); every connection then stays open and silent. When all
are done it prints "held N" on standard output (N: connections whose reply
came whole and that are still open) and waits for SIGTERM or SIGINT; it then prints "still N" (the connections the server has
not closed in the meantime) and closes them all with a reset, so that no
TIME_WAIT is left behind on the client's ports.

Exit status: 0 when all COUNT were held to the end; 1 when some could not be
opened or were closed by the server (the reasons go to standard error, the
numbers are printed all the same; with none held it stops at once); 2 when
the arguments or the file descriptor limit make COUNT impossible.
"""

import argparse
import errno
import resource
import selectors
import signal
import socket
import struct
import sys
import time

IN_FLIGHT = 512  # connections being opened at once


def fail(msg, code=2):
    print("idle.py: " + msg, file=sys.stderr, flush=True)
    sys.exit(code)


def raise_fd_limit(need):
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if soft < need:
        want = need if hard == resource.RLIM_INFINITY else min(need, hard)
        try:
            resource.setrlimit(resource.RLIMIT_NOFILE, (want, hard))
        except (ValueError, OSError) as e:
            fail("cannot raise the open files limit to %d: %s" % (need, e))
        soft = want
    if soft < need:
        fail("%d connections need %d file descriptors, the hard limit is %d"
             % (need - 64, need, hard))


class Conn:
    __slots__ = ("sock", "state", "buf", "need")

    def __init__(self, sock):
        self.sock = sock
        self.state = "connecting"
        self.buf = b""
        self.need = -1  # bytes of the whole reply, once the head is in


def reply_length(buf):
    """The length of the whole reply in buf, -1 while the head is incomplete."""
    end = buf.find(b"\r\n\r\n")
    if end < 0:
        return -1
    length = 0
    for line in buf[:end].split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"content-length":
            length = int(value.strip())
    return end + 4 + length


def main():
    ap = argparse.ArgumentParser(description="Hold idle keep-alive HTTP connections.")
    ap.add_argument("port", type=int)
    ap.add_argument("path")
    ap.add_argument("count", type=int)
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--timeout", type=float, default=30.0,
                    help="seconds allowed for opening all connections")
    args = ap.parse_args()
    if args.count <= 0:
        fail("the count must be positive")
    raise_fd_limit(args.count + 64)
    stop = []  # set by a signal, from the start: a stop while opening is kept
    signal.signal(signal.SIGTERM, lambda *_: stop.append(1))
    signal.signal(signal.SIGINT, lambda *_: stop.append(1))

    request = ("GET %s HTTP/1.1\r\nHost: %s:%d\r\nUser-Agent: idle.py\r\n\r\n"
               % (args.path, args.host, args.port)).encode()
    sel = selectors.DefaultSelector()
    errors = {}
    held = []
    opening = 0
    started = 0
    deadline = time.monotonic() + args.timeout

    def failed(c, why):
        nonlocal opening
        errors[why] = errors.get(why, 0) + 1
        sel.unregister(c.sock)
        c.sock.close()
        opening -= 1

    while (started < args.count or opening) and time.monotonic() < deadline and not stop:
        while started < args.count and opening < IN_FLIGHT:
            started += 1
            try:
                s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            except OSError as e:
                errors["socket: " + e.strerror] = errors.get("socket: " + e.strerror, 0) + 1
                continue
            s.setblocking(False)
            c = Conn(s)
            rc = s.connect_ex((args.host, args.port))
            if rc not in (0, errno.EINPROGRESS):
                errors["connect: " + errno.errorcode.get(rc, str(rc))] = \
                    errors.get("connect: " + errno.errorcode.get(rc, str(rc)), 0) + 1
                s.close()
                continue
            sel.register(s, selectors.EVENT_WRITE, c)
            opening += 1
        for key, _ in sel.select(timeout=0.5):
            c = key.data
            if c.state == "connecting":
                rc = c.sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)
                if rc:
                    failed(c, "connect: " + errno.errorcode.get(rc, str(rc)))
                    continue
                try:
                    c.sock.send(request)  # small enough to go in one piece
                except OSError as e:
                    failed(c, "send: " + (e.strerror or str(e)))
                    continue
                c.state = "reading"
                sel.modify(c.sock, selectors.EVENT_READ, c)
                continue
            try:
                data = c.sock.recv(65536)
            except BlockingIOError:
                continue
            except OSError as e:
                failed(c, "recv: " + (e.strerror or str(e)))
                continue
            if not data:
                failed(c, "closed before the reply was whole")
                continue
            c.buf += data
            if c.need < 0:
                c.need = reply_length(c.buf)
                if c.need >= 0 and not c.buf.startswith((b"HTTP/1.1 2", b"HTTP/1.0 2")):
                    failed(c, "status " + c.buf[9:12].decode(errors="replace"))
                    continue
            if 0 <= c.need <= len(c.buf):
                c.buf = b""
                c.state = "idle"
                sel.unregister(c.sock)
                opening -= 1
                held.append(c)
    if opening:
        why = "stopped while opening" if stop else "no reply within %gs" % args.timeout
        errors[why] = opening
        for key in list(sel.get_map().values()):
            sel.unregister(key.fileobj)
            key.fileobj.close()
    if started < args.count:
        why = "stopped before starting" if stop else "not started within %gs" % args.timeout
        errors[why] = args.count - started

    # Idle from here: watch the held connections, so that one the server
    # closes is noticed (and not counted as held at the end).
    for c in held:
        sel.register(c.sock, selectors.EVENT_READ, c)
    print("held %d" % len(held), flush=True)
    if errors:
        print("idle.py: %d of %d connections not held: %s" % (
            args.count - len(held), args.count,
            ", ".join("%s (%d)" % kv for kv in sorted(errors.items()))), file=sys.stderr, flush=True)
    if not held:
        sys.exit(1)  # nothing to hold

    lost = 0
    while not stop:
        try:
            events = sel.select(timeout=0.5)
        except InterruptedError:
            continue
        for key, _ in events:
            c = key.data
            try:
                data = c.sock.recv(4096)
            except BlockingIOError:
                continue
            except OSError:
                data = b""
            if not data:  # closed by the server
                sel.unregister(c.sock)
                c.sock.close()
                c.state = "lost"
                lost += 1
    still = len(held) - lost
    print("still %d" % still, flush=True)
    if lost:
        print("idle.py: the server closed %d of the %d idle connections" % (lost, len(held)),
              file=sys.stderr, flush=True)
    linger = struct.pack("ii", 1, 0)
    for c in held:
        if c.state == "idle":
            try:
                c.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)
            except OSError:
                pass
            c.sock.close()
    sys.exit(0 if still == args.count else 1)


if __name__ == "__main__":
    main()
