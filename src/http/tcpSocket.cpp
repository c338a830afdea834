#include "http/tcpSocket.h"

#include "http/tlsSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {
// After our FIN, input is drained this long (or up to this much) before the
// descriptor is closed.
constexpr qint64 lingerMs = 2000;
constexpr qint64 lingerMaxBytes = 1 << 20;

void peerOf(int fd, QString *addr, quint16 *port)
{
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&ss), &len) != 0)
        return;
    char text[INET6_ADDRSTRLEN] = {};
    if (ss.ss_family == AF_INET) {
        const auto *a = reinterpret_cast<const sockaddr_in *>(&ss);
        inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
        *port = ntohs(a->sin_port);
    } else if (ss.ss_family == AF_INET6) {
        const auto *a = reinterpret_cast<const sockaddr_in6 *>(&ss);
        // An IPv4 peer is always shown dotted, never as ::ffff:a.b.c.d.
        if (IN6_IS_ADDR_V4MAPPED(&a->sin6_addr))
            inet_ntop(AF_INET, &a->sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
        *port = ntohs(a->sin6_port);
    }
    *addr = QString::fromLatin1(text);
}

bool transientError(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINTR; }

// What a plain-HTTP client that came to the TLS port is told.
QByteArray plainOnTlsReply()
{
    static const QByteArray body = "This port speaks HTTPS only: use an https:// address.\n";
    return "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Plaintext bytes read from a file per TLS record batch, when the kernel
// does not encrypt.
constexpr qint64 tlsFileChunk = 65536;
// The most plaintext one TLS record carries.
constexpr qint64 tlsRecordPayload = 16384;
}

TtcpSocket::TtcpSocket(std::shared_ptr<TsockPoller> p, int d, TtcpSocketHandler *h, ssl_ctx_st *tlsCtx)
    : poller(std::move(p)), handler(h), fd(d)
{
    peerOf(fd, &peerAddr, &peerPortNum);
    if (tlsCtx) {
        tls = std::make_unique<TtlsSession>(tlsCtx, fd);
        tlsPhase = TP_SNIFF;
        if (!tls->isValid()) {
            ::close(fd);
            fd = -1;
            st = SS_CLOSED;
            return;
        }
    }
    if (!poller->add(this, fd, EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET)) {
        ::close(fd);
        fd = -1;
        st = SS_CLOSED;
    }
}

TtcpSocket::~TtcpSocket()
{
    tls.reset(); // before its descriptor closes
    if (fd >= 0) {
        poller->unwatch(fd);
        ::close(fd);
    }
    poller->remove(this, -1);
}

void TtcpSocket::resume()
{
    if (pauseCount > 0 && --pauseCount == 0
        && (readable || allSentPending || closedPending || writtenPending || inputEndPending))
        poller->defer(this);
}

QString TtcpSocket::tlsProtocol() const
{
    return tls ? tls->protocol() : QString();
}

bool TtcpSocket::tlsKernelSend() const
{
    return tls && tlsPhase == TP_READY && tls->kernelSend();
}

ssize_t TtcpSocket::sendSome(const char *data, size_t len, int flags)
{
    if (!tls)
        return ::send(fd, data, len, flags | MSG_NOSIGNAL | MSG_DONTWAIT);
    if (tlsPhase != TP_READY) {
        errno = EAGAIN; // held until the handshake is over
        return -1;
    }
    TtlsSession::Status status;
    const qint64 n = tls->write(data, qint64(len), &status);
    if (n > 0)
        return ssize_t(n);
    errno = status == TtlsSession::TS_WANT_READ || status == TtlsSession::TS_WANT_WRITE ? EAGAIN : EPIPE;
    return -1;
}

ssize_t TtcpSocket::recvSome(char *dst, size_t len)
{
    if (!tls)
        return ::recv(fd, dst, len, 0);
    if (tlsPhase != TP_READY) {
        errno = EAGAIN;
        return -1;
    }
    TtlsSession::Status status;
    const qint64 n = tls->read(dst, qint64(len), &status);
    if (n > 0)
        return ssize_t(n);
    switch (status) {
    case TtlsSession::TS_WANT_WRITE:
        tlsReadWantsWrite = true;
        [[fallthrough]];
    case TtlsSession::TS_WANT_READ:
        errno = EAGAIN;
        return -1;
    case TtlsSession::TS_CLOSED:
        return 0;
    default:
        errno = ECONNRESET;
        return -1;
    }
}

