#include "http/httpConn.h"

#include "http/headBuffers.h"
#include "http/httpSrv.h"
#include "http/secureCookies.h"
#include "http/speedLimiter.h"
#include "util/asciiCase.h"
#include "util/encodings.h"

#include <array>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <stdexcept>

using namespace Qt::StringLiterals;

namespace {
constexpr qint64 maxInputBuffer = 262144;
constexpr qint64 readChunk = 65536;
constexpr QByteArrayView htmlType = "text/html; charset=utf-8";
}

ThttpConn::ThttpConn(ThttpSrv *s, int fd, ssl_ctx_st *tls)
    : server_(s), tls_(tls != nullptr)
{
    sock = std::make_unique<TtcpSocket>(server_->poller, fd, this, tls);
    address_ = sock->peerAddress();
    port_ = QString::number(sock->peerPort());
    v6_ = address_.contains(u':');
    state_ = HCS_IDLE;
    connsIndex = server_->conns.size();
    server_->conns.append(this);
    request_.reset();
    reply_.reset(-1, -1);
    lastSampleTime.start();
    sendBufferSize_ = sock->sendBufferSize();
    if (sock->state() == TtcpSocket::SS_CLOSED) {
        state_ = HCS_DISCONNECTED;
        closedSeen = true;
        server_->disconnecting.append(this);
    }
}

ThttpConn::~ThttpConn()
{
    destroying = true;
    server_->forget(this);
    sock.reset();
    body_.close();
}

void ThttpConn::free(ThttpConn *c)
{
    if (!c)
        return;
    if (c->isLocked())
        throw std::logic_error("still in use");
    delete c;
}

void ThttpConn::disconnect()
{
    if (disconnecting)
        return;
    disconnecting = true;
    if (sock)
        sock->shutdown();
}

void ThttpConn::notify(TserverEvent e)
{
    server_->notify(e, this);
}

void ThttpConn::notifyPost(TserverEvent e)
{
    // Errors of the application during POST events are ignored.
    try {
        notify(e);
    } catch (...) {
    }
}

void ThttpConn::failed()
{
    // The application raised an error while we handled a notification:
    // that connection ends.
    disconnecting = true;
    if (sock)
        sock->abort();
}

void ThttpConn::setSendBuffer(int size, bool force)
{
    if (size == sendBufferSize_ && !force)
        return;
    sendBufferSize_ = size;
    if (force && sock && size > sock->sendBufferSize())
        sock->setSendBufferSize(size);
}

void ThttpConn::setNoDelay(bool on)
{
    if (sock)
        sock->setNoDelay(on);
}

qint64 ThttpConn::rangeSize() const
{
    if (reply_.firstByte < 0 && reply_.lastByte < 0)
        return bodySize();
    return reply_.lastByte - reply_.firstByte + 1;
}

qint64 ThttpConn::bodyLeft() const
{
    if (headOnly)
        return 0;
    return rangeSize() - bodyBytesSent_;
}

bool ThttpConn::mustQueue() const
{
    if (paused)
        return true;
    for (const TspeedLimiter *l : limiters_)
        if (l->isLimited())
            return true;
    return false;
}

void ThttpConn::consumeFront(qsizetype n)
{
    if (n >= buffer_.size())
        buffer_.resize(0); // keeps the capacity for the next request
    else if (n > 0)
        buffer_.remove(0, n);
    headScanned = 0;
}

void ThttpConn::dropInput(qint64 n)
{
    const qint64 now = qMin<qint64>(n, buffer_.size());
    consumeFront(now);
    discardLeft = n - now;
}

// A head must come whole within the server's request timeout. A body has
// that long plus a second per minRequestRate bytes it brought: a slow but
// steady upload goes on, a trickle of a few bytes now and then does not.
bool ThttpConn::requestTooSlow(qint64 now)
{
    if (disconnecting || isLocked() || server_->requestTimeoutMs <= 0)
        return false;
    const qint64 limit = server_->requestTimeoutMs;
    if (receivingBody()) {
        const qint64 rate = server_->minRequestRate;
        if (rate <= 0 || bodySince < 0)
            return false;
        const qint64 earned = (bytesReceived_ - bodyBytesBase) * 1000 / rate;
        return now - bodySince > limit + earned;
    }
    if (state_ != HCS_IDLE && state_ != HCS_REQUESTING)
        return false; // answering: the peer waits for us
    return headSince >= 0 && now - headSince > limit;
}

