// The application's reaction to every event the server core reports.
#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "log/log.h"
#include "serve/connData.h"
#include "serve/dispatcher.h"
#include "serve/fileDownload.h"
#include "serve/logPeer.h"
#include "serve/pageReply.h"
#include "serve/serve.h"
#include "serve/trafficDump.h"
#include "util/codePage.h"
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
    const Tfile *f = cd.FlastFile.data();
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
        data = conn->eventData;
    } else {
        bool headDone = cd ? cd->dumpHeadDone : true;
        qint64 bodyDone = cd ? cd->dumpBodyDone : conn->bsent_body;
        data = sentSince(*conn, headDone, bodyDone);
        if (cd) {
            cd->dumpHeadDone = headDone;
            cd->dumpBodyDone = bodyDone;
        }
    }
    const TdumpDirection dir = e == SE_GOT_DATA ? DD_RECEIVED : DD_SENT;
    saveFile(dumpFile, dumpRecord(dir, now(), conn->P_address, conn->P_port, data), true);
}

void Tserve::onEvent(TserverEvent e, ThttpConn *conn)
{
    TconnData *cd = TconnData::of(conn);
    if (conn && conn->lockCount != 1)
        add2log(QStringLiteral("please report on the forum about this message"), logPeer(conn), LK_ERROR);
    if (cd)
        cd->lastActivityTime = nowCoarse();
    if (switches.dumpTraffic && conn && (e == SE_GOT_DATA || e == SE_BYTES_SENT))
        dumpTraffic(e, conn);
    if (!cd && (e == SE_GOT_DATA || e == SE_REQUEST))
        return;
    const Toptions &o = opts();

    switch (e) {
    case SE_SERVER_START:
        if (o.logServerStart)
            add2log(QStringLiteral("Server start"));
        runEvent(QStringLiteral("server start"), nullptr);
        break;
    case SE_SERVER_STOP:
        if (o.logServerStop)
            add2log(QStringLiteral("Server stop"));
        runEvent(QStringLiteral("server stop"), nullptr);
        break;
    case SE_CONNECTED: {
        if (!conn)
            break;
        conn->setNoDelay(true);
        cd = new TconnData(conn);
        if (!conn->limiters.contains(globalLimit.get()))
            conn->limiters.append(globalLimit.get());
        conn->setSendBuffer(32000);
        cd->address = conn->P_address;
        admission().decidePreReply(*cd);
        if (o.logConnections)
            add2log(QStringLiteral("Connected"), logPeer(conn), LK_CONNECTION);
        runEvent(QStringLiteral("connected"), cd);
        break;
    }
    case SE_DISCONNECTED:
        if (!cd)
            break;
        uploads().abandon(*cd);
        if (!cd->deleting) {
            cd->deleting = true;
            toFree.append(cd);
        }
        if (o.logDisconnections)
            add2log(QStringLiteral("Disconnected") + (cd->disconnectReason.isEmpty()
                                                          ? QString()
                                                          : QStringLiteral(": ") + cd->disconnectReason),
                    logPeer(conn), LK_CONNECTION);
        runEvent(QStringLiteral("disconnected"), cd);
        break;
    case SE_GOT_DATA:
        noteNetworkActivity();
        break;
    case SE_BYTES_SENT:
        if (cd && cd->lastActivityTime >= cd->nextDloadScreenUpdate)
            cd->nextDloadScreenUpdate = cd->lastActivityTime + 0.2 * oneSecond;
        noteNetworkActivity();
        break;
    case SE_REQUESTING:
        if (cd) {
            cd->urlvars.clear();
            cd->postVars.clear();
            cd->resetForRequest();
            cd->uploadResults.clear();
        }
        break;
    case SE_GOT_HEADER:
        runEvent(QStringLiteral("got header"), cd);
        break;
    case SE_REQUEST:
        cd->dontLog = false;
        cd->dumpHeadDone = false;
        cd->dumpBodyDone = 0;
        dispatchRequest(*cd);
        if (!cd->dontLog)
            cd->dontLog = servedNodeDontLog(*cd);
        if (o.logRequests && !cd->dontLog)
            add2log(QStringLiteral("Requested ") + QString::fromLatin1(conn->request.full.left(
                                                      qMax<qsizetype>(0, conn->request.full.indexOf('\r')))),
                    logPeer(conn), LK_REQUEST);
        else if (o.logBrowsing && !cd->dontLog && cd->downloadingWhat == DW_FOLDERPAGE)
            add2log(QStringLiteral("Served folder ") + decodeURL(QByteArrayView(conn->request.url).first(qMin<qsizetype>(200, conn->request.url.size()))),
                    logPeer(conn), LK_REQUEST);
        break;
    case SE_STREAM_READY:
        if (cd && events().has(QStringLiteral("stream ready"))) {
            const bool hadReason = !cd->disconnectReason.isEmpty();
            runEvent(QStringLiteral("stream ready"), cd);
            if (!hadReason && !cd->disconnectReason.isEmpty()) {
                conn->reply.additionalHeaders.clear();
                replySpecialPage(*cd, QStringLiteral("deny"));
                conn->initInputStream();
            }
        }
        break;
    case SE_REPLIED:
        if (!cd)
            break;
        cd->lastBytesGot = 0;
        if (o.logReplies && !cd->dontLog)
            add2log(QStringLiteral("Replied ") + QString::number(replyModeCode(conn->reply.mode)), logPeer(conn), LK_REPLY);
        if (cd->disconnectAfterReply)
            cd->disconnect(QStringLiteral("replied"));
        break;
    case SE_POST_FILE_START:
    case SE_POST_FILE_DATA:
    case SE_POST_FILE_END:
        if (cd)
            uploads().postEvent(e, *cd);
        break;
    case SE_POST_VARS:
        if (cd && conn->post.mode == PM_URLENCODED)
            parsePostVars(conn->post.data, cd->postVars);
        break;
    case SE_POST_VAR:
        // UTF-8 like urlencoded values (old clients' bytes in the code page).
        if (cd)
            cd->postVars.append(conn->post.varname, bytesToText(conn->post.data));
        break;
    case SE_REQUEST_COMPLETED:
        if (!cd)
            break;
        if (conn->reply.mode == HRM_REPLY && (cd->downloadingWhat == DW_FILE || cd->downloadingWhat == DW_ARCHIVE))
            downloadCompleted(*cd);
        runEvent(QStringLiteral("request completed"), cd);
        break;
    case SE_OPEN_FAILED:
        if (cd) {
            cd->error = QStringLiteral("Can't open file");
            add2log(cd->error + QStringLiteral(": ") + conn->reply.bodyFile, logPeer(conn), LK_ERROR);
        }
        break;
    case SE_POST_END:
        if (cd)
            uploads().postEvent(e, *cd);
        break;
    }

    // Every event renews the session; the coarse clock is plenty for an
    // expiry and spares a precise read for each of a request's events.
    if (cd && cd->session)
        cd->session->expires = nowCoarse() + cd->session->ttl;
}
