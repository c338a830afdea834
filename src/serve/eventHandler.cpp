// The application's reaction to every event the server core reports.
#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "log/log.h"
#include "serve/connData.h"
#include "serve/dispatcher.h"
#include "serve/fileDownload.h"
#include "serve/logEvent.h"
#include "serve/logPeer.h"
#include "serve/pageReply.h"
#include "serve/serve.h"
#include "serve/trafficDump.h"
#include "util/encodings.h"
#include "util/files.h"

namespace {

// "a=b&c=d" with '+' as a space; names and values decoded as UTF-8.
void parsePostVars(const QByteArray &data, TnameValueList &out)
{
    for (const QByteArray &pair : data.split('&')) {
        if (pair.isEmpty())
            continue;
        QByteArray p = pair;
        p.replace('+', ' ');
        const qsizetype eq = p.indexOf('=');
        if (eq < 0)
            out.append(decodeURL(QByteArrayView(p)), QString());
        else
            out.append(decodeURL(QByteArrayView(p).first(eq)), decodeURL(QByteArrayView(p).sliced(eq + 1)));
    }
}

bool servedNodeDontLog(const TconnData &cd)
{
    const Tfile *f = cd.transfer.lastFile.data();
    return f && f->hasRecursive(FA_DONT_LOG);
}

} // namespace

void Tserve::runEvent(const QString &name, TconnData *cd)
{
    events().run(name, cd);
}

void Tserve::dumpTraffic(TserverEvent e, ThttpConn *conn)
{
    TconnData *cd = TconnData::of(conn);
    QByteArray data;
    if (e == SE_GOT_DATA) {
        data = conn->eventData().toByteArray();
    } else {
        bool headDone = cd ? cd->logging.dumpHeadDone : true;
        qint64 bodyDone = cd ? cd->logging.dumpBodyDone : conn->bodyBytesSent();
        data = sentSince(*conn, headDone, bodyDone);
        if (cd) {
            cd->logging.dumpHeadDone = headDone;
            cd->logging.dumpBodyDone = bodyDone;
        }
    }
    const TdumpDirection dir = e == SE_GOT_DATA ? DD_RECEIVED : DD_SENT;
    saveFile(dumpFile, dumpRecord(dir, now(), conn->address(), conn->port(), data), true);
}

void Tserve::onEvent(TserverEvent e, ThttpConn *conn)
{
    TconnData *cd = TconnData::of(conn);
    if (conn && conn->lockCount() != 1)
        add2log(QStringLiteral("please report on the forum about this message"), logPeer(conn), TlogColour::red());
    // One reading of the clock serves the whole event.
    const TdateTime at = nowCoarse();
    if (cd)
        cd->lastActivityTime = at;
    if (switches.dumpTraffic && conn && (e == SE_GOT_DATA || e == SE_BYTES_SENT))
        dumpTraffic(e, conn);
    if (!cd && (e == SE_GOT_DATA || e == SE_REQUEST))
        return;

    switch (e) {
    case SE_SERVER_START:
        onServerStart();
        break;
    case SE_SERVER_STOP:
        onServerStop();
        break;
    case SE_CONNECTED:
        onConnected(conn);
        break;
    case SE_DISCONNECTED:
        onDisconnected(cd);
        break;
    case SE_GOT_DATA:
        onGotData();
        break;
    case SE_BYTES_SENT:
        onBytesSent(cd);
        break;
    case SE_REQUESTING:
        onRequesting(cd);
        break;
    case SE_GOT_HEADER:
        onGotHeader(cd);
        break;
    case SE_REQUEST:
        onRequest(*cd);
        break;
    case SE_STREAM_READY:
        onStreamReady(conn, cd);
        break;
    case SE_REPLIED:
        onReplied(cd);
        break;
    case SE_POST_FILE_START:
    case SE_POST_FILE_DATA:
    case SE_POST_FILE_END:
    case SE_POST_END:
        onUploadEvent(e, cd);
        break;
    case SE_POST_VARS:
        onPostVars(conn, cd);
        break;
    case SE_POST_VAR:
        onPostVar(conn, cd);
        break;
    case SE_REQUEST_COMPLETED:
        onRequestCompleted(conn, cd);
        break;
    case SE_OPEN_FAILED:
        onOpenFailed(conn, cd);
        break;
    }

    // Every event renews the session; the coarse clock is plenty for an
    // expiry and spares a precise read for each of a request's events.
    if (cd && cd->credentials.session)
        cd->credentials.session->expires = at + cd->credentials.session->ttl;
    logServerEvent(e, conn);
}

