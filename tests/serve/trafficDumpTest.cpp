#include "serve/trafficDump.h"

#include "vfs/tlv.h"

#include <gtest/gtest.h>

TEST(TrafficDump, RecordHoldsTimeAddressPortAndData)
{
    const QByteArray data("GET / HTTP/1.1\r\n\r\n\0x", 21);
    const QByteArray rec = dumpRecord(DD_SENT, 45000.25, QStringLiteral("::1"), QStringLiteral("8080"), data);
    Ttlv t;
    t.parse(rec);
    ASSERT_EQ(t.pop(), 2);
    ASSERT_TRUE(t.down());
    double when = 0;
    ASSERT_EQ(t.pop(), 10);
    ASSERT_TRUE(t.lastDouble(when));
    EXPECT_DOUBLE_EQ(when, 45000.25);
    ASSERT_EQ(t.pop(), 11);
    EXPECT_EQ(t.lastText(), QStringLiteral("::1"));
    ASSERT_EQ(t.pop(), 12);
    EXPECT_EQ(t.lastText(), QStringLiteral("8080"));
    ASSERT_EQ(t.pop(), 13);
    EXPECT_EQ(t.lastRaw(), data);
    EXPECT_EQ(t.pop(), -1);
    EXPECT_FALSE(t.isCorrupted());

    Ttlv r;
    r.parse(dumpRecord(DD_RECEIVED, 1, QString(), QString(), QByteArray()));
    EXPECT_EQ(r.pop(), 1);
}
