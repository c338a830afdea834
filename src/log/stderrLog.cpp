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
    // The room stays for the next burst, unless a rare one made it big.
    if (pending.capacity() > 256 * 1024)
        pending.clear();
    else
        pending.resize(0);
}

namespace {

constexpr qsizetype flushAt = 64 * 1024;

QByteArray &pendingForWriting()
{
    // The buffer exists before the exit handler is registered, so it is
    // destroyed after the handler ran.
    QByteArray &pending = pendingStderr();
    static bool exitFlushRegistered = false;
    if (!exitFlushRegistered) {
        exitFlushRegistered = true;
        std::atexit(flushStderr);
    }
    return pending;
}

// After text was added to what waits: written now without an event loop to
// come back to, or with a lot waiting; else at the loop's next turn.
void pendingGrew(bool wasEmpty)
{
    if (!QCoreApplication::instance() || pendingStderr().size() >= flushAt) {
        flushStderr();
        return;
    }
    if (wasEmpty)
        QMetaObject::invokeMethod(QCoreApplication::instance(), flushStderr, Qt::QueuedConnection);
}

} // namespace

void queueStderr(const QByteArray &bytes)
{
    QByteArray &pending = pendingForWriting();
    const bool wasEmpty = pending.isEmpty();
    pending += bytes;
    pendingGrew(wasEmpty);
}

TstderrWriter::TstderrWriter()
    : pending(pendingForWriting())
    , wasEmpty(pending.isEmpty())
{
}

TstderrWriter::~TstderrWriter()
{
    if (pending.isEmpty())
        return;
    pendingGrew(wasEmpty);
}