// Nothing is answered: the peer has shown it is not a client worth a reply.
void ThttpConn::closeTooSlow()
{
    refusingInput = true;
    dropInput(buffer_.size());
    disconnect();
}

// ---- socket notifications ----

void ThttpConn::sockReadable()
{
    try {
        static thread_local char scratch[readChunk];
        const qint64 n = sock->read(scratch, readChunk);
        if (n > 0)
            onData(scratch, n);
    } catch (...) {
        failed();
    }
}

void ThttpConn::onData(const char *bytes, qint64 n)
{
    bytesReceived_ += n;
    server_->bytesReceived += n;
    if (refusingInput)
        return;
    if (discardLeft > 0) {
        const qint64 d = qMin(discardLeft, n);
        discardLeft -= d;
        bytes += d;
        n -= d;
        if (n == 0)
            return;
    }
    const QByteArrayView raw(bytes, n);
    if (chunked.isActive()) {
        if (!feedChunked(raw))
            return;
    } else {
        if (state_ == HCS_POSTING)
            postBytesReceived_ += n;
        if (!appendInput(raw))
            return;
        // Bytes between requests start the clock of the next head, also
        // when they turn out to be empty lines: a peer cannot keep the
        // connection by sending those alone.
        if (state_ == HCS_IDLE && headSince < 0)
            headSince = server_->now();
    }
    eventData_ = QByteArrayView(bytes, n);
    notify(SE_GOT_DATA);
    eventData_ = {};
    processInput();
}

bool ThttpConn::appendInput(QByteArrayView bytes)
{
    if (buffer_.size() + bytes.size() > maxInputBuffer) {
        disconnect();
        if (sock)
            sock->abort();
        return false;
    }
    buffer_.append(bytes);
    return true;
}

void ThttpConn::sockBytesWritten(qint64 count)
{
    try {
        bytesSent_ += count;
        server_->bytesSent += count;
        const qint64 fromHead = qMin(count, headLeft);
        headLeft -= fromHead;
        const qint64 body = count - fromHead;
        if (state_ == HCS_REPLYING_BODY && body > 0) {
            bodyBytesSent_ += body;
            totalBodyBytesSent_ += body;
        }
        notify(SE_BYTES_SENT);
    } catch (...) {
        failed();
    }
}

void ThttpConn::sockAllSent()
{
    try {
        bodyStep();
    } catch (...) {
        failed();
    }
}

void ThttpConn::sockInputEnded()
{
    try {
        inputEnded = true;
        closeIfInputEnded();
    } catch (...) {
        failed();
    }
}

// Once the peer sent all it will send, what it asked for is answered and the
// connection closes; a head or body that can no longer complete ends it at once.
void ThttpConn::closeIfInputEnded()
{
    if (!inputEnded || disconnecting)
        return;
    switch (state_) {
    case HCS_IDLE:
        if (buffer_.isEmpty())
            disconnect(); // else a pipelined request is about to start
        break;
    case HCS_REQUESTING:
    case HCS_POSTING:
        disconnect();
        break;
    case HCS_REPLYING:
        disconnect(); // a reply that sends nothing waits for the peer to close
        break;
    default:
        break; // the reply under way finishes first
    }
}

void ThttpConn::sockClosed()
{
    if (closedSeen)
        return;
    closedSeen = true;
    state_ = HCS_DISCONNECTED;
    server_->disconnecting.append(this);
}

// ---- input ----

