#include "log/speedSamples.h"

#include <algorithm>

void TspeedSamples::add(double bytesPerSecond, qint64 bytesLeft)
{
    samples[size_t(taken_ % kept)] = bytesPerSecond;
    ++taken_;
    const int present = int(std::min<qint64>(taken_, kept));
    double sum = 0;
    for (int i = 0; i < present; ++i)
        sum += samples[size_t(i)];
    average_ = sum / present;
    if (average_ > 0)
        secondsLeft_ = double(std::max<qint64>(bytesLeft, 0)) / average_;
    else
        secondsLeft_.reset();
}
