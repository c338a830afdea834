#include "app/singleInstance.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char kMagic[] = "ZOF-CMDLINE-1";
constexpr int kMaxPeers = 8;
constexpr qint64 kPeerTimeoutMs = 5000;

QString sysError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool fillAddress(const QByteArray &path, sockaddr_un &addr)
{
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    if (path.size() >= static_cast<qsizetype>(sizeof addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));
    return true;
}

QByteArray encodeMessage(const QStringList &cmdLine)
{
    QByteArray msg(kMagic);
    for (const QString &s : cmdLine) {
        msg += '\0';
        msg += s.toUtf8();
    }
    return msg;
}

} // namespace

TsingleInstance::TsingleInstance(const QString &folderIn, QObject *parent)
    : QObject(parent), folder(folderIn.isEmpty() ? defaultFolder() : folderIn)
{
}

TsingleInstance::~TsingleInstance()
{
    for (auto it = peers.begin(); it != peers.end(); ++it) {
        delete it->notifier;
        ::close(it.key());
    }
    delete listenNotifier;
    if (listenFd >= 0) {
        ::close(listenFd);
        ::unlink(QFile::encodeName(folder + QStringLiteral("/channel")).constData());
    }
    if (lockFd >= 0)
        ::close(lockFd); // releases the lock
}

QString TsingleInstance::defaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith(u'/') && QFileInfo(runtime).isDir())
        return runtime + QStringLiteral("/zof");
    return QStringLiteral("/tmp/zof-") + QString::number(::getuid());
}

bool TsingleInstance::prepareFolder()
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        error = sysError();
        return false;
    }
    struct stat sb = {};
    if (::lstat(path.constData(), &sb) != 0) {
        error = sysError();
        return false;
    }
    // Someone else's folder (or a link to one) under a shared /tmp must not be used.
    if (!S_ISDIR(sb.st_mode) || sb.st_uid != ::getuid()) {
        error = QStringLiteral("%1 is not a folder of this user").arg(folder);
        return false;
    }
    if ((sb.st_mode & 077) && ::chmod(path.constData(), 0700) != 0) {
        error = sysError();
        return false;
    }
    return true;
}

TsingleInstance::Tstate TsingleInstance::open()
{
    if (st != SI_CLOSED)
        return st;
    if (!prepareFolder())
        return st = SI_ERROR;
    const QByteArray lockPath = QFile::encodeName(folder + QStringLiteral("/lock"));
    lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0) {
        error = sysError();
        return st = SI_ERROR;
    }
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            ::close(lockFd);
            lockFd = -1;
            return st = SI_SECONDARY;
        }
        error = sysError();
        return st = SI_ERROR;
    }
    if (!listenSocket())
        return st = SI_ERROR;
    return st = SI_PRIMARY;
}

bool TsingleInstance::listenSocket()
{
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/channel"));
    sockaddr_un addr;
    if (!fillAddress(path, addr)) {
        error = QStringLiteral("path too long: %1").arg(folder);
        return false;
    }
    ::unlink(path.constData()); // left by an instance that did not end cleanly; we hold the lock
    listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listenFd < 0 || ::bind(listenFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::listen(listenFd, kMaxPeers) != 0) {
        error = sysError();
        return false;
    }
    listenNotifier = new QSocketNotifier(listenFd, QSocketNotifier::Read, this);
    connect(listenNotifier, &QSocketNotifier::activated, this, &TsingleInstance::acceptPeers);
    return true;
}

void TsingleInstance::acceptPeers()
{
    dropStalePeers();
    for (;;) {
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            return;
        ucred cred = {};
        socklen_t len = sizeof cred;
        if (peers.size() >= kMaxPeers
            || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != ::getuid()) {
            ::close(fd);
            continue;
        }
        Tpeer &p = peers[fd];
        p.age.start();
        p.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(p.notifier, &QSocketNotifier::activated, this, [this, fd] { readPeer(fd); });
    }
}

void TsingleInstance::readPeer(int fd)
{
    auto it = peers.find(fd);
    if (it == peers.end())
        return;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            it->buffer.append(buf, n);
            if (it->buffer.size() > maxMessage) {
                dropPeer(fd);
                return;
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        break; // end of the message (or an error)
    }
    const QByteArray msg = it->buffer;
    QList<QByteArray> parts = msg.split('\0');
    const bool valid = !parts.isEmpty() && parts.first() == kMagic;
    if (valid) {
        [[maybe_unused]] const ssize_t w = ::send(fd, "ok", 2, MSG_NOSIGNAL);
    }
    dropPeer(fd);
    if (!valid)
        return;
    parts.removeFirst();
    QStringList cmdLine;
    for (const QByteArray &p : std::as_const(parts))
        cmdLine.append(QString::fromUtf8(p));
    Q_EMIT received(cmdLine);
}

void TsingleInstance::dropPeer(int fd)
{
    auto it = peers.find(fd);
    if (it == peers.end())
        return;
    it->notifier->setEnabled(false);
    it->notifier->deleteLater();
    peers.erase(it);
    ::close(fd);
}

void TsingleInstance::dropStalePeers()
{
    QList<int> stale;
    for (auto it = peers.cbegin(); it != peers.cend(); ++it)
        if (it->age.elapsed() > kPeerTimeoutMs)
            stale.append(it.key());
    for (int fd : stale)
        dropPeer(fd);
}

bool TsingleInstance::send(const QStringList &cmdLine, int timeoutMs)
{
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/channel"));
    sockaddr_un addr;
    if (!fillAddress(path, addr)) {
        error = QStringLiteral("path too long: %1").arg(folder);
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
    int fd = -1;
    // The running instance may hold the lock but not listen yet: retry a while.
    while (fd < 0) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = sysError();
            return false;
        }
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            break;
        error = sysError();
        ::close(fd);
        fd = -1;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    timeval tv = {static_cast<time_t>(timeoutMs / 1000), static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    const QByteArray msg = encodeMessage(cmdLine);
    qsizetype done = 0;
    while (done < msg.size()) {
        const ssize_t n = ::send(fd, msg.constData() + done, static_cast<size_t>(msg.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = sysError();
            ::close(fd);
            return false;
        }
        done += n;
    }
    ::shutdown(fd, SHUT_WR);
    char ack[2] = {};
    qsizetype got = 0;
    while (got < 2) {
        const ssize_t n = ::recv(fd, ack + got, static_cast<size_t>(2 - got), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    if (got != 2 || std::memcmp(ack, "ok", 2) != 0) {
        error = QStringLiteral("the running instance did not answer");
        return false;
    }
    return true;
}
