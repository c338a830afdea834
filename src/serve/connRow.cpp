#include "serve/connRow.h"

#include "http/httpConn.h"
#include "serve/connData.h"
#include "util/dateTime.h"
#include "util/format.h"

#include <QLocale>

namespace {

QString connStateName(ThttpConnState s)
{
    switch (s) {
    case HCS_IDLE: return QStringLiteral("idle");
    case HCS_REQUESTING: return QStringLiteral("requesting");
    case HCS_POSTING: return QStringLiteral("receiving");
    case HCS_REPLYING: return QStringLiteral("thinking");
    case HCS_REPLYING_HEADER: return QStringLiteral("replying");
    case HCS_REPLYING_BODY: return QStringLiteral("sending");
    case HCS_DISCONNECTED: return QStringLiteral("disconnected");
    }
    return {};
}

QString connTimeText(TdateTime t)
{
    if (t <= 0)
        return QStringLiteral("<unknown>");
    return QLocale().toString(fromDateTime(t), QLocale::ShortFormat);
}

QString connHostPart(const QString &address)
{
    return address.contains(u':') ? u'[' + address + u']' : address;
}

int connPercent(qint64 done, qint64 of)
{
    return of > 0 ? int(done * 100 / of) : 0;
}

} // namespace

bool downloadInProgress(const ThttpConn &c)
{
    const TconnData *d = TconnData::of(&c);
    if (!d || c.state() != HCS_REPLYING_BODY)
        return false;
    const ThttpBodyMode m = c.reply().bodyMode;
    const TdownloadingWhat w = d->transfer.downloadingWhat;
    return (m == RBM_FILE || m == RBM_STREAM) && (w == DW_FILE || w == DW_ARCHIVE);
}

bool uploadInProgress(const ThttpConn &c)
{
    const TconnData *d = TconnData::of(&c);
    return d && c.state() == HCS_POSTING && !d->upload.source.isEmpty();
}

QString connSpeedText(double bytesPerSecond)
{
    if (bytesPerSecond < 1)
        return QStringLiteral("-");
    return QString::number(bytesPerSecond / 1000, 'f', 1) + QStringLiteral(" kB/s");
}

TconnRow connRow(const ThttpConn &c)
{
    TconnRow r;
    const TconnData *d = TconnData::of(&c);
    const QString address = d ? d->address : c.address();
    const QString user = d ? d->user() : QString();
    r.address = (user.isEmpty() ? QString() : user + u'@') + connHostPart(address) + u':' + c.port();

    const bool down = downloadInProgress(c);
    const bool up = !down && uploadInProgress(c);
    const bool ended = c.state() == HCS_DISCONNECTED;
    r.icon = ended ? CRI_DISCONNECTED : down ? CRI_DOWNLOAD : up ? CRI_UPLOAD : CRI_CONNECTED;

    if (down && d)
        r.file = d->transfer.lastFileName;
    else if (up && d)
        r.file = d->upload.source;
    if (r.file.isEmpty())
        r.file = QStringLiteral("-");

    if (down) {
        r.status = c.isPaused() ? QStringLiteral("paused")
                                : QStringLiteral("%1 / %2 sent").arg(groupDigits(c.bodyBytesSent()), groupDigits(c.rangeSize()));
        r.progress = QString::number(connPercent(c.bodyBytesSent(), c.rangeSize())) + u'%';
        r.whole = c.bodySize();
        r.partStart = qMax<qint64>(0, c.reply().firstByte);
        r.partSize = c.rangeSize();
        r.partDone = c.bodyBytesSent();
    } else if (up) {
        r.status = QStringLiteral("%1 / %2 received").arg(groupDigits(c.postBytesReceived()), groupDigits(c.post().length));
        r.progress = QString::number(connPercent(c.postBytesReceived(), c.post().length)) + u'%';
        r.whole = r.partSize = c.post().length;
        r.partDone = c.postBytesReceived();
    } else {
        r.status = connStateName(c.state());
        if (c.state() == HCS_IDLE)
            r.status += u' ' + QString::number(c.requestCount());
    }

    double speed = d ? d->transfer.averageSpeed : 0;
    if (c.state() == HCS_POSTING)
        speed = c.speedIn();
    else if (c.state() == HCS_REPLYING_BODY)
        speed = c.speedOut();
    r.speed = connSpeedText(speed);

    if ((down || up) && d) {
        if (const auto left = d->transfer.eta.secondsLeft())
            r.timeLeft = formatDuration(*left);
    }

    if (d) {
        const QString agent = d->request.agent.isEmpty() ? QStringLiteral("<unknown>") : d->request.agent;
        r.tooltip = QStringLiteral("Connection time: %1\rLast request time: %2\rAgent: %3")
                        .arg(connTimeText(d->time), connTimeText(d->request.time), agent);
        if (c.isTls()) {
            const QString protocol = c.tlsProtocol();
            r.tooltip += QStringLiteral("\rTLS: ") + (protocol.isEmpty() ? QStringLiteral("handshake") : protocol);
        }
    }
    return r;
}
