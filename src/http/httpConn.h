#pragma once
// One accepted connection: its input buffer, the request being parsed, the
// POST body being received and the reply being sent. The server owns it;
// it is freed only from a timer (the server's, or the application's when
// the server's autoFree is off), never while locked.

#include "http/chunkedDecoder.h"
#include "http/connOwner.h"
#include "http/httpBody.h"
#include "http/httpPost.h"
#include "http/httpReply.h"
#include "http/httpRequest.h"
#include "http/serverEvent.h"
#include "http/tcpSocket.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <memory>

class ThttpSrv;
class TspeedLimiter;
struct ssl_ctx_st;

class ThttpConn final : public TtcpSocketHandler
{
public:
    // Takes over the accepted descriptor fd; with tls the connection speaks
    // TLS (accepted on the HTTPS port).
    ThttpConn(ThttpSrv *srv, int fd, ssl_ctx_st *tls = nullptr);
    ~ThttpConn();
    ThttpConn(const ThttpConn &) = delete;
    ThttpConn &operator=(const ThttpConn &) = delete;

    // Frees c; throws std::logic_error("still in use") while it is locked.
    static void free(ThttpConn *c);

    // Graceful close: queued output is sent, then the connection closes.
    // The object lives on until the closure is seen by the server's timer.
    void disconnect();
    // Reports an event for this connection to the application.
    void notify(TserverEvent e);

    // Request accessors.
    QString getHeader(QByteArrayView name) const { return request_.getHeader(name); }
    QString getHeader(const QString &name) const { return request_.getHeader(name.toLatin1()); }
    QString getHeader(const char *name) const { return request_.getHeader(QByteArrayView(name)); }
    QString getHeader(const QByteArray &name) const { return request_.getHeader(QByteArrayView(name)); }
    QByteArray getHeaderA(QByteArrayView name) const { return request_.getHeaderA(name); }
    QByteArray getHeaderA(const QString &name) const { return request_.getHeaderA(name.toLatin1()); }
    QByteArray getHeaderA(const char *name) const { return request_.getHeaderA(QByteArrayView(name)); }
    QByteArray getHeaderA(const QByteArray &name) const { return request_.getHeaderA(QByteArrayView(name)); }
    QString getCookie(const QString &name) { return request_.getCookie(name); }
    // Reply header operations.
    template<class S>
    bool addHeader(const S &line, bool overwrite = false) { return reply_.addHeader(line, overwrite); }
    bool addHeader(QByteArrayView name, QByteArrayView value, bool overwrite)
    {
        return reply_.addHeader(name, value, overwrite);
    }
    template<class S>
    bool setHeaderIfNone(const S &line) { return reply_.setHeaderIfNone(line); }
    template<class S>
    void removeHeader(const S &name) { reply_.removeHeader(name); }
    bool setCookie(const QString &k, const QString &v, const QList<QPair<QString, QString>> &pairs = {},
                   const QString &extra = {})
    {
        return reply_.setCookie(k, v, pairs, extra);
    }
    bool delCookie(const QString &k) { return reply_.delCookie(k); }

    // Opens the reply body and resolves the range; the application may call
    // it again during SE_STREAM_READY after changing the body.
    bool initInputStream();

    // The send-buffer size shown for this connection. The kernel's buffer is
    // left alone (shrinking it turns off its autotuning); only a bigger size
    // given with force (the operator's explicit choice) is applied.
    void setSendBuffer(int size, bool force = false);
    void setNoDelay(bool on);

    // Derived quantities of the reply and the POST body.
    qint64 bodySize() const { return body_.size(); }
    qint64 rangeSize() const;
    qint64 bodyLeft() const;
    // A chunked body's length is known only at its end.
    qint64 postLeft() const { return chunked.isActive() ? 1 : post_.length - postBytesReceived_; }
    bool isLocked() const { return lockCount_ > 0; }

    // Sends one chunk of the body within allowance; returns the bytes taken.
    qint64 sendChunk(qint64 allowance);
    // Runs the state machine over buffered input.
    void processInput();

    ThttpSrv *server() const { return server_; }
    // The application's record of this connection (null until it makes one).
    ThttpConnOwner *owner() const { return owner_; }
    void setOwner(ThttpConnOwner *owner) { owner_ = owner; }

    // The peer.
    const QString &address() const { return address_; }
    const QString &port() const { return port_; }
    bool isV6() const { return v6_; }
    // Accepted on the HTTPS port. Its cookies are sent Secure.
    bool isTls() const { return tls_; }
    // "TLSv1.3" and the like once the session is up; empty for plain HTTP.
    QString tlsProtocol() const { return sock ? sock->tlsProtocol() : QString(); }

    ThttpConnState state() const { return state_; }
    bool isDisconnecting() const { return disconnecting; }
    int lockCount() const { return lockCount_; }
    int requestCount() const { return requestCount_; }
    int sendBufferSize() const { return sendBufferSize_; }
    // Unread input.
    const QByteArray &buffer() const { return buffer_; }
    // The bytes just received, while SE_GOT_DATA is reported (they are
    // not kept past it).
    QByteArrayView eventData() const { return eventData_; }

    // The current exchange. The application fills the reply and its body
    // during SE_REQUEST; the POST part holds the field or file piece of the
    // event being reported.
    ThttpRequest &request() { return request_; }
    const ThttpRequest &request() const { return request_; }
    ThttpReply &reply() { return reply_; }
    const ThttpReply &reply() const { return reply_; }
    const ThttpPost &post() const { return post_; }
    const ThttpBody &body() const { return body_; }

