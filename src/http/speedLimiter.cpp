#include "http/speedLimiter.h"

TspeedLimiter::TspeedLimiter(qint64 limit)
    : P_maxSpeed(limit)
{
    // A new limiter sends nothing until its first refill.
    if (availableBandwidth > limit)
        availableBandwidth = limit;
}

void TspeedLimiter::setLimit(qint64 maxSpeed)
{
    P_maxSpeed = maxSpeed;
    if (availableBandwidth > maxSpeed)
        availableBandwidth = maxSpeed;
}
