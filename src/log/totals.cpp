#include "log/totals.h"

void Ttotals::reset(qint64 sentCount, qint64 receivedCount)
{
    hits = downloads = uploads = 0;
    outOffset = offsetFor(0, sentCount);
    inOffset = offsetFor(0, receivedCount);
}
