#include "serve/perIp.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "serve/admission.h"
#include "serve/connData.h"
#include "serve/serve.h"

#include <QSet>

TperIp &TperIp::global()
{
    static TperIp t;
    return t;
}

void TperIp::setAddressLimit(Tserve &s, const QString &address, double kbPerSecond)
{
    const qint64 bytes = speedLimitBytes(kbPerSecond);
    if (address.isEmpty()) {
        opts().speedLimitIp = kbPerSecond < 0 ? -1 : kbPerSecond;
        syncLimiters(s);
        return;
    }
    if (!custom.contains(address)) {
        if (custom.size() >= maxCustomized) {
            custom.remove(order.first());
            order.removeFirst();
        }
        order.append(address);
    }
    custom.insert(address, bytes);
    // Only an address with a connection has a limiter now; others get it
    // when they connect.
    for (const ThttpConn *c : std::as_const(s.srv().conns)) {
        const TconnData *d = TconnData::of(c);
        if (d && d->address == address) {
            s.perIpLimiter(address)->setLimit(bytes);
            break;
        }
    }
}

void TperIp::clearAddressLimit(Tserve &s, const QString &address)
{
    if (!custom.remove(address))
        return;
    order.removeOne(address);
    for (const ThttpConn *c : std::as_const(s.srv().conns)) {
        const TconnData *d = TconnData::of(c);
        if (d && d->address == address) {
            s.perIpLimiter(address)->setLimit(speedLimitBytes(opts().speedLimitIp));
            break;
        }
    }
}

void TperIp::syncLimiters(Tserve &s)
{
    const qint64 common = speedLimitBytes(opts().speedLimitIp);
    const bool commonChanged = common != lastIpLimit;
    lastIpLimit = common;
    if (!commonChanged && custom.isEmpty())
        return;
    QSet<QString> done;
    for (const ThttpConn *c : std::as_const(s.srv().conns)) {
        const TconnData *d = TconnData::of(c);
        if (!d || d->address.isEmpty() || done.contains(d->address))
            continue;
        done.insert(d->address);
        const auto it = custom.constFind(d->address);
        if (it != custom.constEnd()) {
            TspeedLimiter *l = s.perIpLimiter(d->address);
            if (l->maxSpeed != *it)
                l->setLimit(*it);
        } else if (commonChanged) {
            s.perIpLimiter(d->address)->setLimit(common);
        }
    }
}

void reapplyCustomLimit(TconnData &cd)
{
    const qint64 own = TperIp::global().customLimit(cd.address);
    if (own < 0 || cd.address.isEmpty())
        return;
    if (TspeedLimiter *l = serve().perIpLimiter(cd.address))
        l->setLimit(own);
}

void setConnectionSpeedLimit(TconnData &cd, double kbPerSecond)
{
    const qint64 bytes = speedLimitBytes(kbPerSecond);
    if (!cd.limiter) {
        cd.limiter = std::make_unique<TspeedLimiter>(bytes);
        if (cd.conn) {
            cd.conn->limiters().append(cd.limiter.get());
            cd.conn->server()->limiters.append(cd.limiter.get());
        }
        return;
    }
    cd.limiter->setLimit(bytes);
}

void syncGlobalLimit(Tserve &s)
{
    const qint64 bytes = s.switches.pauseStreaming ? 0 : speedLimitBytes(opts().speedLimit);
    TspeedLimiter &g = s.globalLimiter();
    if (g.maxSpeed != bytes)
        g.setLimit(bytes);
}
