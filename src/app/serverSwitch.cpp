#include "app/serverSwitch.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/connCommands.h"
#include "serve/serve.h"
#include "util/prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

bool allDigits(const QString &text)
{
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    return true;
}

// The inodes of the sockets listening on `port` in one of /proc/net/tcp{,6}.
void listeningInodes(const QString &table, quint16 port, QSet<QString> &inodes)
{
    QFile f(table);
    if (!f.open(QIODevice::ReadOnly))
        return;
    f.readLine(); // the header
    while (!f.atEnd()) {
        const QStringList cols = QString::fromLatin1(f.readLine()).simplified().split(u' ');
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
        if (cols.size() < 10 || cols[3] != u"0A") // 0A: listening
            continue;
        const QString local = cols[1];
        bool ok = false;
        const uint p = local.mid(local.lastIndexOf(u':') + 1).toUInt(&ok, 16);
        if (ok && p == port)
            inodes.insert(cols[9]);
    }
}

} // namespace

bool serverListening()
{
    return serveExists() && serve().isListening();
}

QString currentPort()
{
    return serverListening() ? serve().listeningPort() : opts().port;
}

bool startServer()
{
    return serveExists() && serve().startServer();
}

void stopServer()
{
    if (serveExists())
        serve().stopServer();
}

bool restartServer()
{
    if (!serverListening())
        return false;
    const QString port = serve().listeningPort();
    stopServer();
    // The same port again, even when the options leave it automatic.
    const QString configured = opts().port;
    opts().port = port;
    const bool ok = startServer();
    opts().port = configured;
    return ok;
}

bool changePort(const QString &port)
{
    const bool wasListening = serverListening();
    const QString oldPort = opts().port;
    opts().port = port;
    if (wasListening && port == serve().listeningPort())
        return true;
    stopServer();
    if (!startServer()) {
        opts().port = oldPort;
        if (wasListening)
            startServer();
        return false;
    }
    if (!wasListening)
        stopServer(); // the port was only tried
    return true;
}

int openConnectionCount()
{
    if (!serveExists())
        return 0;
    int n = 0;
    for (const ThttpConn *c : std::as_const(serve().srv().conns))
        if (c->state() != HCS_DISCONNECTED)
            ++n;
    return n;
}

void kickAllConnections()
{
    if (serveExists())
        kickAddress(serve().srv(), QStringLiteral("*"));
}

void toggleServer()
{
    if (serverListening()) {
        stopServer();
    } else if (!startServer()) {
        const QString port = opts().port.isEmpty() ? QStringLiteral("80") : opts().port;
        prompt().message(portFailureMessage(port), PK_ERROR);
    }
    if (serverListening())
        return;
    const int open = openConnectionCount();
    if (open > 0
        && prompt().question(QStringLiteral("There are %1 connections open.\rDo you want to close them now?").arg(open),
                             PB_YES | PB_NO, PB_NO)
               == PB_YES)
        kickAllConnections();
}

void portPrompt()
{
    QString shown = opts().port;
    for (;;) {
        const std::optional<QString> answer = prompt().askText(
            QStringLiteral("Specify a port to accept connection,\ror leave empty to decide automatically."),
            QStringLiteral("Port"), shown);
        if (!answer)
            return;
        const QString port = answer->trimmed();
        shown = port;
        if (!allDigits(port)) {
            prompt().message(QStringLiteral("Numbers only"), PK_ERROR);
            continue;
        }
        if (changePort(port))
            return;
        prompt().message(portFailureMessage(port.isEmpty() ? QStringLiteral("80") : port), PK_ERROR);
    }
}

QString portHolder(const QString &port)
{
    bool ok = false;
    const uint p = port.toUInt(&ok);
    if (!ok || p == 0 || p > 65535)
        return {};
    QSet<QString> inodes;
    listeningInodes(QStringLiteral("/proc/net/tcp"), quint16(p), inodes);
    listeningInodes(QStringLiteral("/proc/net/tcp6"), quint16(p), inodes);
    if (inodes.isEmpty())
        return {};
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        if (!allDigits(pid))
            continue;
        const QString fdDir = QStringLiteral("/proc/") + pid + QStringLiteral("/fd");
        const QStringList fds = QDir(fdDir).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : fds) {
            const QString target = QFile::symLinkTarget(fdDir + u'/' + fd);
            // "socket:[inode]"; symLinkTarget makes it absolute.
            const qsizetype at = target.indexOf(QStringLiteral("socket:["));
            if (at < 0 || !inodes.contains(target.mid(at + 8).chopped(1)))
                continue;
            const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/") + pid + QStringLiteral("/exe"));
            if (!exe.isEmpty())
                return QFileInfo(exe).fileName();
            QFile comm(QStringLiteral("/proc/") + pid + QStringLiteral("/comm"));
            if (comm.open(QIODevice::ReadOnly))
                return QString::fromLocal8Bit(comm.readAll()).trimmed();
            return {};
        }
    }
    return {};
}

QString portFailureMessage(const QString &port)
{
    const QString holder = portHolder(port);
    return QStringLiteral("Cannot open port.\r")
        + (holder.isEmpty() ? QStringLiteral("Something is blocking, maybe your system firewall.")
                            : QStringLiteral("It is already used by ") + holder);
}
