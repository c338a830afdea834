#include "serve/trafficTotals.h"

#include "config/options.h"
#include "http/httpSrv.h"
#include "serve/serve.h"

namespace {

qint64 sentCount()
{
    return serveExists() ? serve().srv().bytesSent : 0;
}

qint64 receivedCount()
{
    return serveExists() ? serve().srv().bytesReceived : 0;
}

} // namespace

Ttotals totalsOf(const Toptions &o)
{
    Ttotals t;
    t.hits = o.hitsTotal;
    t.downloads = o.downloadsTotal;
    t.uploads = o.uploadTotal;
    t.outOffset = o.outTotalOffset;
    t.inOffset = o.inTotalOffset;
    return t;
}

void storeTotals(Toptions &o, const Ttotals &t)
{
    o.hitsTotal = t.hits;
    o.downloadsTotal = t.downloads;
    o.uploadTotal = t.uploads;
    o.outTotalOffset = t.outOffset;
    o.inTotalOffset = t.inOffset;
}

qint64 totalOut()
{
    return totalsOf(opts()).out(sentCount());
}

qint64 totalIn()
{
    return totalsOf(opts()).in(receivedCount());
}

void resetTotals()
{
    Ttotals t = totalsOf(opts());
    t.reset(sentCount(), receivedCount());
    storeTotals(opts(), t);
}

void resetByteTotals()
{
    Ttotals t = totalsOf(opts());
    t.outOffset = Ttotals::offsetFor(0, sentCount());
    t.inOffset = Ttotals::offsetFor(0, receivedCount());
    storeTotals(opts(), t);
}
