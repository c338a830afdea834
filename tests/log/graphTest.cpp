// The bandwidth graph's samples and the peak that sets its scale.
#include "log/graph.h"

#include <gtest/gtest.h>

namespace {

// Feeds `n` samples of `sent` and `received` bytes each.
void feed(Tgraph &g, qint64 &sentCount, qint64 &receivedCount, int n, qint64 sent, qint64 received = 0)
{
    for (int i = 0; i < n; ++i) {
        sentCount += sent;
        receivedCount += received;
        g.sample(sentCount, receivedCount);
    }
}

} // namespace

TEST(Graph, SamplesAreTheBytesOfEachPeriodNewestFirst)
{
    Tgraph g;
    g.sample(100, 10);
    g.sample(250, 10);
    g.sample(250, 40);
    EXPECT_EQ(g.sent(0), 0);
    EXPECT_EQ(g.received(0), 30);
    EXPECT_EQ(g.sent(1), 150);
    EXPECT_EQ(g.sent(2), 100);
    EXPECT_EQ(g.received(2), 10);
    EXPECT_EQ(g.sent(3), 0);
    EXPECT_EQ(g.sent(Tgraph::samples - 1), 0);

    // The oldest drops out after the last place.
    qint64 s = 250, r = 40;
    feed(g, s, r, Tgraph::samples - 3, 1);
    EXPECT_EQ(g.sent(Tgraph::samples - 1), 100);
    feed(g, s, r, 1, 1);
    EXPECT_EQ(g.sent(Tgraph::samples - 1), 150);
}

TEST(Graph, PeakGrowsAtOnceAndShrinksOnlyAfterItsHold)
{
    Tgraph g;
    qint64 s = 0, r = 0;
    feed(g, s, r, 1, 10);
    EXPECT_EQ(g.peak(), 10);
    feed(g, s, r, 1, 0, 5000); // the larger of sent and received
    EXPECT_EQ(g.peak(), 5000);
    EXPECT_EQ(g.countdown(), Tgraph::peakHold - 1);

    // While the big sample is in the arrays, each new measure finds it again.
    feed(g, s, r, 5 * Tgraph::peakHold, 20);
    EXPECT_EQ(g.peak(), 5000);

    // Once it dropped out, the peak follows at the next measure, not before.
    feed(g, s, r, Tgraph::samples - 5 * Tgraph::peakHold - 1, 20);
    ASSERT_EQ(g.received(Tgraph::samples - 1), 5000);
    feed(g, s, r, 1, 20); // gone from the arrays
    EXPECT_EQ(g.peak(), 5000);
    const int left = g.countdown();
    ASSERT_GT(left, 1);
    feed(g, s, r, left - 1, 20);
    EXPECT_EQ(g.peak(), 5000) << "one sample before the measure";
    feed(g, s, r, 1, 20);
    EXPECT_EQ(g.peak(), 20);
    EXPECT_EQ(g.countdown(), Tgraph::peakHold);
}

TEST(Graph, ResetClearsSamplesAndPeakButNotTheCounts)
{
    Tgraph g;
    g.sample(1000, 300);
    g.reset();
    EXPECT_EQ(g.peak(), 0);
    EXPECT_EQ(g.sent(0), 0);
    EXPECT_EQ(g.received(0), 0);
    g.sample(1100, 300);
    EXPECT_EQ(g.sent(0), 100) << "only what came after the reset";
    EXPECT_EQ(g.sent(1), 0);
    // Counts that started again (a new server) give no negative sample.
    g.sample(50, 0);
    EXPECT_EQ(g.sent(0), 0);
}

TEST(Graph, TopSpeedIsThePeakPerSecond)
{
    // A sample covers graph-rate tenths of a second.
    const TtopSpeed t10 = topSpeed(125000, 10);
    EXPECT_DOUBLE_EQ(t10.kBps, 125.0);
    EXPECT_EQ(t10.kbps, 1000);
    const TtopSpeed t5 = topSpeed(125000, 5); // two samples a second: twice the speed
    EXPECT_DOUBLE_EQ(t5.kBps, 250.0);
    EXPECT_EQ(t5.kbps, 2000);
    EXPECT_EQ(topSpeedText(topSpeed(1234, 10)), QStringLiteral("1.2 kB/s    ---    10 kbps"));
    EXPECT_EQ(topSpeed(1000, 0).kBps, 0);
}