void ThttpConn::processInput()
{
    if (state_ == HCS_IDLE || state_ == HCS_REQUESTING)
        skipEmptyLines();
    // A body can end with nothing left to read: the last chunk of a chunked
    // body whose bytes were all taken already.
    const bool bodyDone = state_ == HCS_POSTING && postLeft() <= 0;
    if ((buffer_.isEmpty() && !bodyDone) || refusingInput) {
        closeIfInputEnded();
        return;
    }
    if (state_ == HCS_IDLE) {
        if (disconnecting)
            return; // closing: no new request starts

        state_ = HCS_REQUESTING;
        if (headSince < 0)
            headSince = server_->now(); // a pipelined head, waiting since the reply before
        reply_.contentType = htmlType.toByteArray();
        notify(SE_REQUESTING);
    }
    if (state_ == HCS_REQUESTING) {
        if (!headStep()) {
            closeIfInputEnded();
            return;
        }
    } else if (state_ == HCS_POSTING) {
        postStep();
    } else {
        return; // a reply is under way: input waits (pipelining)
    }
    if (state_ == HCS_REPLYING && !refusingInput)
        startReply();
    closeIfInputEnded();
}

// Empty lines before a request line are ignored, as some clients send an
// extra CR LF after a body.
void ThttpConn::skipEmptyLines()
{
    qsizetype n = 0;
    while (n < buffer_.size() && (buffer_[n] == '\r' || buffer_[n] == '\n'))
        ++n;
    if (n > 0)
        consumeFront(n);
}

// Looks for the head and parses it. True when a request was accepted.
bool ThttpConn::headStep()
{
    while (state_ == HCS_REQUESTING && !buffer_.isEmpty()) {
        int term = 0;
        // Only the new bytes are searched (with 3 bytes of overlap), so a head
        // sent byte by byte costs linear time.
        const qsizetype from = qMax<qsizetype>(0, headScanned - 3);
        const QByteArrayView scan = QByteArrayView(buffer_).sliced(from);
        qsizetype end = findHeadEnd(scan, &term);
        // A head holding ETX (a terminal's Ctrl-C) closes the connection,
        // whether or not its end came in the same read.
        if (scan.first(end < 0 ? scan.size() : end).indexOf('\3') >= 0) {
            reply_.mode = HRM_CLOSE;
            dropInput(buffer_.size());
            refusingInput = true;
            disconnect();
            return false;
        }
        if (end < 0) {
            headScanned = buffer_.size();
            if (buffer_.size() > maxHeadSize) {
                request_.reset();
                refuse(HRM_TOO_LARGE);
            }
            return false;
        }
        end += from;
        request_.full = buffer_.left(end);
        consumeFront(end + term);
        ThttpHeadInfo info;
        if (!parseRequestHead(request_, post_, server_->persistentConnections, &info)) {
            skipEmptyLines();
            continue; // rejected: wait for another head
        }
        persistent = info.persistent;
        // The head is in; a body that follows is timed from here, and the
        // bytes of it that came with the head count for it.
        headSince = -1;
        bodySince = server_->now();
        bodyBytesBase = bytesReceived_ - buffer_.size();
        notify(SE_GOT_HEADER);
        if (info.conflictingLengths) {
            refuse(HRM_BAD_REQUEST);
            return false;
        }
        if (info.transferCoding == TC_UNKNOWN || info.transferCoding == TC_INVALID) {
            // Where the body ends cannot be known: answer and close.
            refuse(info.transferCoding == TC_UNKNOWN ? HRM_NOT_IMPLEMENTED : HRM_BAD_REQUEST);
            return false;
        }
        const bool isChunked = info.transferCoding == TC_CHUNKED;
        if (isChunked && (info.contentLengthGiven || request_.ver < "1.1"_ba)) {
            // The chunks frame the body, not the length; but a request that
            // gives both, or chunks from an HTTP/1.0 client, is suspect:
            // nothing more is read from this connection after it.
            persistent = false;
            post_.length = 0;
        }
        if (request_.method == HM_POST) {
            state_ = HCS_POSTING;
            firstPostFile = true;
            inBoundaries = false;
            lastPostItemPos = 0;
            bytesPostedLastItem_ = 0;
            post_.data.clear();
            post_.varname.clear();
            post_.filename.clear();
            postBytesReceived_ = buffer_.size();
            if (!info.contentLengthGiven && !isChunked) {
                // No length we can trust: the body cannot be told apart from
                // what follows it.
                persistent = false;
                dropInput(std::numeric_limits<qint64>::max());
                notifyPost(SE_POST_END);
                state_ = HCS_REPLYING;
            } else {
                // A client waiting for our go-ahead would stall a second or more.
                if ((post_.length > 0 || isChunked) && buffer_.isEmpty() && sock && request_.ver >= "1.1"_ba
                    && sameText(request_.getHeaderA("Expect"), "100-continue"))
                    sock->write(QByteArrayLiteral("HTTP/1.1 100 Continue\r\n\r\n"));
                if (isChunked)
                    startChunkedBody(true);
                if (state_ == HCS_POSTING)
                    postStep();
            }
        } else {
            // A body sent with another method is not ours to read.
            if (isChunked)
                startChunkedBody(false);
            else if (post_.length > 0)
                dropInput(post_.length);
            if (state_ == HCS_REQUESTING)
                state_ = HCS_REPLYING;
        }
        return true;
    }
    return false;
}

