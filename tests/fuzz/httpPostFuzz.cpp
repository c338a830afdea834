// Feeds arbitrary bytes to a connection as a client would send them: request
// heads, urlencoded, multipart and chunked bodies, pipelined requests. The
// bytes arrive once all together and once in pieces of varying sizes; what
// the application is told (requests, form fields, file parts and their
// sizes) and what the client receives must not depend on how the bytes
// were cut, besides there being no crash or sanitizer report.
// One exception: chunks are decoded as they arrive, so what was reported
// before a chunk turned out malformed does depend on the cut. After such a
// request nothing is compared.

#include "fuzzTools.h"

#include "http/chunkedDecoder.h"
#include "http/connTestAccess.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "util/asciiCase.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {

// What one delivery of the bytes led to.
struct Toutcome
{
    QByteArrayList events;
    QByteArray sent; // to the client, without interim "100 Continue" replies
    bool allAtOnce = false;
    qsizetype comparable = -1; // events to compare when not all of them

    qsizetype eventsToCompare() const { return comparable < 0 ? events.size() : comparable; }

    QString text() const
    {
        return QString::fromLatin1((events.join("\n") + "\n--- sent:\n" + sent).toPercentEncoding(" \n"));
    }
};

// Whether the body behind the head just read is chunked and malformed; all
// of it is in the buffer when the bytes came at once.
bool malformedChunks(const ThttpConn &c)
{
    bool chunked = false;
    for (const auto &h : c.request().headers.entries())
        chunked = chunked || (sameText(h.name, "Transfer-Encoding") && h.value.toLower().contains("chunked"));
    if (!chunked)
        return false;
    TchunkedDecoder d;
    d.start();
    QByteArray body;
    qsizetype used = 0;
    return d.feed(c.buffer(), body, &used) == TchunkedDecoder::CD_ERROR;
}

void record(Toutcome &o, TserverEvent e, ThttpConn *c)
{
    const ThttpPost &post = c->post();
    switch (e) {
    case SE_REQUESTING:
        o.events << "requesting";
        break;
    case SE_GOT_HEADER:
        o.events << "head " + c->request().full;
        if (o.allAtOnce && o.comparable < 0 && malformedChunks(*c))
            o.comparable = o.events.size();
        break;
    case SE_REQUEST: {
        const ThttpRequest &r = c->request();
        o.events << "request " + QByteArray::number(r.method) + ' ' + r.url + ' ' + r.ver + ' '
                + QByteArray::number(r.firstByte) + '-' + QByteArray::number(r.lastByte);
        c->reply().mode = r.method == HM_HEAD ? HRM_REPLY_HEADER : HRM_REPLY;
        c->reply().body = "reply to " + r.url;
        break;
    }
    case SE_POST_VARS:
        o.events << "vars " + post.data;
        break;
    case SE_POST_VAR:
        o.events << "var " + post.varname.toUtf8() + '=' + post.data;
        break;
    case SE_POST_FILE_START:
        o.events << "file " + post.filename.toUtf8() + " in " + post.varname.toUtf8() + ": ";
        break;
    case SE_POST_FILE_DATA:
        // The pieces of a file are cut where the bytes were: only their sum counts.
        if (o.events.isEmpty() || !o.events.last().startsWith("file "))
            o.events << "file data without a start: ";
        o.events.last() += post.data;
        break;
    case SE_POST_FILE_END:
        o.events << "file end, " + QByteArray::number(c->bytesPostedLastItem()) + " bytes";
        break;
    case SE_POST_END:
        o.events << "post end";
        break;
    case SE_REPLIED:
        o.events << "replied";
        break;
    default:
        break;
    }
}

void readPeer(int fd, QByteArray &into)
{
    char buf[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0)
            return;
        into.append(buf, n);
    }
}

// Does what the event loop would do between two reads: ends the reply once
// the socket has sent it, then starts the next pipelined request.
void settle(ThttpConn &c)
{
    for (int round = 0; round < 1000; ++round) {
        const ThttpConnState s = c.state();
        if (s == HCS_REPLYING_HEADER || s == HCS_REPLYING_BODY)
            ThttpConnTestAccess::allSent(c);
        else if (s == HCS_IDLE && !c.buffer().isEmpty() && !c.isDisconnecting())
            c.processInput();
        else
            return;
    }
}

// Sizes of the pieces: the same for the same input, varying from 1 to 16.
QList<qsizetype> pieceSizes(qsizetype total)
{
    QList<qsizetype> sizes;
    quint32 x = quint32(total) * 2654435761u + 1;
    for (qsizetype done = 0; done < total;) {
        x = x * 1103515245u + 12345u;
        const qsizetype n = qMin<qsizetype>(1 + (x >> 16) % 16, total - done);
        sizes << n;
        done += n;
    }
    return sizes;
}

Toutcome deliver(ThttpSrv &srv, const QByteArray &all, const QList<qsizetype> &pieces)
{
    Toutcome o;
    o.allAtOnce = pieces.size() == 1;
    int fds[2];
    fuzzCheck(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) == 0, "socketpair");
    srv.onEvent = [&o](TserverEvent e, ThttpConn *c) { record(o, e, c); };
    auto *c = new ThttpConn(&srv, fds[0]);
    qsizetype at = 0;
    for (qsizetype n : pieces) {
        ThttpConnTestAccess::receive(*c, QByteArrayView(all).sliced(at, n));
        at += n;
        settle(*c);
        readPeer(fds[1], o.sent);
    }
    o.events << "ends in state " + QByteArray::number(c->state());
    ThttpConn::free(c);
    srv.onEvent = nullptr;
    ::close(fds[1]);
    o.sent.replace("HTTP/1.1 100 Continue\r\n\r\n", "");
    return o;
}

ThttpSrv &server()
{
    ensureCoreApplication();
    static ThttpSrv srv;
    static const bool once = [] {
        // Connections are freed here, not by the timer, which never runs.
        srv.autoFree = false;
        srv.timer.stop();
        return true;
    }();
    (void)once;
    return srv;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    ThttpSrv &srv = server();
    const QByteArray all = fuzzBytes(data, size);
    if (all.isEmpty())
        return 0;
    const Toutcome whole = deliver(srv, all, {all.size()});
    const Toutcome pieces = deliver(srv, all, pieceSizes(all.size()));
    const qsizetype n = whole.eventsToCompare();
    const bool same = whole.comparable < 0 ? whole.events == pieces.events && whole.sent == pieces.sent
                                           : whole.events.mid(0, n) == pieces.events.mid(0, n);
    fuzzCheck(same,
              "the same bytes cut differently give the same requests and replies",
              QStringLiteral("all at once:\n%1\nin pieces:\n%2").arg(whole.text(), pieces.text()));
    return 0;
}
