#include "log/log.h"

#include "http/httpConn.h"

#include "util/dateTime.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::function<void(const QString &, ThttpConn *, TlogKind)> &writer()
{
    static std::function<void(const QString &, ThttpConn *, TlogKind)> w;
    return w;
}

bool quiet = false;

// Lines wait here until the event loop finishes its current pass, so that a
// burst of requests costs one write instead of one per line.
QByteArray &pendingLines()
{
    static QByteArray pending;
    return pending;
}

void flushPendingLines()
{
    QByteArray &pending = pendingLines();
    if (pending.isEmpty())
        return;
    std::fwrite(pending.constData(), 1, size_t(pending.size()), stderr);
    std::fflush(stderr);
    pending.clear();
}

void queueLine(const QByteArray &bytes)
{
    static bool exitFlushRegistered = false;
    if (!exitFlushRegistered) {
        exitFlushRegistered = true;
        std::atexit(flushPendingLines);
    }
    QByteArray &pending = pendingLines();
    const bool first = pending.isEmpty();
    pending += bytes;
    // Without an event loop to come back to, or with a lot waiting, now.
    if (!QCoreApplication::instance() || pending.size() >= 64 * 1024) {
        flushPendingLines();
        return;
    }
    if (first)
        QTimer::singleShot(0, QCoreApplication::instance(), flushPendingLines);
}

void writeToStderr(const QString &line, ThttpConn *conn)
{
    // The clock read keeps the zone offset cached; a QDateTime conversion
    // would consult the zone file for every line.
    const TdateTime t = now();
    const int secs = std::clamp(int((t - std::floor(t)) * 86400.0), 0, 86399);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", secs / 3600, secs / 60 % 60, secs % 60);
    QString out = QString::fromLatin1(stamp);
    if (conn)
        out += conn->P_address + u':' + conn->P_port + u' ';
    out += line;
    // One line per entry: breaks inside the text are shown, not obeyed.
    if (out.contains(u'\n') || out.contains(u'\r')) {
        out.replace(QLatin1String("\r\n"), QLatin1String(" | "));
        out.replace(u'\n', QLatin1String(" | "));
        out.replace(u'\r', u' ');
    }
    queueLine(out.toUtf8() + '\n');
}

}

void add2log(const QString &line, ThttpConn *conn, TlogKind kind)
{
    if (quiet)
        return;
    if (writer())
        writer()(line, conn, kind);
    else
        writeToStderr(line, conn);
}

void setLogWriter(std::function<void(const QString &, ThttpConn *, TlogKind)> w)
{
    writer() = std::move(w);
}

void setLogQuiet(bool on)
{
    quiet = on;
}