// Takes the body that follows the head through the chunk decoder. Unless
// the body is kept, its bytes are thrown away as they are decoded.
void ThttpConn::startChunkedBody(bool keep)
{
    chunked.start();
    dropChunks = !keep;
    post_.length = 0; // known at the last chunk
    postBytesReceived_ = 0;
    const QByteArray raw = buffer_;
    consumeFront(buffer_.size());
    if (!raw.isEmpty())
        feedChunked(raw);
}

// Decodes raw input of a chunked body into buffer; what follows the body's
// end is the next request. False when the connection is done with.
bool ThttpConn::feedChunked(QByteArrayView raw)
{
    if (buffer_.size() + raw.size() > maxInputBuffer) { // decoding never makes more bytes
        disconnect();
        if (sock)
            sock->abort();
        return false;
    }
    const qsizetype before = buffer_.size();
    qsizetype used = 0;
    const TchunkedDecoder::Result r = chunked.feed(raw, buffer_, &used);
    if (dropChunks)
        buffer_.truncate(before);
    else
        postBytesReceived_ += buffer_.size() - before;
    switch (r) {
    case TchunkedDecoder::CD_ERROR:
        refuse(HRM_BAD_REQUEST);
        return false;
    case TchunkedDecoder::CD_DONE: {
        if (!dropChunks)
            post_.length = chunked.decoded();
        dropChunks = false;
        // What follows is the next request; in the body step it counts as
        // received like the bytes behind a body with a length.
        const QByteArrayView next = raw.sliced(used);
        if (state_ == HCS_POSTING)
            postBytesReceived_ += next.size();
        return appendInput(next);
    }
    case TchunkedDecoder::CD_MORE:
        break;
    }
    return true;
}

// Answers a request the server itself cannot take (the application sees no
// SE_REQUEST for it), then closes. When a reply is already under way, the
// connection closes after it instead.
void ThttpConn::refuse(ThttpReplyMode mode)
{
    persistent = false;
    refusingInput = true;
    dropInput(buffer_.size());
    if (state_ == HCS_REPLYING_HEADER || state_ == HCS_REPLYING_BODY || state_ == HCS_DISCONNECTED)
        return;
    if (state_ == HCS_REPLYING) {
        disconnect();
        return;
    }
    reply_.reset(-1, -1);
    headOnly = unsatisfiable = truncated = false;
    reply_.mode = mode;
    reply_.contentType = htmlType.toByteArray();
    state_ = HCS_REPLYING;
    buildHead();
}

// ---- reply ----

void ThttpConn::startReply()
{
    reply_.reset(request_.firstByte, request_.lastByte);
    headOnly = unsatisfiable = truncated = false;
    ++requestCount_;
    askedFirst = request_.firstByte;
    askedLast = request_.lastByte;
    notify(SE_REQUEST);
    askedFirst = reply_.firstByte;
    askedLast = reply_.lastByte;
    if (!initInputStream()) {
        reply_.mode = HRM_INTERNAL_ERROR;
        reply_.contentType = htmlType.toByteArray();
        notify(SE_OPEN_FAILED);
    }
    notify(SE_STREAM_READY);
    if (state_ == HCS_REPLYING)
        buildHead();
}

