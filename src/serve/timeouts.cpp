#include "serve/timeouts.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/admission.h"
#include "serve/connData.h"
#include "serve/perIp.h"
#include "serve/serve.h"

Ttimeouts &timeouts()
{
    static Ttimeouts t;
    return t;
}

Ttimeouts::Ttimeouts()
{
    mono.start();
    clock = [this] { return mono.elapsed(); };
}

void Ttimeouts::tick(Tserve &s)
{
    const qint64 t = clock();
    noteActivity(s, t);
    if (lastSecond >= 0 && t - lastSecond < 1000)
        return;
    secondWork(s);
}

void Ttimeouts::noteActivity(Tserve &s, qint64 t)
{
    QHash<const ThttpConn *, Tseen> next;
    next.reserve(s.srv().conns.size());
    for (const ThttpConn *c : std::as_const(s.srv().conns)) {
        const TconnData *d = TconnData::of(c);
        const double stamp = d ? d->lastActivityTime : 0;
        const auto old = seen.constFind(c);
        Tseen n{stamp, c->bytesSent(), c->bytesReceived(), t};
        if (old != seen.constEnd() && old->activityStamp == stamp && old->bytesSent == c->bytesSent()
            && old->bytesReceived == c->bytesReceived())
            n.since = old->since;
        next.insert(c, n);
    }
    seen.swap(next); // ended connections are forgotten
    const double net = s.lastNetworkActivity();
    const qint64 bytes = s.srv().bytesSent + s.srv().bytesReceived;
    if (net != lastNetStamp || bytes != lastNetBytes || lastNetSince < 0) {
        lastNetStamp = net;
        lastNetBytes = bytes;
        lastNetSince = t;
    }
}

int Ttimeouts::kickBanned(Tserve &s)
{
    int kicked = 0;
    const QList<Tban> &bans = opts().banList;
    const QList<ThttpConn *> conns = s.srv().conns;
    for (ThttpConn *c : conns) {
        TconnData *d = TconnData::of(c);
        if (!d || c->isDisconnecting() || !findBan(bans, d->address))
            continue;
        d->disconnect(d->disconnectReason.isEmpty() ? QStringLiteral("kick banned") : d->disconnectReason);
        ++kicked;
    }
    return kicked;
}

void Ttimeouts::secondWork(Tserve &s)
{
    const qint64 t = clock();
    lastSecond = t;
    noteActivity(s, t);
    const Toptions &o = opts();

    // Limits that follow the options (changed by the options, a macro or a
    // reload), and the limits of customised addresses.
    syncGlobalLimit(s);
    TperIp::global().syncLimiters(s);

    // A changed ban list takes effect on the connections already open.
    if (!bansKnown || o.banList != lastBans) {
        if (bansKnown)
            kickBanned(s);
        lastBans = o.banList;
        bansKnown = true;
    }

    // Socket buffers of downloads, as the command line asked ("-B", "-b").
    const qint64 wanted = downloadBufferSize ? downloadBufferSize() : 0;
    const QList<ThttpConn *> conns = s.srv().conns;
    for (ThttpConn *c : conns) {
        const TconnData *d = TconnData::of(c);
        if (wanted > 0 && d
            && (d->transfer.downloadingWhat == DW_FILE || d->transfer.downloadingWhat == DW_ARCHIVE)
            && (c->state() == HCS_REPLYING_BODY || c->state() == HCS_REPLYING_HEADER))
            c->setSendBuffer(int(qMin<qint64>(wanted, 64 * 1024 * 1024)), true);
    }

    // Requests that come too slowly: the server core closes them.
    s.srv().requestTimeoutMs = qBound<qint64>(0, o.requestTimeout, qint64(366) * 86400) * 1000;
    s.srv().minRequestRate = qMax<qint64>(0, o.requestMinRate);

    // Idle connections.
    if (o.connectionsTimeout > 0) {
        const qint64 limit = o.connectionsTimeout * 1000;
        for (ThttpConn *c : conns) {
            TconnData *d = TconnData::of(c);
            const auto it = seen.constFind(c);
            if (!d || c->isDisconnecting() || it == seen.constEnd() || t - it->since < limit)
                continue;
            d->disconnect(QStringLiteral("inactivity"));
        }
    }

    // Nothing sent or received for too long: the program ends.
    if (o.noDownloadTimeout > 0 && t - lastNetSince >= o.noDownloadTimeout * 60000 && quit)
        quit();
}