// Before the session: the first byte tells a TLS client from a plain one,
// then the handshake runs as far as the socket lets it.
void TtcpSocket::tlsStep()
{
    if (tlsPhase == TP_SNIFF) {
        unsigned char first = 0;
        ssize_t n;
        do
            n = ::recv(fd, &first, 1, MSG_PEEK);
        while (n < 0 && errno == EINTR);
        if (n < 0 && transientError(errno))
            return;
        if (n <= 0) {
            fail(); // gone before saying anything
            return;
        }
        if (!startsTlsHandshake(first)) {
            refusePlain();
            return;
        }
        tlsPhase = TP_HANDSHAKE;
    }
    switch (tls->handshake()) {
    case TtlsSession::TS_OK:
        tlsPhase = TP_READY;
        // Data may have come with the handshake's last flight.
        readable = true;
        if (queued > 0)
            flush();
        break;
    case TtlsSession::TS_WANT_READ:
    case TtlsSession::TS_WANT_WRITE:
        break;
    default:
        fail(); // an old protocol, a bad record, a reset
        break;
    }
}

void TtcpSocket::refusePlain()
{
    tls.reset();
    tlsPhase = TP_NONE;
    write(plainOnTlsReply());
    shutdown();
}

qint64 TtcpSocket::read(char *dst, qint64 max)
{
    if (fd < 0 || st != SS_CONNECTED)
        return -1;
    if (inputEnded)
        return 0;
    qint64 total = 0;
    while (total < max) {
        const ssize_t n = recvSome(dst + total, size_t(max - total));
        if (n > 0) {
            total += n;
            // A short read means the kernel's queue is empty now; the next
            // arrival raises a new edge. After the peer's FIN no edge will
            // come, so read on to meet the end of the stream. A TLS read
            // ends at a record: the session tells whether its own read of
            // the socket came up short.
            if (total < max && !peerHungUp && (!tls || tls->inputDrained())) {
                readable = false;
                break;
            }
            continue;
        }
        if (n == 0) {
            // The peer's end of stream. It may only have ended its side and
            // still wait for our reply: the socket stays open for writing.
            readable = false;
            inputEnded = true;
            inputEndPending = true;
            poller->defer(this);
            return total;
        }
        if (errno == EINTR)
            continue;
        if (transientError(errno)) {
            readable = false;
            break;
        }
        fail();
        return total ? total : -1;
    }
    return total;
}

void TtcpSocket::queueBytes(const char *data, qint64 len)
{
    if (len <= 0)
        return;
    outQueue.emplace_back(data, qsizetype(len));
    queued += len;
    waitingWrite = true;
}

qint64 TtcpSocket::write(const char *data, qint64 len, bool more)
{
    if (fd < 0 || st != SS_CONNECTED || closeRequested)
        return -1;
    if (len <= 0)
        return 0;
    if (queued > 0) {
        queueBytes(data, len);
        return len;
    }
    qint64 done = 0;
    while (done < len) {
        const ssize_t n = sendSome(data + done, size_t(len - done), more ? MSG_MORE : 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && transientError(errno))
            break;
        fail();
        return -1;
    }
    writtenPending += done;
    // Bytes held back with MSG_MORE are the kernel's too: the next write
    // (or the cork timer) sends them, so "all sent" holds either way and
    // the writer is called back for more.
    if (done < len)
        queueBytes(data + done, len - done);
    else
        allSentPending = true;
    poller->defer(this);
    return len;
}

qint64 TtcpSocket::write2(const QByteArray &a, const char *b, qint64 blen)
{
    if (fd < 0 || st != SS_CONNECTED || closeRequested)
        return -1;
    if (tls && queued == 0 && blen > 0 && a.size() + blen <= tlsRecordPayload) {
        // A head and a small body in one record: one encryption, one packet.
        QByteArray both;
        both.reserve(a.size() + blen);
        both.append(a).append(b, blen);
        return write(both);
    }
    if (queued > 0 || blen <= 0 || tls) {
        write(a);
        return write(b, blen) < 0 ? -1 : a.size() + blen;
    }
    iovec iov[2];
    iov[0].iov_base = const_cast<char *>(a.constData());
    iov[0].iov_len = size_t(a.size());
    iov[1].iov_base = const_cast<char *>(b);
    iov[1].iov_len = size_t(blen);
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = 2;
    ssize_t n;
    do
        n = ::sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    while (n < 0 && errno == EINTR);
    if (n < 0 && !transientError(errno)) {
        fail();
        return -1;
    }
    const qint64 sent = n < 0 ? 0 : n;
    if (sent < a.size()) {
        // Rare: the kernel buffer was full. Queue the rest in order.
        queueBytes(a.constData() + sent, a.size() - sent);
        queueBytes(b, blen);
    } else if (sent < a.size() + blen) {
        const qint64 off = sent - a.size();
        queueBytes(b + off, blen - off);
    } else {
        allSentPending = true;
    }
    writtenPending += sent;
    poller->defer(this);
    return a.size() + blen;
}

