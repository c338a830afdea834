#include "log/log.h"

#include "util/dateTime.h"
#include "util/encodings.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

std::function<void(const QString &, const TlogPeer &, TlogKind)> &writer()
{
    static std::function<void(const QString &, const TlogPeer &, TlogKind)> w;
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

void writeToStderr(const QString &line, const TlogPeer &peer)
{
    // The time of day to the second: the coarse clock is plenty, and the
    // stamp is formatted once per second.
    static int lastSecs = -1;
    static char stamp[32];
    const TdateTime t = nowCoarse();
    const int secs = std::clamp(int((t - std::floor(t)) * 86400.0), 0, 86399);
    if (secs != lastSecs) {
        lastSecs = secs;
        std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", secs / 3600, secs / 60 % 60, secs % 60);
    }
    QByteArray out;
    const bool aboutPeer = !peer.address.isEmpty() || !peer.port.isEmpty();
    out.reserve(16 + (aboutPeer ? peer.address.size() + peer.port.size() + 2 : 0)
                + line.size() * 3 + 1);
    out.append(stamp);
    if (aboutPeer) {
        appendUtf8(out, peer.address);
        out += ':';
        appendUtf8(out, peer.port);
        out += ' ';
    }
    // One line per entry: breaks inside the text are shown, not obeyed.
    if (line.contains(u'\n') || line.contains(u'\r')) {
        QString shown = line;
        shown.replace(QLatin1String("\r\n"), QLatin1String(" | "));
        shown.replace(u'\n', QLatin1String(" | "));
        shown.replace(u'\r', u' ');
        appendUtf8(out, shown);
    } else {
        appendUtf8(out, line);
    }
    out += '\n';
    queueLine(out);
}

}

void add2log(const QString &line, const TlogPeer &peer, TlogKind kind)
{
    if (quiet)
        return;
    if (writer())
        writer()(line, peer, kind);
    else
        writeToStderr(line, peer);
}

void setLogWriter(std::function<void(const QString &, const TlogPeer &, TlogKind)> w)
{
    writer() = std::move(w);
}

void setLogQuiet(bool on)
{
    quiet = on;
}
