#include "net/addressReply.h"

#include "qtPrinters.h"

#include <gtest/gtest.h>

TEST(AddressReply, MarkerAndCharacterRules)
{
    // The text after the marker's first occurrence, trimmed.
    EXPECT_EQ(addressInReply(QStringLiteral("Current IP Address: 203.0.113.7"), QStringLiteral(":")),
              QStringLiteral("203.0.113.7"));
    // Only the first occurrence counts.
    EXPECT_EQ(addressInReply(QStringLiteral("<b>!</b>x!  198.51.100.20</b>"), QStringLiteral("!")),
              QStringLiteral("<"));
    EXPECT_EQ(addressInReply(QStringLiteral("ip!198.51.100.20!"), QStringLiteral("!")),
              QStringLiteral("198.51.100.20"));
    // Without a marker the reply starts with the address.
    EXPECT_EQ(addressInReply(QStringLiteral("  \r\n8.8.4.4\r\n"), {}), QStringLiteral("8.8.4.4"));
    // A marker that does not occur leaves nothing.
    EXPECT_EQ(addressInReply(QStringLiteral("8.8.4.4"), QStringLiteral("IP=")), QString());
    // Digits and points only after the first character, 15 in all, trailing
    // points dropped.
    EXPECT_EQ(addressInReply(QStringLiteral("8.8.4.4</body>"), {}), QStringLiteral("8.8.4.4"));
    EXPECT_EQ(addressInReply(QStringLiteral("8.8.4.4. is yours"), {}), QStringLiteral("8.8.4.4"));
    EXPECT_EQ(addressInReply(QStringLiteral("123.123.123.1234567"), {}), QStringLiteral("123.123.123.123"));
    EXPECT_EQ(addressInReply(QStringLiteral("x1.2.3.4"), {}), QStringLiteral("x1.2.3.4"));
    EXPECT_EQ(addressInReply(QStringLiteral("   "), {}), QString());
}

TEST(AddressReply, OnlyPublicAddressesAreTaken)
{
    EXPECT_TRUE(isExternalAddress(QStringLiteral("203.0.113.7")));
    EXPECT_FALSE(isExternalAddress(QStringLiteral("10.0.0.1")));
    EXPECT_FALSE(isExternalAddress(QStringLiteral("192.168.1.1")));
    EXPECT_FALSE(isExternalAddress(QStringLiteral("127.0.0.1")));
    EXPECT_FALSE(isExternalAddress(QStringLiteral("1.2.3")));
    EXPECT_FALSE(isExternalAddress(QStringLiteral("x1.2.3.4")));
    EXPECT_FALSE(isExternalAddress(QString()));
}

TEST(AddressReply, ServiceEntriesAndHost)
{
    const TaddressService s = splitServiceEntry(QStringLiteral("http://a.example/ip|IP: |x"));
    EXPECT_EQ(s.url, QStringLiteral("http://a.example/ip"));
    EXPECT_EQ(s.marker, QStringLiteral("IP: |x"));
    EXPECT_EQ(splitServiceEntry(QStringLiteral("http://b.example/")).marker, QString());

    EXPECT_EQ(serviceEntries(QStringLiteral(" http://a/|!\r\nftp://b/\r\n\r\nhttps://c/|:\nhttp://d/ \n")),
              (QStringList{QStringLiteral("http://a/|!"), QStringLiteral("http://d/")}));
    EXPECT_FALSE(serviceEntries(builtInServiceList()).isEmpty());

    EXPECT_EQ(serviceHost(QStringLiteral("http://user:pw@Host.example:8080/path/x")),
              QStringLiteral("Host.example:8080"));
    EXPECT_EQ(serviceHost(QStringLiteral("HTTP://h.example")), QStringLiteral("h.example"));
    EXPECT_EQ(serviceHost(QStringLiteral("h.example/ip")), QStringLiteral("h.example"));
}

TEST(AddressReply, PickAvoidsTheLastServiceWhenItCan)
{
    const QStringList two{QStringLiteral("http://a/"), QStringLiteral("http://b/")};
    int draws = 0;
    // A generator that first offers the last one used.
    const QString pick = pickService(two, QStringLiteral("http://a/"), [&](int n) {
        EXPECT_EQ(n, 2);
        return draws++ == 0 ? 0 : 1;
    });
    EXPECT_EQ(pick, QStringLiteral("http://b/"));
    EXPECT_EQ(draws, 2);

    const QStringList one{QStringLiteral("http://a/")};
    EXPECT_EQ(pickService(one, QStringLiteral("http://a/"), [](int) { return 0; }), QStringLiteral("http://a/"));
    EXPECT_EQ(pickService({}, {}, [](int) { return 0; }), QString());
}