bool ThttpConn::initInputStream()
{
    body_.close();
    bool ok = true;
    switch (reply_.bodyMode) {
    case RBM_FILE:
        ok = body_.openFile(reply_.bodyFile);
        break;
    case RBM_STRING:
        body_.setBytes(reply_.body);
        break;
    case RBM_STREAM:
        ok = body_.setDevice(std::move(reply_.bodyStream));
        break;
    }
    if (!ok)
        return false;
    const qint64 size = body_.size();
    // Resolved from the range as asked, also when the body is opened again
    // (the first resolution filled in the previous body's size).
    qint64 &first = reply_.firstByte;
    qint64 &last = reply_.lastByte;
    first = askedFirst;
    last = askedLast;
    // Ranges apply to files and pages, never to error texts.
    const bool rangeable = reply_.mode == HRM_REPLY || reply_.mode == HRM_REPLY_HEADER;
    if (reply_.resumeForbidden || (first < 0 && last < 0) || !rangeable) {
        first = 0;
        last = size - 1;
    } else if (last < 0) {
        last = size - 1;
    } else if (first < 0) {
        // The last N bytes; asking for more than there is gives the whole body.
        first = qMax<qint64>(0, size - last);
        last = size - 1;
    } else if (first > last) {
        // An inverted range is no range at all.
        first = 0;
        last = size - 1;
    } else if (last >= size) {
        // A range past the end is served up to the last byte.
        last = size - 1;
    }
    if (first > 0 && reply_.mode == HRM_REPLY && first <= size && !body_.seek(first))
        return false;
    return true;
}

namespace {
// Whether a head has a line for the header `name` (lower case).
bool hasHeaderLine(QByteArrayView head, QByteArrayView name)
{
    for (qsizetype at = 0; at < head.size();) {
        qsizetype end = head.indexOf('\n', at);
        if (end < 0)
            end = head.size();
        const QByteArrayView line = head.sliced(at, end - at);
        if (line.size() > name.size() && line[name.size()] == ':' && sameText(line.first(name.size()), name))
            return true;
        at = end + 1;
    }
    return false;
}

// The standard phrase as text, shared for the usual codes instead of
// converted for every reply.
QString reasonText(int code)
{
    static const int usual[] = {200, 206, 301, 302, 304, 400, 401, 403, 404, 405, 413, 416, 429, 500};
    static const auto texts = [] {
        std::array<QString, std::size(usual)> t;
        for (size_t i = 0; i < t.size(); ++i)
            t[i] = QString::fromLatin1(reasonPhrase(usual[i]));
        return t;
    }();
    for (size_t i = 0; i < texts.size(); ++i)
        if (usual[i] == code)
            return texts[i];
    return QString::fromLatin1(reasonPhrase(code));
}

// The status line and the type line, as bytes.
QByteArray statusLineBytes(const ThttpReply &reply_, int code, bool withType)
{
    QByteArray out;
    char digits[24];
    appendParts(out, {"HTTP/1.1 ", numberText(code, digits), " "});
    appendUtf8(out, reply_.reason);
    if (withType && !reply_.contentType.isEmpty() && isHeaderSafe(reply_.contentType))
        appendParts(out, {"\r\nContent-Type: ", reply_.contentType, "\r\n"});
    else
        out.append("\r\n", 2);
    return out;
}

// What made the status line of the reply before. Replies in a row mostly
// repeat their code, phrase and type: those are checked and converted once.
struct TstatusLineMemo
{
    int code = 0;
    bool withType = false;
    QString reason;
    QByteArray contentType, line;
};

void statusLine(QByteArray &out, ThttpReply &reply_, int code, bool withType = true)
{
    static TstatusLineMemo memo;
    reply_.statusSent = code;
    const bool usual = reply_.reason.isEmpty();
    if (code == memo.code && withType == memo.withType && reply_.contentType == memo.contentType
        && (usual ? memo.reason.isSharedWith(reasonText(code)) : reply_.reason == memo.reason)) {
        reply_.reason = memo.reason;
        out.append(memo.line);
        return;
    }
    if (usual || !isHeaderSafe(QStringView(reply_.reason)))
        reply_.reason = reasonText(code);
    memo = {code, withType, reply_.reason, reply_.contentType, statusLineBytes(reply_, code, withType)};
    out.append(memo.line);
}
}

