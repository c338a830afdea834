#pragma once
// An accepted TCP connection on the thread's epoll instance: non-blocking
// reads, writes with a user-space queue, sendfile, pause, graceful and
// abortive close. Notifications are never delivered from inside a call made
// by the handler: they are deferred to the poller's dispatch. A socket given
// a TLS context speaks TLS: the handshake runs first, unseen by the handler,
// and reads, writes and sendFile go through the session.

#include "http/sockPoller.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <sys/types.h>
#include <memory>

class TtlsSession;
struct ssl_ctx_st;

class TtcpSocketHandler
{
public:
    virtual void sockReadable() = 0;
    virtual void sockBytesWritten(qint64 count) = 0;
    // The queue is empty and the kernel took everything: more may be written.
    virtual void sockAllSent() = 0;
    virtual void sockClosed() = 0;
    // The peer ended its side (it may still read): no more input comes.
    virtual void sockInputEnded() = 0;

protected:
    ~TtcpSocketHandler() = default;
};

class TtcpSocket final : public TsockPollable
{
public:
    enum State { SS_CONNECTED, SS_CLOSING, SS_CLOSED };

    // Takes ownership of the connected, non-blocking descriptor fd.
    // With tls set the peer must open a TLS session; a peer that speaks
    // plain HTTP instead gets a 400 reply and the connection closes.
    TtcpSocket(std::shared_ptr<TsockPoller> poller, int fd, TtcpSocketHandler *handler,
               ssl_ctx_st *tls = nullptr);
    ~TtcpSocket() override;
    TtcpSocket(const TtcpSocket &) = delete;
    TtcpSocket &operator=(const TtcpSocket &) = delete;

    State state() const { return st; }
    bool isConnected() const { return st == SS_CONNECTED && !closeRequested; }
    int descriptor() const { return fd; }
    const QString &peerAddress() const { return peerAddr; }
    quint16 peerPort() const { return peerPortNum; }
    // The session's protocol ("TLSv1.3") once its handshake is done.
    QString tlsProtocol() const;
    // Whether large files leave through kernel TLS.
    bool tlsKernelSend() const;

    // Up to max bytes the kernel holds now; 0 when there is nothing (or the
    // peer ended its side: sockInputEnded follows), -1 when the socket is
    // closed (the closed notification follows).
    qint64 read(char *dst, qint64 max);
    // Queues the bytes; the kernel gets as much as it takes at once.
    // Returns the count taken (all of it), or -1 when the socket is closed.
    // With more set, the kernel is told that more data follows at once.
    qint64 write(const char *data, qint64 len, bool more = false);
    qint64 write(const QByteArray &a, bool more = false) { return write(a.constData(), a.size(), more); }
    // Two pieces in one system call.
    qint64 write2(const QByteArray &a, const char *b, qint64 blen);
    // Sends from a file straight from the page cache; only when nothing is
    // queued. Returns the bytes taken by the kernel (possibly fewer than len
    // when its buffer is full: sockAllSent follows when there is room).
    // sourceEnded is set when the file ended before len bytes.
    qint64 sendFile(int fileFd, qint64 offset, qint64 len, bool *sourceEnded);
    qint64 pendingBytes() const { return queued; }

    // While paused no notification is delivered; they wait for resume().
    void pause() { ++pauseCount; }
    void resume();
    bool isPaused() const { return pauseCount > 0; }

    // Graceful close: the queue is sent, then FIN; input is read and thrown
    // away for a short while so that the peer sees our data and not a reset.
    // A peer that has not taken the queue within closeFlushMs gets a reset.
    void shutdown();
    static inline qint64 closeFlushMs = 5000; // tests shorten it
    // Abortive close: a reset, queued data dropped.
    void abort();

    int sendBufferSize() const;
    bool setSendBufferSize(int size);
    void setNoDelay(bool on);

    void pollEvent(uint32_t events) override;
    void pollDeferred() override;
    void pollTick() override;

private:
    enum TlsPhase { TP_NONE, TP_SNIFF, TP_HANDSHAKE, TP_READY };

    // One send or receive, through the TLS session when there is one; -1
    // with errno set (EAGAIN: wait for the poller) like the system calls.
    ssize_t sendSome(const char *data, size_t len, int flags);
    ssize_t recvSome(char *dst, size_t len);
    void tlsStep();
    void refusePlain();
    qint64 tlsSendFile(int fileFd, qint64 offset, qint64 len, bool *sourceEnded);
    void flush();
    void fail();
    void closeNow(bool reset);
    void startFin();
    void discardInput();
    void deliver();
    void queueBytes(const char *data, qint64 len);

    std::shared_ptr<TsockPoller> poller;
    TtcpSocketHandler *handler;
    int fd;
    State st = SS_CONNECTED;
    QString peerAddr;
    quint16 peerPortNum = 0;
    // Empty on most connections: a QList allocates nothing until used
    // (a deque would, for every connection).
    QList<QByteArray> outQueue;
    qint64 frontOffset = 0;
    qint64 queued = 0;
    qint64 writtenPending = 0;
    qint64 lingerDiscarded = 0;
    QElapsedTimer lingerTimer; // since the close was asked, then since our FIN
    int pauseCount = 0;
    bool readable = false;
    bool peerHungUp = false; // the peer's FIN has been signalled; read to the end of the queue
    bool waitingWrite = false;
    bool allSentPending = false;
    bool closedPending = false;
    bool closeRequested = false;
    bool inputEnded = false;       // the peer's end of stream was read
    bool inputEndPending = false;  // ... and not yet reported
    std::unique_ptr<TtlsSession> tls;
    TlsPhase tlsPhase = TP_NONE;
    bool tlsReadWantsWrite = false; // a read waits for room to write (a key update)
};