    // Byte counters: the whole connection, the current reply body, every
    // reply body so far, the POST body, and the last multipart file.
    qint64 bytesSent() const { return bytesSent_; }
    qint64 bytesReceived() const { return bytesReceived_; }
    qint64 bodyBytesSent() const { return bodyBytesSent_; }
    qint64 totalBodyBytesSent() const { return totalBodyBytesSent_; }
    qint64 postBytesReceived() const { return postBytesReceived_; }
    qint64 bytesPostedLastItem() const { return bytesPostedLastItem_; }
    // Bytes per second, sampled by the server once a second.
    double speedOut() const { return speedOut_; }
    double speedIn() const { return speedIn_; }

    // A paused connection sends nothing until resumed.
    bool isPaused() const { return paused; }
    void setPaused(bool on) { paused = on; }
    bool ignoresSpeedLimit() const { return ignoreSpeedLimit; }
    void setIgnoreSpeedLimit(bool on) { ignoreSpeedLimit = on; }
    // The limiters this connection's output counts against; the application
    // manages the list, the limiters outlive their place in it.
    QList<TspeedLimiter *> &limiters() { return limiters_; }
    const QList<TspeedLimiter *> &limiters() const { return limiters_; }

private:
    friend class ThttpSrv;
    friend class ThttpConnTestAccess; // lets unit tests stage a state

    void sockReadable() override;
    void sockBytesWritten(qint64 count) override;
    void sockAllSent() override;
    void sockClosed() override;
    void sockInputEnded() override;

    void onData(const char *bytes, qint64 n);
    bool appendInput(QByteArrayView bytes);
    void skipEmptyLines();
    bool headStep();
    void startChunkedBody(bool keep);
    bool feedChunked(QByteArrayView raw);
    void refuse(ThttpReplyMode mode);
    void closeIfInputEnded();
    qsizetype bodyInBuffer() const;
    void postStep();
    void multipartLoop(bool *ended);
    void takePartBytes(qsizetype n);
    void closePart(qsizetype boundaryPos);
    void readPartHeader();
    bool appendFieldValue(QByteArrayView bytes);
    void endBody();
    void startReply();
    bool rangeSatisfiable(qint64 size) const;
    void buildHead();
    void sendHeader();
    bool sendHeadAndSmallBody(QByteArray &wire);
    void startBody();
    void bodyStep();
    void finishReply();
    qint64 sendFromDevice(qint64 size, bool *ended);
    // Whether the connection waits for another request after this reply.
    bool keepsAfterReply() const;
    bool mustQueue() const;
    void consumeFront(qsizetype n);
    void dropInput(qint64 n);
    void notifyPost(TserverEvent e);
    void failed();
    // The peer is still sending the body of a request (one we read or skip).
    bool receivingBody() const { return state_ == HCS_POSTING || discardLeft > 0 || chunked.isActive(); }
    // Whether the request under way has had more time than the server's
    // pace allows by `now` (the server's clock).
    bool requestTooSlow(qint64 now);
    void closeTooSlow();

    ThttpSrv *server_;
    ThttpConnOwner *owner_ = nullptr;
    std::unique_ptr<TtcpSocket> sock;
    QString address_, port_;
    bool v6_ = false;
    bool tls_ = false;
    ThttpConnState state_ = HCS_IDLE;
    QByteArray buffer_;
    QByteArrayView eventData_;
    ThttpRequest request_;
    ThttpReply reply_;
    ThttpPost post_;
    ThttpBody body_;

    qint64 bytesReceived_ = 0, bytesSent_ = 0;
    qint64 bodyBytesSent_ = 0, totalBodyBytesSent_ = 0;
    // What the speeds were last computed from.
    qint64 bytesSentAtLastSample = 0, bytesReceivedAtLastSample = 0;
    QElapsedTimer lastSampleTime;
    double speedOut_ = 0, speedIn_ = 0;
    bool paused = false;
    bool ignoreSpeedLimit = false;
    QList<TspeedLimiter *> limiters_;

    int requestCount_ = 0;
    bool destroying = false;
    int sendBufferSize_ = 0;
    bool persistent = false;
    bool disconnecting = false;
    int lockCount_ = 0;
    bool refusingInput = false; // input is ignored and no further request is served

    // The POST body being received.
    bool firstPostFile = false;
    qint64 lastPostItemPos = 0;
    qint64 bytesPostedLastItem_ = 0;
    bool inBoundaries = false;   // a multipart part is open
    qint64 postBytesReceived_ = 0;

    qint64 askedFirst = -1, askedLast = -1; // the reply's range before resolution
    qint64 discardLeft = 0;     // input bytes to drop (an unread body)
    qint64 headLeft = 0;        // bytes of the current head not yet written
    qsizetype headScanned = 0;  // bytes of buffer already searched for a head end
    bool headOnly = false;      // the reply has no body on the wire
    bool unsatisfiable = false; // the range cannot be served
    bool truncated = false;     // the body ended before its size
    bool inQueue = false;       // in the server's bandwidth queue
    bool closedSeen = false;
    bool inputEnded = false;    // the peer will send nothing more
    TchunkedDecoder chunked;    // the body being received is chunked
    bool dropChunks = false;    // decoded chunks are thrown away (a body nobody reads)
    qsizetype connsIndex = -1;

    // The pace of the request under way, on the server's clock: since when a
    // head is awaited (from its first byte; -1: none is), and since when the
    // last head's body is, with the byte count it started at.
    qint64 headSince = -1;
    qint64 bodySince = -1;
    qint64 bodyBytesBase = 0;
};