// Whether the range asked for (before it was fitted to the body) has a byte
// of a body of this size. Without a range, or with one that is ignored, it has.
bool ThttpConn::rangeSatisfiable(qint64 size) const
{
    if (reply_.resumeForbidden || (askedFirst < 0 && askedLast < 0))
        return true;
    if (askedFirst < 0)
        return askedLast > 0; // the last N bytes: N may not be 0
    if (askedLast >= 0 && askedFirst > askedLast)
        return true; // inverted: no range at all
    return askedFirst < size;
}

void ThttpConn::buildHead()
{
    // The status and length lines, then the reply's own lines.
    QByteArray h = headBuffers::take(256 + reply_.additionalHeaders.size());
    const qint64 size = bodySize();
    switch (reply_.mode) {
    case HRM_REPLY:
    case HRM_REPLY_HEADER: {
        headOnly = reply_.mode == HRM_REPLY_HEADER;
        if (!body_.isOpen()) {
            statusLine(h, reply_, 404);
            // No body follows; say so, or a persistent client would wait.
            h.append("Content-Length: 0\r\n");
            break;
        }
        if (!rangeSatisfiable(size)) {
            // Nothing of the body is sent; the client learns its size.
            unsatisfiable = true;
            headOnly = true;
            statusLine(h, reply_, 416);
            h.append("Content-Range: bytes */");
            appendNumber(h, size);
            h.append("\r\nContent-Length: 0\r\n");
            break;
        }
        if (!reply_.header.isEmpty())
            break;
        if (rangeSize() == size) {
            statusLine(h, reply_, 200);
        } else {
            statusLine(h, reply_, 206);
            h.append("Content-Range: bytes ");
            appendNumber(h, reply_.firstByte);
            h.append('-');
            appendNumber(h, reply_.lastByte);
            h.append('/');
            appendNumber(h, size);
            h.append("\r\n", 2);
        }
        char digits[24];
        appendParts(h, {"Content-Length: ", numberText(rangeSize(), digits), "\r\n"});
        break;
    }
    case HRM_UNAUTHORIZED: {
        statusLine(h, reply_, 401);
        QString realm = reply_.realm;
        if (!isHeaderSafe(QStringView(realm)))
            realm = QString::fromLatin1(ThttpReply::defaultRealm);
        realm.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
        h.append("WWW-Authenticate: Basic realm=\"" + realm.toUtf8() + "\"\r\n");
        break;
    }
    case HRM_NOT_MODIFIED:
        // No content follows, so no type either: a cache would relabel its copy.
        headOnly = true;
        statusLine(h, reply_, 304, false);
        break;
    case HRM_CLOSE:
        disconnect();
        return;
    case HRM_REDIRECT:
    case HRM_MOVED:
        if (!isHeaderSafe(QStringView(reply_.url))) {
            // A target that would split the head is refused.
            reply_.mode = HRM_INTERNAL_ERROR;
            body_.close();
            statusLine(h, reply_, 500);
            break;
        }
        statusLine(h, reply_, replyModeCode(reply_.mode));
        h.append("Location: " + reply_.url.toUtf8() + "\r\n");
        break;
    default: {
        const int code = replyModeCode(reply_.mode);
        if (code == 0 || (reply_.mode == HRM_TOO_LARGE && !refusingInput))
            return; // nothing is sent; the connection waits in HCS_REPLYING
        statusLine(h, reply_, code);
        break;
    }
    }
    if (request_.method == HM_HEAD)
        headOnly = true;
    if (reply_.header.isEmpty())
        reply_.header = h;
    sendHeader();
}

bool ThttpConn::keepsAfterReply() const
{
    // Errors, redirections and refusals close the connection after their body.
    const bool keeps = reply_.mode == HRM_REPLY || reply_.mode == HRM_REPLY_HEADER || reply_.mode == HRM_NOT_MODIFIED;
    return persistent && keeps;
}

