#pragma once
// The bandwidth graph's data: bytes sent and received per sample period,
// newest first, and the peak that sets the scale. The scale grows at once
// and shrinks at most every `peakHold` samples, so a quiet moment does not
// make the picture jump. Drawing is the window's business.
#include <QString>
#include <QtGlobal>

#include <array>

class Tgraph
{
public:
    static constexpr int samples = 3001;
    static constexpr int peakHold = 100;

    // One sample from the server's running byte counts: what was sent and
    // received since the previous sample goes in front, the oldest drops out.
    void sample(qint64 sentCount, qint64 receivedCount);
    // Clears the samples and the peak (the counts go on from where they are).
    void reset();

    // Sample `i`, 0 the newest.
    qint64 sent(int i) const { return sent_[index(i)]; }
    qint64 received(int i) const { return received_[index(i)]; }
    qint64 peak() const { return peak_; }
    // Samples left before the peak is measured again.
    int countdown() const { return countdown_; }

private:
    size_t index(int i) const { return size_t((front + i) % samples); }

    std::array<qint64, samples> sent_{};
    std::array<qint64, samples> received_{};
    int front = 0;
    qint64 peak_ = 0;
    int countdown_ = peakHold;
    qint64 lastSent = 0, lastReceived = 0;
};

// The "Top speed" caption: the peak per sample taken to a second (a sample
// covers `graphRate` tenths of a second), in kB/s and in kbps.
struct TtopSpeed
{
    double kBps = 0;
    qint64 kbps = 0;
};
TtopSpeed topSpeed(qint64 peak, qint64 graphRate);
// "%.1f kB/s    ---    %d kbps"
QString topSpeedText(const TtopSpeed &t);
