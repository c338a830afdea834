#pragma once
// A plain blocking-socket HTTP client for the server tests. Every wait
// turns Qt's event loop, so the server under test runs meanwhile.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <functional>

inline void pumpEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (t.elapsed() < ms);
}

// Turns the loop until pred() holds or ms pass; returns pred().
inline bool pumpUntil(const std::function<bool()> &pred, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct TtestResponse
{
    int code = 0;
    QByteArray head;   // status line and header lines
    QByteArray body;
    bool complete = false;

    QByteArray header(const QByteArray &name) const
    {
        for (const QByteArray &line : head.split('\n')) {
            const int c = line.indexOf(':');
            if (c > 0 && line.left(c).trimmed().toLower() == name.toLower())
                return line.mid(c + 1).trimmed();
        }
        return {};
    }
    bool hasHeader(const QByteArray &name) const { return head.toLower().contains("\n" + name.toLower() + ":"); }
};

class TtestClient
{
public:
    explicit TtestClient(quint16 port, bool v6 = false)
    {
        fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (v6) {
            sockaddr_in6 a{};
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(port);
            a.sin6_addr = in6addr_loopback;
            connected = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        } else {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            connected = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
        }
        const int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    ~TtestClient() { close(); }
    TtestClient(const TtestClient &) = delete;
    TtestClient &operator=(const TtestClient &) = delete;

    void close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // Ends our side of the stream; replies can still be read.
    void shutdownWrite() { ::shutdown(fd, SHUT_WR); }

    // Sends everything, turning the loop while the kernel buffer is full.
    bool send(const QByteArray &data)
    {
        qsizetype done = 0;
        QElapsedTimer t;
        t.start();
        while (done < data.size()) {
            const ssize_t n = ::send(fd, data.constData() + done, size_t(data.size() - done), MSG_NOSIGNAL);
            if (n > 0) {
                done += n;
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                return false;
            if (t.elapsed() > 5000)
                return false;
            poll();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    // Reads what is there without waiting.
    void poll()
    {
        char buf[65536];
        for (;;) {
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n > 0) {
                received.append(buf, n);
                continue;
            }
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                closed = true;
            return;
        }
    }

    bool waitFor(const std::function<bool()> &pred, int ms = 3000)
    {
        return pumpUntil([&] {
            poll();
            return pred();
        }, ms);
    }
    bool waitClosed(int ms = 3000) { return waitFor([&] { return closed; }, ms); }
    bool waitBytes(qsizetype n, int ms = 3000) { return waitFor([&] { return received.size() >= n; }, ms); }

    // The first complete response in `received` (by Content-Length, or up to
    // the close when there is none); it is removed from `received`.
    TtestResponse takeResponse(bool headOnly = false)
    {
        TtestResponse r;
        const qsizetype end = received.indexOf("\r\n\r\n");
        if (end < 0)
            return r;
        r.head = received.left(end);
        const QList<QByteArray> first = r.head.left(r.head.indexOf('\r')).split(' ');
        r.code = first.size() > 1 ? first[1].toInt() : 0;
        const QByteArray len = r.header("Content-Length");
        qsizetype bodyLen;
        if (headOnly)
            bodyLen = 0;
        else if (!len.isEmpty())
            bodyLen = len.toLongLong();
        else if (closed)
            bodyLen = received.size() - end - 4;
        else
            return r;
        if (received.size() < end + 4 + bodyLen)
            return r;
        r.body = received.mid(end + 4, bodyLen);
        r.complete = true;
        received.remove(0, end + 4 + bodyLen);
        return r;
    }

    // Waits for a whole response and takes it.
    TtestResponse response(bool headOnly = false, int ms = 3000)
    {
        TtestResponse r;
        waitFor([&] {
            QByteArray saved = received;
            r = takeResponse(headOnly);
            if (!r.complete)
                received = saved;
            return r.complete;
        }, ms);
        return r;
    }

    int fd = -1;
    bool connected = false;
    bool closed = false;
    QByteArray received;
};