void ThttpConn::sendHeader()
{
    state_ = HCS_REPLYING_HEADER;
    QByteArray &h = reply_.header;
    if (!h.endsWith("\r\n"_ba))
        h.append("\r\n", 2);
    if (!reply_.additionalHeaders.isEmpty()) {
        if (tls_)
            reply_.additionalHeaders = secureCookieLines(reply_.additionalHeaders);
        h.append(sanitizeHeaderLines(reply_.additionalHeaders));
        if (!h.endsWith("\r\n"_ba))
            h.append("\r\n", 2);
    }
    // A client told nothing would keep the connection and wait on it.
    if (!keepsAfterReply() && !hasHeaderLine(h, "connection"_ba))
        h.append("Connection: close\r\n");
    // What goes on the wire is the head itself with its blank line (and a
    // small file's bytes) behind it; the socket copies what it cannot send
    // at once, so the head is given back its own size afterwards.
    const qsizetype headSize = h.size();
    headLeft = headSize + 2;
    if (!sock)
        return;
    h.append("\r\n", 2);
    const bool bodyByChunks = sendHeadAndSmallBody(h);
    h.truncate(headSize);
    if (bodyByChunks)
        sendChunk(TspeedLimiter::unlimited);
}

// Sends the head `wire` (blank line included) and, when nothing holds the
// body back, the start of the body in the same system call. True when the
// body is to follow by chunks at once.
bool ThttpConn::sendHeadAndSmallBody(QByteArray &wire)
{
    if (headOnly) {
        sock->write(wire);
        return false;
    }
    startBody();
    if (state_ == HCS_REPLYING_BODY && bodyLeft() > 0 && !mustQueue()) {
        const qint64 left = reply_.lastByte + 1 - body_.pos();
        const qint64 n = qMin<qint64>(left, qint64(1) << 20);
        if (body_.kind() == ThttpBody::BK_BYTES) {
            sock->write2(wire, body_.bytes().constData() + body_.pos(), n);
            body_.advance(n);
            return false;
        }
        if (body_.kind() == ThttpBody::BK_FILE && n <= 16384) {
            const qsizetype headSize = wire.size();
            wire.resize(headSize + n);
            const qint64 got = body_.read(wire.data() + headSize, n);
            wire.resize(headSize + qMax<qint64>(0, got));
            sock->write(wire);
            if (got < n) {
                truncated = true;
                disconnect();
            }
            return false;
        }
        sock->write(wire, true);
        return true;
    }
    sock->write(wire);
    return false;
}

void ThttpConn::startBody()
{
    if (state_ != HCS_REPLYING_HEADER || headOnly)
        return;
    state_ = HCS_REPLYING_BODY;
    if ((!body_.isOpen() || body_.size() == 0) && reply_.mode != HRM_REPLY) {
        const QByteArray def = defaultBody(reply_.mode, reply_.url);
        if (!def.isEmpty()) {
            reply_.body = def;
            reply_.bodyMode = RBM_STRING;
            body_.setBytes(def);
            reply_.firstByte = 0;
            reply_.lastByte = def.size() - 1;
        }
    }
}

// On each "all sent": the next chunk, or the end of the reply.
void ThttpConn::bodyStep()
{
    if (state_ != HCS_REPLYING_HEADER && state_ != HCS_REPLYING_BODY)
        return;
    startBody();
    if (state_ == HCS_REPLYING_BODY && bodyLeft() > 0 && !truncated) {
        if (mustQueue())
            server_->enqueue(this);
        else
            sendChunk(TspeedLimiter::unlimited);
        return;
    }
    finishReply();
}

