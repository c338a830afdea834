#include "log/graph.h"

#include <algorithm>
#include <cmath>

void Tgraph::sample(qint64 sentCount, qint64 receivedCount)
{
    // The counts only grow; a smaller one means they started again.
    const qint64 s = qMax<qint64>(0, sentCount - lastSent);
    const qint64 r = qMax<qint64>(0, receivedCount - lastReceived);
    lastSent = sentCount;
    lastReceived = receivedCount;

    front = (front + samples - 1) % samples; // the oldest place becomes the newest
    sent_[size_t(front)] = s;
    received_[size_t(front)] = r;

    const qint64 newest = qMax(s, r);
    if (newest > peak_) {
        peak_ = newest;
        countdown_ = peakHold;
    }
    if (--countdown_ <= 0) {
        peak_ = qMax(*std::max_element(sent_.cbegin(), sent_.cend()),
                     *std::max_element(received_.cbegin(), received_.cend()));
        countdown_ = peakHold;
    }
}

void Tgraph::reset()
{
    sent_.fill(0);
    received_.fill(0);
    front = 0;
    peak_ = 0;
    countdown_ = peakHold;
}

TtopSpeed topSpeed(qint64 peak, qint64 graphRate)
{
    TtopSpeed t;
    if (graphRate <= 0)
        return t;
    t.kBps = double(peak) * (10.0 / double(graphRate)) / 1000.0;
    t.kbps = std::llround(t.kBps * 8);
    return t;
}

QString topSpeedText(const TtopSpeed &t)
{
    return QString::number(t.kBps, 'f', 1) + QStringLiteral(" kB/s    ---    ") + QString::number(t.kbps)
        + QStringLiteral(" kbps");
}
