#include "http/speedLimiter.h"

TspeedLimiter::TspeedLimiter(qint64 limit)
    : maxSpeed(limit)
{
    // A new limiter sends nothing until its first refill.
    if (availableBandwidth > limit)
        availableBandwidth = limit;
}

void TspeedLimiter::setLimit(qint64 limit)
{
    maxSpeed = limit;
    if (availableBandwidth > limit)
        availableBandwidth = limit;
}
