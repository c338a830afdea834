#include "log/stderrLog.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cstdio>
#include <cstdlib>

namespace {

QByteArray &pendingStderr()
{
    static QByteArray pending;
    return pending;
}

} // namespace

void flushStderr()
{
    QByteArray &pending = pendingStderr();
    if (pending.isEmpty())
        return;
    std::fwrite(pending.constData(), 1, size_t(pending.size()), stderr);
    std::fflush(stderr);
    pending.clear();
}

void queueStderr(const QByteArray &bytes)
{
    // The buffer exists before the exit handler is registered, so it is
    // destroyed after the handler ran.
    QByteArray &pending = pendingStderr();
    static bool exitFlushRegistered = false;
    if (!exitFlushRegistered) {
        exitFlushRegistered = true;
        std::atexit(flushStderr);
    }
    const bool first = pending.isEmpty();
    pending += bytes;
    // Without an event loop to come back to, or with a lot waiting, now.
    if (!QCoreApplication::instance() || pending.size() >= 64 * 1024) {
        flushStderr();
        return;
    }
    if (first)
        QMetaObject::invokeMethod(QCoreApplication::instance(), flushStderr, Qt::QueuedConnection);
}
