#include "http/httpSrv.h"

#include "http/httpConn.h"
#include "http/listenSocket.h"
#include "http/sockPoller.h"
#include "http/speedLimiter.h"
#include "http/tlsContext.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <stdexcept>
#include <utility>

namespace {
// Connections accepted per notification, so one flood cannot starve the rest.
constexpr int maxAcceptsPerEvent = 64;

// Sets a flag for the lifetime of a scope, also when it is left by an exception.
struct TflagGuard {
    bool &flag;
    explicit TflagGuard(bool &f) : flag(f) { flag = true; }
    ~TflagGuard() { flag = false; }
};
}

const char *serverEventName(TserverEvent e)
{
    static const char *const names[] = {
        "SE_SERVER_START", "SE_SERVER_STOP", "SE_CONNECTED", "SE_DISCONNECTED", "SE_GOT_DATA",
        "SE_BYTES_SENT", "SE_REQUESTING", "SE_GOT_HEADER", "SE_REQUEST", "SE_STREAM_READY",
        "SE_REPLIED", "SE_POST_FILE_START", "SE_POST_FILE_DATA", "SE_POST_FILE_END", "SE_POST_VARS",
        "SE_POST_VAR", "SE_POST_END", "SE_REQUEST_COMPLETED", "SE_OPEN_FAILED",
    };
    const int i = int(e);
    return i >= 0 && i < int(sizeof names / sizeof *names) ? names[i] : "?";
}

ThttpSrv::ThttpSrv(QObject *parent)
    : QObject(parent), poller(TsockPoller::acquire())
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    connect(&timer, &QTimer::timeout, this, &ThttpSrv::timerTick);
    timer.start();
    lastHertz.start();
    uptime.start();
}

ThttpSrv::~ThttpSrv()
{
    // The application may be half gone already: it hears nothing more.
    onEvent = nullptr;
    timer.stop();
    stop();
    disconnectAll(false);
    for (QList<ThttpConn *> *l : {&conns, &disconnecting, &offlines}) {
        while (!l->isEmpty())
            delete l->first();
    }
    q.clear();
}

void ThttpSrv::setPort(const QString &port)
{
    if (port == port_)
        return;
    if (isListening())
        throw std::logic_error("ThttpSrv: cannot change port while active");
    port_ = port;
}

bool ThttpSrv::isListening() const
{
    return sock && sock->isListening();
}

bool ThttpSrv::start(const QString &onAddress)
{
    if (isListening())
        return false;
    const QString addr = onAddress.isEmpty() ? QStringLiteral("*") : onAddress;
    bool ok = false;
    const uint portNum = port_.trimmed().toUInt(&ok);
    if (!ok || portNum > 65535) {
        error = QStringLiteral("invalid port");
        return false;
    }
    sock = std::make_unique<TlistenSocket>(poller);
    TlistenSocket *s4 = sock.get();
    sock->onConnectionWaiting = [this, s4] { acceptWaiting(s4, false); };
    sock->onClosed = [this] {
        try {
            notify(SE_SERVER_STOP);
        } catch (...) {
        }
    };
    if (!sock->listen(addr == u"*" ? QStringLiteral("0.0.0.0") : addr, quint16(portNum))) {
        error = sock->errorText();
        sock.reset();
        return false;
    }
    if (portNum == 0)
        port_ = QString::number(sock->boundPort());
    if (addr == u"*") {
        // The same port on IPv6 when it is free; serving IPv4 alone is fine.
        sock6 = std::make_unique<TlistenSocket>(poller);
        TlistenSocket *s6 = sock6.get();
        sock6->onConnectionWaiting = [this, s6] { acceptWaiting(s6, false); };
        if (!sock6->listen(QStringLiteral("::"), sock->boundPort()))
            sock6.reset();
    }
    error.clear();
    try {
        notify(SE_SERVER_START);
    } catch (...) {
    }
    return true;
}

void ThttpSrv::stop()
{
    stopTls();
    if (sock)
        sock->close();
    if (sock6)
        sock6->close();
}

