#include "http/listenSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

TlistenSocket::TlistenSocket(std::shared_ptr<TsockPoller> p)
    : poller(std::move(p)), spare(::open("/dev/null", O_RDONLY | O_CLOEXEC))
{
}

TlistenSocket::~TlistenSocket()
{
    onClosed = nullptr;
    close();
    if (spare >= 0)
        ::close(spare);
}

bool TlistenSocket::listen(const QString &address, quint16 wantedPort)
{
    if (fd >= 0) {
        error = QStringLiteral("already listening");
        return false;
    }
    sockaddr_storage ss{};
    socklen_t len = 0;
    const QByteArray a = address.toLatin1();
    auto *v4 = reinterpret_cast<sockaddr_in *>(&ss);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&ss);
    if (inet_pton(AF_INET, a.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(wantedPort);
        len = sizeof *v4;
    } else if (inet_pton(AF_INET6, a.constData(), &v6->sin6_addr) == 1) {
        v6->sin6_family = AF_INET6;
        v6->sin6_port = htons(wantedPort);
        len = sizeof *v6;
    } else {
        error = QStringLiteral("invalid address");
        return false;
    }
    const int s = ::socket(ss.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    const int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (ss.ss_family == AF_INET6)
        setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    if (::bind(s, reinterpret_cast<sockaddr *>(&ss), len) != 0 || ::listen(s, 1024) != 0) {
        error = QString::fromLocal8Bit(strerror(errno));
        ::close(s);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t blen = sizeof bound;
    getsockname(s, reinterpret_cast<sockaddr *>(&bound), &blen);
    port = ntohs(bound.ss_family == AF_INET ? reinterpret_cast<sockaddr_in *>(&bound)->sin_port
                                            : reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port);
    if (!poller->add(this, s, EPOLLIN)) {
        error = QStringLiteral("cannot watch the socket");
        ::close(s);
        return false;
    }
    fd = s;
    error.clear();
    return true;
}

void TlistenSocket::close()
{
    if (fd < 0)
        return;
    poller->remove(this, fd);
    ::close(fd);
    fd = -1;
    port = 0;
    if (onClosed)
        onClosed();
}

int TlistenSocket::accept()
{
    if (fd < 0)
        return -1;
    for (;;) {
        const int c = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (c >= 0)
            return c;
        // A connection reset while waiting is not our error: try the next.
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO)
            continue;
        if (errno == EMFILE || errno == ENFILE) {
            // Out of descriptors: the waiting peer would be reported again
            // and again. Use the spare descriptor to take it and close it.
            if (spare >= 0) {
                ::close(spare);
                const int c2 = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
                if (c2 >= 0)
                    ::close(c2);
                spare = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            }
        }
        return -1;
    }
}

void TlistenSocket::pollEvent(uint32_t)
{
    // Level-triggered: whatever is left is reported again.
    if (onConnectionWaiting)
        onConnectionWaiting();
}
