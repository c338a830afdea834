#pragma once
// A shared bandwidth allowance: bytes that may still be sent until the next
// refill. The server refills the limiters in its list once a second.

#include <QtGlobal>

class TspeedLimiter
{
public:
    static constexpr qint64 unlimited = 2147483647;

    explicit TspeedLimiter(qint64 limit = unlimited);

    // The limit becomes maxSpeed; the allowance is lowered to it, never raised.
    void setLimit(qint64 maxSpeed);
    bool isLimited() const { return P_maxSpeed < unlimited; }
    // What may be sent now: a negative balance counts as nothing.
    qint64 allowance() const { return availableBandwidth > 0 ? availableBandwidth : 0; }
    void refill() { availableBandwidth = P_maxSpeed; }
    void consume(qint64 bytes) { availableBandwidth -= bytes; }

    qint64 P_maxSpeed;
    qint64 availableBandwidth = 0;
};