bool ThttpSrv::startTls(const QString &onAddress, const QString &port, std::shared_ptr<TtlsContext> context)
{
    if (isTlsListening() || !context)
        return false;
    bool ok = false;
    const uint portNum = port.trimmed().toUInt(&ok);
    if (!ok || portNum > 65535) {
        error = QStringLiteral("invalid HTTPS port");
        return false;
    }
    const QString addr = onAddress.isEmpty() ? QStringLiteral("*") : onAddress;
    tlsContext = std::move(context);
    tlsSock = std::make_unique<TlistenSocket>(poller);
    TlistenSocket *s4 = tlsSock.get();
    tlsSock->onConnectionWaiting = [this, s4] { acceptWaiting(s4, true); };
    if (!tlsSock->listen(addr == u"*" ? QStringLiteral("0.0.0.0") : addr, quint16(portNum))) {
        error = tlsSock->errorText();
        tlsSock.reset();
        tlsContext.reset();
        return false;
    }
    tlsPort_ = QString::number(tlsSock->boundPort());
    if (addr == u"*") {
        tlsSock6 = std::make_unique<TlistenSocket>(poller);
        TlistenSocket *s6 = tlsSock6.get();
        tlsSock6->onConnectionWaiting = [this, s6] { acceptWaiting(s6, true); };
        if (!tlsSock6->listen(QStringLiteral("::"), tlsSock->boundPort()))
            tlsSock6.reset();
    }
    return true;
}

bool ThttpSrv::isTlsListening() const
{
    return tlsSock && tlsSock->isListening();
}

void ThttpSrv::stopTls()
{
    // Connections under way keep their sessions (each holds the context).
    // Closed, not freed: this may run from one of their own callbacks.
    if (tlsSock)
        tlsSock->close();
    if (tlsSock6)
        tlsSock6->close();
    tlsPort_.clear();
}

