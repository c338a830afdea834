#pragma once
// The program's totals as they read now: the counters and offsets the
// options keep over the server's running byte counts.
#include "log/totals.h"

struct Toptions;

Ttotals totalsOf(const Toptions &o);
void storeTotals(Toptions &o, const Ttotals &t);

// Bytes sent and received, all runs together, since the totals were reset.
qint64 totalOut();
qint64 totalIn();

// "Reset totals": requests, downloads, uploads and both byte totals read 0,
// and the byte totals grow again from there.
void resetTotals();
// Only the byte totals read 0 (the status bar's click); the counters stay.
void resetByteTotals();
