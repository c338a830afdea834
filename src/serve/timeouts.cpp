#include "serve/timeouts.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/admission.h"
#include "serve/connData.h"
#include "serve/perIp.h"
#include "serve/serve.h"
#include "serve/transferSpeed.h"

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

void Ttimeouts::watch(Tserve &s)
{
    noteActivity(s, clock());
}

// Ten times a second over every connection: updated in place, without
// building anything, so that thousands of idle connections cost little.
void Ttimeouts::noteActivity(Tserve &s, qint64 t)
{
    ++pass;
    for (const ThttpConn *c : std::as_const(s.srv().conns)) {
        const TconnData *d = TconnData::of(c);
        const double stamp = d ? d->lastActivityTime : 0;
        Tseen &n = seen[c];
        if (n.pass == 0 || n.activityStamp != stamp || n.bytesSent != c->bytesSent()
            || n.bytesReceived != c->bytesReceived()) {
            n.activityStamp = stamp;
            n.bytesSent = c->bytesSent();
            n.bytesReceived = c->bytesReceived();
            n.since = t;
        }
        n.pass = pass;
    }
    // Ended connections are forgotten.
    if (seen.size() > s.srv().conns.size())
        seen.removeIf([this](const auto &entry) { return entry.value().pass != pass; });
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
    noteActivity(s, t);
    followOptions(s);
    const Toptions &o = opts();
    const qint64 bufferSize = downloadBufferSize ? downloadBufferSize() : 0;
    const qint64 idleLimitMs = o.connectionsTimeout > 0 ? o.connectionsTimeout * 1000 : 0;
    const QList<ThttpConn *> conns = s.srv().conns; // closing one may change the list
    for (ThttpConn *c : conns) {
        TconnData *d = TconnData::of(c);
        if (!d)
            continue;
        if (sampleTransferSpeed(*c, *d) == TK_DOWNLOAD)
            downloadBuffer(s, *c, d->transfer.averageSpeed, bufferSize);
        if (idleLimitMs > 0 && !c->isDisconnecting() && idleTooLong(*c, t, idleLimitMs))
            d->disconnect(QStringLiteral("inactivity"));
    }

    // Nothing sent or received for too long: the program ends.
    if (o.noDownloadTimeout > 0 && t - lastNetSince >= o.noDownloadTimeout * 60000 && quit)
        quit();
}

// Limits that follow the options (changed by the options, a macro or a
// reload), the limits of customised addresses, a changed ban list, and the
// pace required of requests.
void Ttimeouts::followOptions(Tserve &s)
{
    const Toptions &o = opts();
    syncGlobalLimit(s);
    TperIp::global().syncLimiters(s);

    // A changed ban list takes effect on the connections already open.
    if (!bansKnown || o.banList != lastBans) {
        if (bansKnown)
            kickBanned(s);
        lastBans = o.banList;
        bansKnown = true;
    }

    // Requests that come too slowly: the server core closes them.
    s.srv().requestTimeoutMs = qBound<qint64>(0, o.requestTimeout, qint64(366) * 86400) * 1000;
    s.srv().minRequestRate = qMax<qint64>(0, o.requestMinRate);
}

// A download's socket buffer: the size the command line asked for ("-B",
// "-b"), else with high speed handling one that grows with the speed.
void Ttimeouts::downloadBuffer(Tserve &s, ThttpConn &c, double averageSpeed, qint64 commandLineSize)
{
    if (commandLineSize > 0) {
        c.setSendBuffer(int(qMin<qint64>(commandLineSize, 64 * 1024 * 1024)), true);
        return;
    }
    if (!s.switches.highSpeedHandling)
        return;
    if (const int size = highSpeedSendBuffer(averageSpeed, c.sendBufferSize()))
        c.setSendBuffer(size, true);
}

bool Ttimeouts::idleTooLong(const ThttpConn &c, qint64 t, qint64 limitMs) const
{
    const auto it = seen.constFind(&c);
    return it != seen.constEnd() && t - it->since >= limitMs;
}
