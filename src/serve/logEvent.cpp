#include "serve/logEvent.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "log/apacheLine.h"
#include "log/log.h"
#include "log/logFile.h"
#include "serve/connData.h"
#include "serve/logPeer.h"
#include "serve/serve.h"
#include "util/dateTime.h"
#include "util/encodings.h"
#include "util/format.h"
#include "util/masks.h"

#include <QStringBuilder>

#include <cmath>

namespace {

const char *methodName(ThttpMethod m)
{
    switch (m) {
    case HM_GET: return "GET";
    case HM_POST: return "POST";
    case HM_HEAD: return "HEAD";
    default: return "UNK";
    }
}

QString decodedUrl(const ThttpConn &conn)
{
    return decodeURL(QByteArrayView(conn.request().url));
}

// The request line as received: the head up to its first line end.
QByteArray requestLineOf(const ThttpConn &conn)
{
    const QByteArray &full = conn.request().full;
    const qsizetype end = full.indexOf('\r');
    const qsizetype lf = full.indexOf('\n');
    const qsizetype cut = end < 0 ? lf : (lf < 0 ? end : qMin(end, lf));
    return cut < 0 ? full : full.left(cut);
}

// Bytes per second since `since`, rounded; 0 for no time at all.
qint64 averageSpeed(qint64 bytes, TdateTime since)
{
    const double secs = (now() - since) * secondsPerDay;
    return secs > 0 ? qint64(std::llround(double(bytes) / secs)) : 0;
}

// A traffic count of the connection reached `count`; what it grew by since
// the last event is added to the grouping, and with `logged` a line tells
// the sum at most once a second. The count runs over the connection's whole
// life: what was counted stays counted from one request to the next.
void countTraffic(qint64 count, qint64 &counted, TconnData::Logging::Grouping &g, bool logged,
                  QString (*text)(qint64), ThttpConn *conn)
{
    const qint64 grown = count - counted;
    if (grown <= 0)
        return;
    counted = count;
    if (!logged)
        return;
    g.bytes += grown;
    const TdateTime t = nowCoarse();
    if ((t - g.last) * secondsPerDay <= 1)
        return;
    add2log(text(g.bytes), logPeer(conn));
    g.bytes = 0;
    g.last = t;
}

QString gotText(qint64 n)
{
    return QStringLiteral("Got %1 bytes").arg(n);
}

QString sentText(qint64 n)
{
    return groupDigits(n) + QStringLiteral(" bytes sent");
}

// The request line of the log for a served request, and the raw head.
void logRequest(ThttpConn *conn, const Toptions &o)
{
    if (o.logRequests) {
        QString line = QStringLiteral("Requested ") + QLatin1String(methodName(conn->request().method))
            + u' ' + decodedUrl(*conn);
        const QString range = conn->getHeader("Range");
        if (!range.isEmpty())
            line += QStringLiteral("\t[") + range.mid(6) + u']';
        add2log(line, logPeer(conn));
    }
    if (o.logDumpRequest)
        add2log(QStringLiteral("Request dump\r\n") + QString::fromLatin1(conn->request().full), logPeer(conn));
}

void logReplied(ThttpConn *conn, const TconnData &cd, const Toptions &o)
{
    const ThttpReply &r = conn->reply();
    switch (r.mode) {
    case HRM_REPLY:
        if (!cd.logging.fullDownloadLogged)
            add2log(QStringLiteral("Served ") + smartSize(conn->bodyBytesSent()), logPeer(conn));
        return;
    case HRM_REPLY_HEADER:
        add2log(QStringLiteral("Served head"), logPeer(conn));
        return;
    case HRM_REDIRECT:
        add2log(QStringLiteral("Redirected to ") + r.url, logPeer(conn));
        return;
    case HRM_NOT_MODIFIED:
        add2log(QStringLiteral("Not modified, use cache"), logPeer(conn));
        return;
    default:
        if (o.logOnlyServed)
            return;
        add2log(QStringLiteral("Not served: %1 - %2").arg(replyModeCode(r.mode)).arg(QLatin1String(replyModeName(r.mode)))
                    + (cd.error.isEmpty() ? QString() : QStringLiteral(": ") + cd.error),
                logPeer(conn));
    }
}

void logUploadEnd(ThttpConn *conn, const TconnData &cd)
{
    if (!cd.upload.failure.isEmpty()) {
        add2log(QStringLiteral("Upload failed ") + cd.upload.source, logPeer(conn));
        return;
    }
    const qint64 size = conn->bytesPostedLastItem();
    add2log(QStringLiteral("Fully uploaded %1 - %2 @ %3B/s")
                .arg(cd.upload.source, smartSize(size), smartSize(averageSpeed(size, cd.transfer.started))),
            logPeer(conn));
}

void logFullDownload(ThttpConn *conn, TconnData &cd)
{
    cd.logging.fullDownloadLogged = true;
    const qint64 sent = conn->bodyBytesSent();
    // Joined in one buffer: a line per download, so no format to parse.
    const QString line = QLatin1String("Fully downloaded - ") % smartSize(sent) % QLatin1String(" @ ")
        % smartSize(averageSpeed(sent, cd.transfer.started)) % QLatin1String("B/s - ") % decodedUrl(*conn);
    add2log(line, logPeer(conn));
}

// Events about the request, not the connection, are filtered by what the
// request asked for.
bool requestFiltered(TserverEvent e, const ThttpConn &conn, const TconnData &cd, const Toptions &o)
{
    if (e == SE_CONNECTED || e == SE_DISCONNECTED || e == SE_GOT_DATA)
        return false;
    if (cd.transfer.downloadingWhat == DW_ICON && !o.logIcons)
        return true;
    if (cd.transfer.downloadingWhat == DW_FOLDERPAGE && !o.logBrowsing)
        return true;
    // Decoding is left for the URLs that may be the page: "/~progress" is
    // 10 characters, 30 when every one is percent-encoded, and holds a "~"
    // as it is or a "%".
    if (o.logProgress)
        return false;
    const QByteArray &url = conn.request().url;
    return url.size() >= 10 && url.size() <= 30 && (url[1] == '~' || url.contains('%'))
        && decodedUrl(conn) == u"/~progress";
}

// A request's access-log line is written once it completes, or when the
// connection ends before. A reply without a body to complete (HEAD, 304)
// is done when replied: its line would otherwise wait for the end of the
// connection and be lost to the next request.
bool apacheLineNow(TserverEvent e, const ThttpConn &conn)
{
    return e == SE_DISCONNECTED || e == SE_REQUEST_COMPLETED
        || (e == SE_REPLIED && (conn.request().method == HM_HEAD || conn.reply().mode == HRM_NOT_MODIFIED));
}

// The local date and time of the second `days` falls in. A busy server logs
// many requests a second: the conversion (time zone rules included) is made
// once per second, not per line.
QDateTime localSecond(TdateTime days)
{
    static qint64 cachedKey = -1;
    static QDateTime cached;
    const qint64 key = qint64(std::floor(days * secondsPerDay));
    if (key != cachedKey) {
        cachedKey = key;
        cached = fromDateTime(double(key) / secondsPerDay);
    }
    return cached;
}

// The access log's file name now for `user`, expanded once per second.
QString accessLogFileName(const QString &pattern, const QString &user)
{
    static qint64 cachedKey = -1;
    static QString cachedPattern, cachedUser, cachedName;
    const qint64 key = qint64(std::floor(nowCoarse() * secondsPerDay));
    if (key != cachedKey || pattern != cachedPattern || user != cachedUser) {
        cachedKey = key;
        cachedPattern = pattern;
        cachedUser = user;
        cachedName = expandLogFileName(pattern, localSecond(nowCoarse()), user);
    }
    return cachedName;
}

void writeApacheLine(TconnData &cd, bool atDisconnection)
{
    cd.logging.apacheLineDue = false;
    const TlogSettings &ls = logSettings();
    QByteArray line;
    appendApacheLine(line, ls.apacheFormat, apacheFacts(cd, atDisconnection));
    appendParts(line, {"\r\n"});
    appendLogLine(accessLogFileName(ls.fileName, cd.user()), line);
}

} // namespace

