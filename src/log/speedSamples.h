#pragma once
// The speed of one transfer as the operator sees it: the mean of the last few
// once-a-second samples, and the time left at that speed.
#include <QtGlobal>

#include <array>
#include <optional>

class TspeedSamples
{
public:
    static constexpr int kept = 5;

    // A sample in bytes per second, with the bytes the transfer has left.
    void add(double bytesPerSecond, qint64 bytesLeft);
    // A new transfer starts from nothing.
    void reset() { *this = TspeedSamples(); }

    // The mean of the samples present (0 before the first).
    double average() const { return average_; }
    // Seconds left at the average speed as of the last sample; none while
    // the average is 0.
    std::optional<double> secondsLeft() const { return secondsLeft_; }
    // Samples taken since the transfer started (not only those kept).
    qint64 taken() const { return taken_; }

private:
    std::array<double, kept> samples{};
    qint64 taken_ = 0;
    double average_ = 0;
    std::optional<double> secondsLeft_;
};
