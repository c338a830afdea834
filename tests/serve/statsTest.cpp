// The program's counters over the server: totals that read 0 after a reset
// while data flows, the counted events, the addresses ever connected and
// the send buffer that grows with a fast download.
#include "config/config.h"
#include "config/options.h"
#include "http/httpSrv.h"
#include "serve/serve.h"
#include "serve/trafficTotals.h"
#include "serve/transferSpeed.h"
#include "vfs/account.h"

#include <gtest/gtest.h>

namespace {

// Restores the options and the server's counts a test changed.
struct TcountersGuard
{
    Toptions saved = opts();
    qint64 sent = serve().srv().bytesSent, received = serve().srv().bytesReceived;
    ~TcountersGuard()
    {
        opts() = saved;
        serve().srv().bytesSent = sent;
        serve().srv().bytesReceived = received;
    }
};

} // namespace

TEST(Totals, ResetWhileDataFlowsThenStoredAsSentSince)
{
    TcountersGuard guard;
    ThttpSrv &srv = serve().srv();
    Tconfig c(opts(), Taccounts::global());
    c.hooks.bytesSentCount = [&] { return srv.bytesSent; };
    c.hooks.bytesReceivedCount = [&] { return srv.bytesReceived; };
    opts().hitsTotal = 9;
    opts().uploadTotal = 2;
    opts().outTotalOffset = 1000000;
    srv.bytesSent += 4000;
    srv.bytesReceived += 300;
    EXPECT_EQ(totalOut(), 1000000 + srv.bytesSent);

    resetTotals();
    EXPECT_EQ(totalOut(), 0);
    EXPECT_EQ(totalIn(), 0);
    EXPECT_EQ(opts().hitsTotal, 0);
    EXPECT_EQ(opts().uploadTotal, 0);
    srv.bytesSent += 2500; // still sending
    srv.bytesReceived += 40;
    EXPECT_EQ(totalOut(), 2500);
    EXPECT_EQ(totalIn(), 40);

    const QString text = c.getCfg();
    EXPECT_TRUE(text.contains(QStringLiteral("\r\nout-total=2500\r\nin-total=40\r\n"))) << text.toStdString();
}

TEST(Totals, ByteResetKeepsTheEventCounters)
{
    TcountersGuard guard;
    ThttpSrv &srv = serve().srv();
    opts().hitsTotal = 7;
    opts().downloadsTotal = 3;
    opts().outTotalOffset = 5000;
    opts().inTotalOffset = 600;
    srv.bytesSent += 100;
    srv.bytesReceived += 10;
    ASSERT_GT(totalOut(), 5000);

    resetByteTotals();
    EXPECT_EQ(totalOut(), 0);
    EXPECT_EQ(totalIn(), 0);
    EXPECT_EQ(opts().hitsTotal, 7);
    EXPECT_EQ(opts().downloadsTotal, 3);
    srv.bytesSent += 70;
    EXPECT_EQ(totalOut(), 70);
}

TEST(Counters, EachEventHasItsCounter)
{
    TcountersGuard guard;
    TcounterHooks h;
    opts().hitsTotal = opts().downloadsTotal = opts().uploadTotal = 0;
    h.increment(QStringLiteral("hits-total"));
    h.increment(QStringLiteral("hits-total"));
    h.increment(QStringLiteral("downloads-total"));
    h.increment(QStringLiteral("upload-total"));
    EXPECT_EQ(opts().hitsTotal, 2);
    EXPECT_EQ(opts().downloadsTotal, 1);
    EXPECT_EQ(opts().uploadTotal, 1);
}

TEST(Counters, AddressesSeenStaySortedAndUnique)
{
    TcountersGuard guard;
    TcounterHooks h;
    opts().ipsEverConnected = {QStringLiteral("10.0.0.5")};
    for (const char *a : {"192.168.1.1", "10.0.0.5", "::1", "10.0.0.10"})
        h.addressSeen(QString::fromLatin1(a));
    EXPECT_EQ(opts().ipsEverConnected, (QStringList{"10.0.0.10", "10.0.0.5", "192.168.1.1", "::1"}));
}

TEST(TransferSpeed, HighSpeedBufferOnlyGrowsWithinItsBounds)
{
    EXPECT_EQ(highSpeedSendBuffer(0, 32000), 0);
    EXPECT_EQ(highSpeedSendBuffer(60000, 32000), 0) << "not more than twice the buffer";
    EXPECT_EQ(highSpeedSendBuffer(64000.4, 32000), 0);
    EXPECT_EQ(highSpeedSendBuffer(64001, 32000), 64001);
    EXPECT_EQ(highSpeedSendBuffer(5e6, 32000), 1048576);
    EXPECT_EQ(highSpeedSendBuffer(5e6, 1048576), 0) << "already at the largest";
    EXPECT_EQ(highSpeedSendBuffer(100, 1000), 8192) << "the smallest is 8 KiB";
    EXPECT_EQ(highSpeedSendBuffer(100, 5000), 0);
}