qint64 TtcpSocket::sendFile(int fileFd, qint64 offset, qint64 len, bool *sourceEnded)
{
    *sourceEnded = false;
    if (fd < 0 || st != SS_CONNECTED || closeRequested)
        return -1;
    if (queued > 0 || len <= 0)
        return 0;
    if (tls)
        return tlsSendFile(fileFd, offset, len, sourceEnded);
    off_t off = off_t(offset);
    qint64 done = 0;
    while (done < len) {
        const ssize_t n = ::sendfile(fd, fileFd, &off, size_t(qMin<qint64>(len - done, 1 << 30)));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n == 0) { // the file is shorter than it was
            *sourceEnded = true;
            break;
        }
        if (errno == EINTR)
            continue;
        if (transientError(errno)) {
            waitingWrite = true;
            break;
        }
        if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN) {
            fail();
            return done ? done : -1;
        }
        *sourceEnded = true; // read error on the file
        break;
    }
    writtenPending += done;
    if (done == len)
        allSentPending = true;
    if (done > 0 || allSentPending)
        poller->defer(this);
    return done;
}

// The kernel encrypts and sends straight from the page cache when it can;
// otherwise the file is read in pieces and written through the session. A
// piece the socket could not take whole is queued: it counts as taken.
qint64 TtcpSocket::tlsSendFile(int fileFd, qint64 offset, qint64 len, bool *sourceEnded)
{
    qint64 sent = 0;  // gone to the kernel
    qint64 taken = 0; // sent, or queued behind it
    if (tls->kernelSend()) {
        while (taken < len) {
            TtlsSession::Status status;
            const qint64 n = tls->sendFile(fileFd, offset + taken, qMin<qint64>(len - taken, 1 << 30), &status);
            if (n > 0) {
                taken += n;
                continue;
            }
            if (status == TtlsSession::TS_WANT_READ || status == TtlsSession::TS_WANT_WRITE) {
                waitingWrite = true;
                break;
            }
            fail();
            return taken ? taken : -1;
        }
        sent = taken;
    } else {
        QByteArray piece;
        while (taken < len) {
            const qint64 want = qMin(len - taken, tlsFileChunk);
            piece.resize(want);
            ssize_t got;
            do
                got = ::pread(fileFd, piece.data(), size_t(want), off_t(offset + taken));
            while (got < 0 && errno == EINTR);
            if (got <= 0) { // shorter than it was, or unreadable
                *sourceEnded = true;
                break;
            }
            qint64 put = 0;
            while (put < got) {
                const ssize_t n = sendSome(piece.constData() + put, size_t(got - put), 0);
                if (n > 0) {
                    put += n;
                    continue;
                }
                if (n < 0 && transientError(errno))
                    break;
                fail();
                return sent ? sent : -1;
            }
            sent += put;
            taken += got;
            if (put < got) {
                queueBytes(piece.constData() + put, got - put);
                break;
            }
            if (got < want) {
                *sourceEnded = true;
                break;
            }
        }
    }
    writtenPending += sent;
    if (taken == len && queued == 0)
        allSentPending = true;
    if (sent > 0 || allSentPending)
        poller->defer(this);
    return taken;
}

void TtcpSocket::flush()
{
    while (!outQueue.empty()) {
        const QByteArray &front = outQueue.front();
        const ssize_t n = sendSome(front.constData() + frontOffset, size_t(front.size() - frontOffset), 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (transientError(errno))
                return;
            fail();
            return;
        }
        writtenPending += n;
        queued -= n;
        frontOffset += n;
        if (frontOffset == front.size()) {
            outQueue.pop_front();
            frontOffset = 0;
        }
    }
    if (waitingWrite) {
        waitingWrite = false;
        if (!closeRequested)
            allSentPending = true;
    }
    if (closeRequested && st == SS_CONNECTED)
        startFin();
}

void TtcpSocket::fail()
{
    closeNow(false);
}