TapacheRequest apacheFacts(const TconnData &cd, bool atDisconnection)
{
    const ThttpConn &conn = *cd.conn;
    TapacheRequest r;
    r.address = cd.address;
    r.bodyBytes = conn.bodyBytesSent();
    r.unsentAtDisconnect = atDisconnection && conn.bodyLeft() > 0;
    r.closesAfterReply = conn.isDisconnecting() || cd.disconnectAfterReply;
    r.fileName = cd.transfer.lastFileName;
    r.method = QLatin1String(methodName(conn.request().method));
    r.port = serve().srv().port();
    r.requestLine = requestLineOf(conn);
    r.status = conn.reply().statusSent ? conn.reply().statusSent : replyModeCode(conn.reply().mode);
    r.time = localSecond(cd.request.time);
    r.user = cd.user();
    for (const TuploadResult &u : cd.upload.results)
        if (u.reason.isEmpty())
            r.uploaded << u.fn;
    r.header = [&conn](QByteArrayView name) { return conn.getHeader(name); };
    return r;
}

void logServerEvent(TserverEvent e, ThttpConn *conn)
{
    switch (e) {
    case SE_REQUESTING:
    case SE_GOT_HEADER:
    case SE_STREAM_READY:
    case SE_OPEN_FAILED:
    case SE_POST_VARS:
    case SE_POST_VAR:
    case SE_POST_FILE_DATA:
    case SE_POST_END:
        return; // never logged: spare the filters below
    default:
        break;
    }
    const Toptions &o = opts();
    TconnData *cd = TconnData::of(conn);
    if (conn && !cd)
        return;
    if (cd) {
        if (cd->logging.dontLog && e != SE_DISCONNECTED)
            return;
        if (cd->preReply == PR_BAN && !o.logBanned)
            return;
        if (requestFiltered(e, *conn, *cd, o))
            return;
        if (!o.doNotLogAddress.isEmpty() && matchAddressMask(o.doNotLogAddress, cd->address))
            return;
    }

    switch (e) {
    case SE_SERVER_START:
        if (o.logServerStart)
            add2log(QStringLiteral("Server start"));
        break;
    case SE_SERVER_STOP:
        if (o.logServerStop)
            add2log(QStringLiteral("Server stop"));
        break;
    case SE_CONNECTED:
        if (o.logConnections)
            add2log(conn->isTls() ? QStringLiteral("Connected (TLS)") : QStringLiteral("Connected"), logPeer(conn));
        break;
    case SE_DISCONNECTED:
        if (o.logDisconnections) {
            QString line = conn->isDisconnecting() ? QStringLiteral("Disconnected by server")
                                                   : QStringLiteral("Disconnected");
            if (!cd->disconnectReason.isEmpty())
                line += QStringLiteral(": ") + cd->disconnectReason;
            if (conn->totalBodyBytesSent() > 0)
                line += QStringLiteral(" - ") + sentText(conn->totalBodyBytesSent());
            add2log(line, logPeer(conn));
        }
        break;
    case SE_GOT_DATA:
        countTraffic(conn->bytesReceived(), cd->logging.lastBytesGot, cd->logging.gotGrouping,
                     o.logBytesReceived, gotText, conn);
        break;
    case SE_BYTES_SENT:
        countTraffic(conn->totalBodyBytesSent(), cd->logging.lastBytesSent, cd->logging.sentGrouping,
                     o.logBytesSent, sentText, conn);
        break;
    case SE_REQUEST: {
        const ThttpReplyMode m = conn->reply().mode;
        if (o.logOnlyServed && m != HRM_REPLY && m != HRM_REPLY_HEADER && m != HRM_REDIRECT)
            break;
        cd->logging.apacheLineDue = true;
        logRequest(conn, o);
        break;
    }
    case SE_REPLIED:
        if (o.logReplies)
            logReplied(conn, *cd, o);
        break;
    case SE_POST_FILE_START:
        if (o.logUploads && cd->upload.failure.isEmpty())
            add2log(QStringLiteral("Uploading ") + cd->upload.source, logPeer(conn));
        break;
    case SE_POST_FILE_END:
        if (o.logUploads)
            logUploadEnd(conn, *cd);
        break;
    case SE_REQUEST_COMPLETED:
        if (o.logFullDownloads && cd->transfer.countAsDownload
            && (cd->transfer.downloadingWhat == DW_FILE || cd->transfer.downloadingWhat == DW_ARCHIVE))
            logFullDownload(conn, *cd);
        break;
    default:
        break;
    }

    if (cd && cd->logging.apacheLineDue && apacheLineNow(e, *conn)) {
        const TlogSettings &ls = logSettings();
        if (!ls.fileName.isEmpty() && !ls.apacheFormat.isEmpty())
            writeApacheLine(*cd, e == SE_DISCONNECTED);
    }
}