qint64 ThttpConn::sendChunk(qint64 allowance)
{
    if (!body_.isOpen() || !sock || truncated)
        return 0;
    qint64 size = qint64(speedOut_ * 1.5);
    if (size <= 0 || bodyBytesSent_ == 0)
        size = allowance;
    size = qMin<qint64>(size, 256 << 10);
    size = qMax<qint64>(size, 2048);
    size = qMin(size, allowance);
    const qint64 left = reply_.lastByte + 1 - body_.pos();
    size = qMin(size, left);
    if (size <= 0)
        return 0;
    qint64 taken = 0;
    bool ended = false;
    switch (body_.kind()) {
    case ThttpBody::BK_FILE:
        taken = sock->sendFile(body_.fileDescriptor(), body_.pos(), size, &ended);
        if (taken > 0)
            body_.advance(taken);
        break;
    case ThttpBody::BK_BYTES:
        taken = sock->write(body_.bytes().constData() + body_.pos(), size);
        if (taken > 0)
            body_.advance(taken);
        break;
    case ThttpBody::BK_DEVICE:
        taken = sendFromDevice(size, &ended);
        break;
    case ThttpBody::BK_NONE:
        break;
    }
    if (ended) {
        // The source is shorter than announced: the peer must not wait for
        // bytes that will never come.
        truncated = true;
        disconnect();
    }
    return qMax<qint64>(0, taken);
}

// Up to `size` bytes of a device body. File bytes go from the file to the
// socket without a copy; generated bytes between them (an archive's
// headers) are read and written, and the next file follows in the same
// call as long as the socket takes everything at once. A file that fell
// short leaves its missing bytes to the device's reading (zeros).
qint64 ThttpConn::sendFromDevice(qint64 size, bool *ended)
{
    TfileRegionSource *regions = body_.fileRegions();
    qint64 sent = 0;
    while (sent < size && sock->pendingBytes() == 0) {
        int fileFd;
        qint64 fileOffset, regionLength = -1;
        if (regions && regions->currentFileRegion(fileFd, fileOffset, regionLength)) {
            bool fileEnded = false;
            const qint64 ask = qMin(size - sent, regionLength);
            const qint64 n = sock->sendFile(fileFd, fileOffset, ask, &fileEnded);
            if (n < 0)
                return sent ? sent : n;
            if (n > 0) {
                regions->regionSent(n);
                body_.advance(n);
                sent += n;
            }
            if (fileEnded)
                regions->regionShort();
            else if (n < ask)
                break; // the socket is full
            continue;
        }
        qint64 want = size - sent;
        if (regionLength > 0)
            want = qMin(want, regionLength); // generated bytes up to the next region
        QByteArray chunk(want, Qt::Uninitialized);
        const qint64 got = body_.read(chunk.data(), want);
        if (got > 0) {
            // Bytes right before a region: held back to leave with it.
            const bool moreNext = regionLength > 0 && got == regionLength && sent + got < size;
            const qint64 n = sock->write(chunk.constData(), got, moreNext);
            if (n < 0)
                return sent ? sent : n;
            sent += n;
        }
        if (got < want) {
            *ended = true;
            break;
        }
        if (!regions)
            break;
    }
    return sent;
}

void ThttpConn::finishReply()
{
    const bool finished = bodyLeft() == 0 && !truncated && !unsatisfiable
        && (state_ == HCS_REPLYING_HEADER || state_ == HCS_REPLYING_BODY || state_ == HCS_DISCONNECTED);
    if (finished)
        state_ = HCS_IDLE;
    if (!keepsAfterReply())
        disconnect();
    else if (sock && sock->isConnected())
        state_ = HCS_IDLE;
    if (finished) {
        const bool wholeStream = !headOnly && body_.pos() == body_.size();
        const bool emptyBody = body_.isOpen() && body_.size() == 0;
        notify(SE_REPLIED);
        if (body_.isOpen() && (wholeStream || emptyBody)) {
            body_.close();
            notify(SE_REQUEST_COMPLETED);
        }
    }
    if (state_ == HCS_IDLE) {
        bodyBytesSent_ = 0;
        // The head and body are sent and told about: an idle connection
        // keeps no copy (a page is hundreds of kilobytes, and a busy server
        // has a connection idle between two requests for every client).
        headBuffers::giveBack(reply_.header);
        headBuffers::giveBack(reply_.additionalHeaders);
        reply_.body.clear();
        if (!buffer_.isEmpty() && !disconnecting)
            server_->pipelineSoon(this);
    }
    body_.close();
    closeIfInputEnded();
}