void TtcpSocket::closeNow(bool reset)
{
    if (fd < 0)
        return;
    if (reset) {
        linger l{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    poller->unwatch(fd);
    poller->wantTicks(this, false);
    ::close(fd);
    fd = -1;
    st = SS_CLOSED;
    outQueue.clear();
    queued = 0;
    frontOffset = 0;
    readable = false;
    allSentPending = false;
    waitingWrite = false;
    closedPending = true;
    poller->defer(this);
}

void TtcpSocket::shutdown()
{
    if (fd < 0 || closeRequested)
        return;
    closeRequested = true;
    if (queued == 0) {
        startFin();
        return;
    }
    // A peer that reads nothing would hold the connection for ever.
    lingerTimer.start();
    poller->wantTicks(this, true);
}

void TtcpSocket::startFin()
{
    if (tls && tlsPhase == TP_READY)
        tls->notifyClose();
    ::shutdown(fd, SHUT_WR);
    st = SS_CLOSING;
    allSentPending = false;
    lingerTimer.start();
    poller->wantTicks(this, true);
    discardInput();
}

void TtcpSocket::discardInput()
{
    char scratch[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, scratch, sizeof scratch, 0);
        if (n > 0) {
            lingerDiscarded += n;
            if (lingerDiscarded > lingerMaxBytes) {
                closeNow(true);
                return;
            }
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && transientError(errno))
            return;
        closeNow(false); // end of input or error: done lingering
        return;
    }
}

void TtcpSocket::abort()
{
    closeNow(true);
}

void TtcpSocket::pollTick()
{
    if (st == SS_CLOSING && lingerTimer.elapsed() >= lingerMs)
        closeNow(false);
    else if (st == SS_CONNECTED && closeRequested && lingerTimer.elapsed() >= closeFlushMs)
        closeNow(true);
}

void TtcpSocket::pollEvent(uint32_t events)
{
    if (fd < 0)
        return;
    if (events & EPOLLERR) {
        fail();
        deliver();
        return;
    }
    if (st == SS_CLOSING) {
        if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP))
            discardInput();
        deliver();
        return;
    }
    if ((tlsPhase == TP_SNIFF || tlsPhase == TP_HANDSHAKE) && !closeRequested) {
        tlsStep();
        if (tlsPhase != TP_READY) {
            deliver();
            return;
        }
    }
    // A session may wait for input to finish a write, or for room to
    // finish a read: either edge retries both.
    const bool tlsReady = tls && tlsPhase == TP_READY;
    if (((events & EPOLLOUT) || tlsReady) && (queued > 0 || waitingWrite))
        flush();
    if (tlsReady && tlsReadWantsWrite && (events & EPOLLOUT) && !inputEnded && !closeRequested) {
        tlsReadWantsWrite = false;
        readable = true;
    }
    if (fd >= 0 && (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP))) {
        if (events & (EPOLLRDHUP | EPOLLHUP))
            peerHungUp = true;
        if (closeRequested)
            discardInput();
        else if (!inputEnded)
            readable = true;
    }
    deliver();
}

void TtcpSocket::pollDeferred()
{
    deliver();
}

void TtcpSocket::deliver()
{
    if (pauseCount > 0)
        return;
    if (writtenPending > 0) {
        const qint64 n = writtenPending;
        writtenPending = 0;
        handler->sockBytesWritten(n);
        if (pauseCount > 0)
            return;
    }
    if (closedPending) {
        closedPending = false;
        readable = false;
        allSentPending = false;
        handler->sockClosed();
        return;
    }
    if (allSentPending) {
        allSentPending = false;
        handler->sockAllSent();
        if (pauseCount > 0)
            return;
    }
    if (readable && st == SS_CONNECTED && !closeRequested) {
        handler->sockReadable();
        // The handler read less than the kernel holds: come back for the rest.
        if (readable && pauseCount == 0)
            poller->defer(this);
    }
    // Reported after the last data was handled.
    if (inputEndPending && pauseCount == 0) {
        inputEndPending = false;
        if (st == SS_CONNECTED && !closeRequested)
            handler->sockInputEnded();
    }
    if ((writtenPending > 0 || allSentPending || closedPending) && pauseCount == 0)
        poller->defer(this);
}

int TtcpSocket::sendBufferSize() const
{
    if (fd < 0)
        return 0;
    int v = 0;
    socklen_t len = sizeof v;
    if (getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &v, &len) != 0)
        return 0;
    return v;
}

bool TtcpSocket::setSendBufferSize(int size)
{
    return fd >= 0 && setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) == 0;
}

void TtcpSocket::setNoDelay(bool on)
{
    if (fd < 0)
        return;
    const int v = on ? 1 : 0;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v);
}
