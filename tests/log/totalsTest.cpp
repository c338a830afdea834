// The totals over the server's running byte counts.
#include "log/totals.h"

#include <gtest/gtest.h>

TEST(Totals, ByteTotalsAreTheCountPlusTheOffset)
{
    Ttotals t;
    t.outOffset = Ttotals::offsetFor(5000, 0); // read back at start-up
    EXPECT_EQ(t.outOffset, 5000);
    EXPECT_EQ(t.out(0), 5000);
    EXPECT_EQ(t.out(1200), 6200);
    // Read back later in the run: the total reads the stored value at once.
    t.inOffset = Ttotals::offsetFor(700, 300);
    EXPECT_EQ(t.in(300), 700);
    EXPECT_EQ(t.in(310), 710);
}

TEST(Totals, ResetWhileDataFlowsStartsFromZero)
{
    Ttotals t{12, 3, 4, 100000, 2000};
    qint64 sent = 4096, received = 512;
    t.reset(sent, received);
    EXPECT_EQ(t.hits, 0);
    EXPECT_EQ(t.downloads, 0);
    EXPECT_EQ(t.uploads, 0);
    EXPECT_EQ(t.out(sent), 0);
    EXPECT_EQ(t.in(received), 0);
    sent += 1500;
    received += 20;
    EXPECT_EQ(t.out(sent), 1500);
    EXPECT_EQ(t.in(received), 20);
    // Stored and read back at a later start (count 0 again): what was sent
    // since the reset.
    Ttotals next;
    next.outOffset = Ttotals::offsetFor(t.out(sent), 0);
    EXPECT_EQ(next.out(0), 1500);
}