void ThttpSrv::disconnectAll(bool wait)
{
    const QList<ThttpConn *> copy = conns;
    for (ThttpConn *c : copy)
        c->disconnect();
    if (!wait)
        return;
    // Let the closures happen: every socket closes within its linger time.
    QDeadlineTimer deadline(3000);
    auto anyOpen = [this] {
        for (ThttpConn *c : std::as_const(conns))
            if (c->sock && c->sock->state() != TtcpSocket::SS_CLOSED)
                return true;
        return false;
    };
    while (anyOpen() && !deadline.hasExpired()) {
        poller->dispatch();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void ThttpSrv::freeConnList(QList<ThttpConn *> &l)
{
    while (!l.isEmpty()) {
        ThttpConn *c = l.takeFirst();
        try {
            ThttpConn::free(c);
        } catch (...) {
        }
    }
}

void ThttpSrv::notify(TserverEvent e, ThttpConn *conn)
{
    if (!onEvent)
        return;
    if (!conn) {
        onEvent(e, nullptr);
        return;
    }
    ++conn->lockCount_;
    TtcpSocket *s = conn->sock.get();
    if (s)
        s->pause();
    struct Unlock {
        ThttpConn *c;
        TtcpSocket *s;
        ~Unlock()
        {
            --c->lockCount_;
            if (s)
                s->resume();
        }
    } unlock{conn, s};
    onEvent(e, conn);
}

void ThttpSrv::acceptWaiting(TlistenSocket *from, bool tls)
{
    for (int i = 0; i < maxAcceptsPerEvent; ++i) {
        const int fd = from->accept();
        if (fd < 0)
            return;
        auto *c = new ThttpConn(this, fd, tls && tlsContext ? tlsContext->handle() : nullptr);
        try {
            notify(SE_CONNECTED, c);
            if (c->reply_.mode == HRM_CLOSE) {
                c->refusingInput = true;
                c->disconnect();
            }
        } catch (...) {
            // The listening socket is never closed by an application error.
            c->failed();
        }
    }
}

void ThttpSrv::timerTick()
{
    // A nested event loop run by a callback of this very tick: skip.
    if (lockTimerevent)
        return;
    const bool newSecond = secondTick();
    TflagGuard guard(lockTimerevent);
    disconnectingStep();
    if (autoFree)
        freeConnList(offlines);
    // Requests that arrived behind the previous one start now: at every
    // tick those whose start found the connection busy, once a second any
    // other. Looking at every connection a hundred times a second would
    // cost thousands of idle connections more than their traffic does.
    const QList<ThttpConn *> copy = newSecond ? conns : std::exchange(pipelineRetry, {});
    for (ThttpConn *c : copy) {
        if ((c->state_ == HCS_IDLE || c->state_ == HCS_DISCONNECTED) && !c->buffer_.isEmpty()) {
            if (c->isLocked()) {
                if (!pipelineRetry.contains(c))
                    pipelineRetry.append(c);
                continue;
            }
            try {
                c->processInput();
            } catch (...) {
                c->failed();
            }
        }
    }
    serveQueue();
}

bool ThttpSrv::secondTick()
{
    if (lastHertz.elapsed() < 1000)
        return false;
    lastHertz.restart();
    double in = 0, out = 0;
    for (ThttpConn *c : std::as_const(conns)) {
        const double secs = double(c->lastSampleTime.nsecsElapsed()) / 1e9;
        if (secs > 0) {
            c->speedOut_ = double(c->bytesSent_ - c->bytesSentAtLastSample) / secs;
            c->speedIn_ = double(c->bytesReceived_ - c->bytesReceivedAtLastSample) / secs;
        }
        c->bytesSentAtLastSample = c->bytesSent_;
        c->bytesReceivedAtLastSample = c->bytesReceived_;
        c->lastSampleTime.restart();
        in += c->speedIn_;
        out += c->speedOut_;
    }
    speedIn = in;
    speedOut = out;
    for (TspeedLimiter *l : std::as_const(limiters))
        l->refill();
    expireSlowRequests(now());
    return true;
}

void ThttpSrv::expireSlowRequests(qint64 now)
{
    if (requestTimeoutMs <= 0)
        return;
    const QList<ThttpConn *> copy = conns;
    for (ThttpConn *c : copy)
        if (c->requestTooSlow(now))
            c->closeTooSlow();
}

void ThttpSrv::disconnectingStep()
{
    const QList<ThttpConn *> copy = disconnecting;
    for (ThttpConn *c : copy) {
        if (!disconnecting.contains(c) || c->isLocked())
            continue;
        try {
            c->processInput();
        } catch (...) {
        }
        disconnecting.removeAll(c);
        q.removeAll(c);
        c->inQueue = false;
        conns.removeOne(c);
        offlines.append(c);
        try {
            c->notify(SE_DISCONNECTED);
        } catch (...) {
        }
    }
}

void ThttpSrv::enqueue(ThttpConn *c)
{
    if (c->inQueue)
        return;
    c->inQueue = true;
    q.append(c);
}

void ThttpSrv::serveQueue()
{
    if (q.isEmpty())
        return;
    QList<ThttpConn *> batch;
    batch.swap(q);
    QList<ThttpConn *> kept;
    for (ThttpConn *c : std::as_const(batch)) {
        c->inQueue = false;
        qint64 allowance = c->paused ? 0 : TspeedLimiter::unlimited;
        if (!c->ignoreSpeedLimit && allowance > 0)
            for (const TspeedLimiter *l : std::as_const(c->limiters_))
                allowance = qMin(allowance, l->allowance());
        if (allowance <= 0) {
            kept.append(c);
            continue;
        }
        if (c->destroying || c->disconnecting || !c->sock || !c->sock->isConnected())
            continue;
        const qint64 taken = c->sendChunk(allowance);
        for (TspeedLimiter *l : std::as_const(c->limiters_))
            l->consume(taken);
    }
    // Connections queued meanwhile go behind the ones kept.
    for (ThttpConn *c : std::as_const(q))
        if (!kept.contains(c))
            kept.append(c);
    q = kept;
    for (ThttpConn *c : std::as_const(q))
        c->inQueue = true;
}

void ThttpSrv::forget(ThttpConn *c)
{
    conns.removeOne(c);
    disconnecting.removeAll(c);
    offlines.removeAll(c);
    q.removeAll(c);
    pipelined.removeAll(c);
    pipelineRetry.removeAll(c);
}

void ThttpSrv::pipelineSoon(ThttpConn *c)
{
    // The next pipelined request starts once this dispatch is over, without
    // waiting for the timer.
    if (!pipelined.contains(c))
        pipelined.append(c);
    if (pipelinePosted)
        return;
    pipelinePosted = true;
    QMetaObject::invokeMethod(this, [this] {
        pipelinePosted = false;
        while (!pipelined.isEmpty()) {
            // Taken one at a time: a callback may free others meanwhile,
            // and a freed connection leaves this list.
            ThttpConn *c = pipelined.takeFirst();
            if (c->state_ == HCS_IDLE && !c->buffer_.isEmpty() && c->isLocked()) {
                if (!pipelineRetry.contains(c))
                    pipelineRetry.append(c);
            } else if (c->state_ == HCS_IDLE && !c->buffer_.isEmpty()) {
                try {
                    c->processInput();
                } catch (...) {
                    c->failed();
                }
            }
        }
    }, Qt::QueuedConnection);
}
