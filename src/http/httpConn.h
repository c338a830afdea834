#pragma once
// One accepted connection: its input buffer, the request being parsed, the
// POST body being received and the reply being sent. The server owns it;
// it is freed only from a timer (the server's, or the application's when
// the server's P_autoFree is off), never while locked.

#include "http/chunkedDecoder.h"
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

class ThttpConn final : public TtcpSocketHandler
{
public:
    // Takes over the accepted descriptor fd.
    ThttpConn(ThttpSrv *srv, int fd);
    ~ThttpConn();
    ThttpConn(const ThttpConn &) = delete;
    ThttpConn &operator=(const ThttpConn &) = delete;

    // Frees c; throws std::logic_error("still in use") while it is locked.
    static void free(ThttpConn *c);

    // Graceful close: queued output is sent, then the connection closes.
    // The object lives on until the closure is seen by the server's timer.
    void disconnect();
    const QByteArray &getBuffer() const { return buffer; }
    // Reports an event for this connection to the application.
    void notify(TserverEvent e);

    // Request accessors.
    QString getHeader(QByteArrayView name) const { return request.getHeader(name); }
    QString getHeader(const QString &name) const { return request.getHeader(name.toLatin1()); }
    QString getHeader(const char *name) const { return request.getHeader(QByteArrayView(name)); }
    QString getHeader(const QByteArray &name) const { return request.getHeader(QByteArrayView(name)); }
    QByteArray getHeaderA(QByteArrayView name) const { return request.getHeaderA(name); }
    QByteArray getHeaderA(const QString &name) const { return request.getHeaderA(name.toLatin1()); }
    QByteArray getHeaderA(const char *name) const { return request.getHeaderA(QByteArrayView(name)); }
    QByteArray getHeaderA(const QByteArray &name) const { return request.getHeaderA(QByteArrayView(name)); }
    QString getCookie(const QString &name) { return request.getCookie(name); }
    // Reply header operations.
    template<class S>
    bool addHeader(const S &line, bool overwrite = false) { return reply.addHeader(line, overwrite); }
    template<class S>
    bool setHeaderIfNone(const S &line) { return reply.setHeaderIfNone(line); }
    template<class S>
    void removeHeader(const S &name) { reply.removeHeader(name); }
    bool setCookie(const QString &k, const QString &v, const QList<QPair<QString, QString>> &pairs = {},
                   const QString &extra = {})
    {
        return reply.setCookie(k, v, pairs, extra);
    }
    bool delCookie(const QString &k) { return reply.delCookie(k); }

    // Opens the reply body and resolves the range; the application may call
    // it again during SE_STREAM_READY after changing the body.
    bool initInputStream();

    // The send-buffer size shown for this connection. The kernel's buffer is
    // left alone (shrinking it turns off its autotuning); only a bigger size
    // given with force (the operator's explicit choice) is applied.
    void setSendBuffer(int size, bool force = false);
    void setNoDelay(bool on);

    // Derived quantities of the reply and the POST body.
    qint64 bodySize() const { return stream.size(); }
    qint64 rangeSize() const;
    qint64 bodyLeft() const;
    // A chunked body's length is known only at its end.
    qint64 postLeft() const { return chunked.isActive() ? 1 : post.length - postDataReceived; }
    bool isLocked() const { return lockCount > 0; }

    // Sends one chunk of the body within allowance; returns the bytes taken.
    qint64 sendChunk(qint64 allowance);
    // Runs the state machine over buffered input.
    void processInput();

    ThttpSrv *srv;
    ThttpBody stream;
    QString P_address, P_port;
    qint64 brecvd = 0, bsent = 0;
    qint64 bsent_body = 0, bsent_bodies = 0;
    int P_requestCount = 0;
    bool P_destroying = false;
    int P_sndBuf = 0;
    bool P_v6 = false;
    bool persistent = false;
    bool disconnecting = false;
    int lockCount = 0;
    bool dontFulFil = false;
    bool firstPostFile = false;
    qint64 lastPostItemPos = 0;
    qint64 FbytesPostedLastItem = 0;
    bool inBoundaries = false;   // a multipart part is open
    qint64 postDataReceived = 0;
    qint64 lastBsent = 0, lastBrecvd = 0;
    QElapsedTimer lastSpeedTime;
    double P_speedOut = 0, P_speedIn = 0;
    QByteArray buffer;
    std::unique_ptr<TtcpSocket> sock;
    ThttpConnState state = HCS_IDLE;
    ThttpRequest request;
    ThttpReply reply;
    ThttpPost post;
    void *data = nullptr;
    bool paused = false;
    QByteArray eventData;
    bool ignoreSpeedLimit = false;
    QList<TspeedLimiter *> limiters;

private:
    friend class ThttpSrv;

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
    void closePart(qsizetype boundaryPos);
    void readPartHeader();
    bool appendFieldValue(QByteArrayView bytes);
    void endBody();
    void startReply();
    bool rangeSatisfiable(qint64 size) const;
    void buildHead();
    void sendHeader();
    void startBody();
    void bodyStep();
    void finishReply();
    bool mustQueue() const;
    void consumeFront(qsizetype n);
    void dropInput(qint64 n);
    void notifyPost(TserverEvent e);
    void failed();

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
};