void Tserve::onServerStart()
{
    runEvent(QStringLiteral("server start"), nullptr);
}

void Tserve::onServerStop()
{
    runEvent(QStringLiteral("server stop"), nullptr);
}

// A new connection gets its record, the global limiter and its admission.
void Tserve::onConnected(ThttpConn *conn)
{
    if (!conn)
        return;
    conn->setNoDelay(true);
    TconnData *cd = new TconnData(conn);
    if (!conn->limiters().contains(globalLimit.get()))
        conn->limiters().append(globalLimit.get());
    conn->setSendBuffer(32000);
    cd->address = conn->address();
    admission().decidePreReply(*cd);
    runEvent(QStringLiteral("connected"), cd);
}

// The record is freed later, by freeEnded, once nothing holds it.
void Tserve::onDisconnected(TconnData *cd)
{
    if (!cd)
        return;
    uploads().abandon(*cd);
    if (!cd->deleting) {
        cd->deleting = true;
        toFree.append(cd);
    }
    runEvent(QStringLiteral("disconnected"), cd);
}

void Tserve::onGotData()
{
    noteNetworkActivity();
}

void Tserve::onBytesSent(TconnData *cd)
{
    if (cd && cd->lastActivityTime >= cd->transfer.nextScreenUpdate)
        cd->transfer.nextScreenUpdate = cd->lastActivityTime + 0.2 * oneSecond;
    noteNetworkActivity();
}

// A new request starts on the connection: forget the previous one's input.
void Tserve::onRequesting(TconnData *cd)
{
    if (!cd)
        return;
    cd->request.urlVars.clear();
    cd->request.postVars.clear();
    cd->resetForRequest();
    cd->transfer.archivePaths.clear();
    cd->credentials.sessionBound = false;
    cd->credentials.sessionLent = false;
    cd->upload.results.clear();
}

void Tserve::onGotHeader(TconnData *cd)
{
    runEvent(QStringLiteral("got header"), cd);
}

// The whole request is in: dispatch it; the log follows what it served.
void Tserve::onRequest(TconnData &cd)
{
    cd.logging.dontLog = false;
    cd.logging.dumpHeadDone = false;
    cd.logging.dumpBodyDone = 0;
    dispatchRequest(cd);
    if (!cd.logging.dontLog)
        cd.logging.dontLog = servedNodeDontLog(cd);
}

// The reply is about to be sent; the script may still refuse it.
void Tserve::onStreamReady(ThttpConn *conn, TconnData *cd)
{
    if (!cd || !events().has(QStringLiteral("stream ready")))
        return;
    const bool hadReason = !cd->disconnectReason.isEmpty();
    runEvent(QStringLiteral("stream ready"), cd);
    if (!hadReason && !cd->disconnectReason.isEmpty()) {
        conn->reply().additionalHeaders.clear();
        replySpecialPage(*cd, QStringLiteral("deny"));
        conn->initInputStream();
    }
}

void Tserve::onReplied(TconnData *cd)
{
    if (!cd)
        return;
    if (cd->disconnectAfterReply)
        cd->disconnect(QStringLiteral("replied"));
}

// The parts of a multipart upload and its end.
void Tserve::onUploadEvent(TserverEvent e, TconnData *cd)
{
    if (cd)
        uploads().postEvent(e, *cd);
}

void Tserve::onPostVars(ThttpConn *conn, TconnData *cd)
{
    if (cd && conn->post().mode == PM_URLENCODED)
        parsePostVars(conn->post().data, cd->request.postVars);
}

// A multipart field: UTF-8 like urlencoded values (old clients' bytes in
// the code page).
void Tserve::onPostVar(ThttpConn *conn, TconnData *cd)
{
    if (cd)
        cd->request.postVars.append(conn->post().varname, bytesToText(conn->post().data));
}

void Tserve::onRequestCompleted(ThttpConn *conn, TconnData *cd)
{
    if (!cd)
        return;
    if (conn->reply().mode == HRM_REPLY
        && (cd->transfer.downloadingWhat == DW_FILE || cd->transfer.downloadingWhat == DW_ARCHIVE))
        downloadCompleted(*cd);
    runEvent(QStringLiteral("request completed"), cd);
}

void Tserve::onOpenFailed(ThttpConn *conn, TconnData *cd)
{
    if (!cd)
        return;
    cd->error = QStringLiteral("Can't open file");
    add2log(cd->error + QStringLiteral(": ") + conn->reply().bodyFile, logPeer(conn), TlogColour::red());
}
