#include "net/urlAddressCheck.h"

#include "qtPrinters.h"

#include <gtest/gtest.h>

TEST(UrlAddressCheck, CandidatesInOrderWithoutEmptiesOrRepeats)
{
    const QStringList got = urlAddressCandidates(
        QStringLiteral("Host.Example"), QStringLiteral("host.example"),
        {QStringLiteral("custom.example"), QString(), QStringLiteral("10.0.0.2")}, QStringLiteral("203.0.113.7"),
        {QStringLiteral("10.0.0.2"), QStringLiteral("fe80::1"), QStringLiteral("CUSTOM.example")});
    EXPECT_EQ(got, (QStringList{QStringLiteral("Host.Example"), QStringLiteral("custom.example"),
                                QStringLiteral("10.0.0.2"), QStringLiteral("203.0.113.7"), QStringLiteral("fe80::1")}));
    EXPECT_TRUE(urlAddressCandidates({}, {}, {}, {}, {}).isEmpty());
    EXPECT_EQ(localAddresses({QStringLiteral("10.0.0.2")}),
              (QStringList{QStringLiteral("10.0.0.2"), QStringLiteral("127.0.0.1"), QStringLiteral("::1")}));
}

TEST(UrlAddressCheck, BetterThanALocalAddress)
{
    const QString lan = QStringLiteral("192.168.1.5"), pub = QStringLiteral("198.51.100.4");
    // A public own address replaces a local one...
    EXPECT_EQ(betterUrlAddress(lan, {}, {lan, pub}), pub);
    // ... but not a custom one, nor a public or host-name one.
    EXPECT_EQ(betterUrlAddress(lan, {lan}, {lan, pub}), QString());
    EXPECT_EQ(betterUrlAddress(QStringLiteral("203.0.113.7"), {}, {lan, pub}), QString());
    EXPECT_EQ(betterUrlAddress(QStringLiteral("host.example"), {}, {lan, pub}), QString());
    // Only local own addresses: nothing for a private address...
    EXPECT_EQ(betterUrlAddress(lan, {}, {lan, QStringLiteral("10.0.0.2")}), QString());
    // ... a link-local one gives way to the first offered address, or the
    // second when it is the first.
    const QString auto1 = QStringLiteral("169.254.3.4");
    EXPECT_EQ(betterUrlAddress(auto1, {}, {lan, auto1}), lan);
    EXPECT_EQ(betterUrlAddress(auto1, {}, {auto1, lan}), lan);
    EXPECT_EQ(betterUrlAddress(auto1, {}, {auto1}), QStringLiteral("127.0.0.1"));
    EXPECT_EQ(betterUrlAddress(auto1, {}, {}), QStringLiteral("127.0.0.1"));
}
