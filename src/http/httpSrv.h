#pragma once
// The HTTP server: listening sockets, the lists of connections and the
// 10 ms timer. Whatever depends on the application is decided in onEvent.

#include "http/serverEvent.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class ThttpConn;
class TlistenSocket;
class TsockPoller;
class TspeedLimiter;
class TtlsContext;

class ThttpSrv : public QObject
{
    Q_OBJECT
public:
    explicit ThttpSrv(QObject *parent = nullptr);
    ~ThttpSrv() override;

    // Listens on onAddress ("" or "*" for every address, IPv6 too) and the
    // port of port(). False when already listening or on failure.
    bool start(const QString &onAddress = QString());
    bool isListening() const;
    // The HTTPS listener beside the plain one, on the same addresses: port
    // "0" lets the kernel choose. False with lastError() on failure.
    bool startTls(const QString &onAddress, const QString &port, std::shared_ptr<TtlsContext> context);
    bool isTlsListening() const;
    QString tlsPort() const { return tlsPort_; }
    void stopTls();
    // Stops both listeners.
    void stop();
    void disconnectAll(bool wait = false);
    // Frees every connection of l (errors ignored), emptying it.
    void freeConnList(QList<ThttpConn *> &l);

    QString port() const { return port_; }
    // Throws std::logic_error("ThttpSrv: cannot change port while active")
    // while listening.
    void setPort(const QString &port);
    QString lastError() const { return error; }

    // Reports an event; the connection is locked and its socket paused
    // around the call. Errors of the callback go on to the caller.
    void notify(TserverEvent e, ThttpConn *conn = nullptr);

    // The 10 ms tick; public so that tests can drive it.
    void timerTick();
    // Closes the connections whose request comes in too slowly by `now`
    // (see requestTimeoutMs); run once a second, public for tests.
    void expireSlowRequests(qint64 now);
    // Milliseconds of the server's monotonic clock.
    qint64 now() const { return uptime.elapsed(); }

    QTimer timer;
    bool lockTimerevent = false;
    QElapsedTimer lastHertz;
    // Off when the application frees ended connections itself.
    bool autoFree = true;
    double speedIn = 0, speedOut = 0; // bytes per second, all connections
    qint64 bytesSent = 0, bytesReceived = 0;
    std::unique_ptr<TlistenSocket> sock, sock6;
    std::unique_ptr<TlistenSocket> tlsSock, tlsSock6;
    QList<ThttpConn *> conns, disconnecting, offlines, q;
    QList<TspeedLimiter *> limiters;
    bool persistentConnections = true;
    // A peer may hold a connection only by sending a request at a useful
    // pace, however often it sends a byte: a head must arrive whole within
    // requestTimeoutMs of its first byte, a body within requestTimeoutMs
    // plus one second per minRequestRate bytes it brought so far. Either
    // at 0 turns off its rule (requestTimeoutMs at 0: both).
    qint64 requestTimeoutMs = 30000;
    qint64 minRequestRate = 500; // bytes per second
    std::function<void(TserverEvent, ThttpConn *)> onEvent;

private:
    friend class ThttpConn;

    void acceptWaiting(TlistenSocket *from, bool tls);
    // True when a new second began (and its work ran).
    bool secondTick();
    void disconnectingStep();
    void serveQueue();
    void enqueue(ThttpConn *c);
    void forget(ThttpConn *c);
    void pipelineSoon(ThttpConn *c);

    std::shared_ptr<TsockPoller> poller;
    QElapsedTimer uptime;
    QString port_ = QStringLiteral("80");
    QString tlsPort_;
    std::shared_ptr<TtlsContext> tlsContext;
    QString error;
    QList<ThttpConn *> pipelined;
    // Pipelined requests whose start found their connection busy: the
    // timer tries them again.
    QList<ThttpConn *> pipelineRetry;
    bool pipelinePosted = false;
};
