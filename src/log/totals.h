#pragma once
// The running totals: requests, downloads and uploads counted by the program,
// and the bytes out and in. The server counts its bytes from the start of the
// run; the byte totals are that count plus an offset, so a total read back
// from the options or reset to 0 needs no change to the server's counters.
#include <QtGlobal>

struct Ttotals
{
    qint64 hits = 0;
    qint64 downloads = 0;
    qint64 uploads = 0;
    qint64 outOffset = 0;
    qint64 inOffset = 0;

    qint64 out(qint64 sentCount) const { return outOffset + sentCount; }
    qint64 in(qint64 receivedCount) const { return inOffset + receivedCount; }

    // The offset under which a byte total reads `total` while the server has
    // counted `count`. At start-up the count is 0: the offset is the total.
    static qint64 offsetFor(qint64 total, qint64 count) { return total - count; }

    // Everything reads 0 from now on; the byte totals then grow with the
    // server's counts again.
    void reset(qint64 sentCount, qint64 receivedCount);
};
