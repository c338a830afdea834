// The URL address chosen from the option `ip`, and the options handed to the tree.
#include "cfgFixture.h"

#include "config/urlAddress.h"
#include "vfs/vfs.h"

TEST(UrlAddress, Choice)
{
    const QStringList own = {QStringLiteral("192.168.1.20"), QStringLiteral("10.0.0.5"), QStringLiteral("fe80::1")};
    const struct { const char *ip, *preferred, *expected; } cases[] = {
        {"", "10.0.0.5", ""},                        // left to the external-address search
        {"my.host.example", "10.0.0.5", "my.host.example"}, // a custom address is used as is
        {"192.168.1.99", "10.0.0.5", "192.168.1.20"},
        {"10.0.9.9", "10.0.0.5", "10.0.0.5"},
        {"172.16.0.1", "10.0.0.5", "10.0.0.5"},      // nothing better than the preferred one
        {"fe80::2", "", "fe80::1"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(chooseUrlAddress(QString::fromLatin1(c.ip), {QStringLiteral("my.host.example")}, own,
                                   QString::fromLatin1(c.preferred)),
                  QString::fromLatin1(c.expected))
            << c.ip;
}

TEST(UrlAddress, NeverEmptyAndReachable)
{
    const QStringList lan = {QStringLiteral("192.168.1.20"), QStringLiteral("10.0.0.5")};
    const QStringList mixed = {QStringLiteral("192.168.1.20"), QStringLiteral("81.2.69.160"),
                               QStringLiteral("2001:db8::7")};
    // The first public address, else the last of the machine's.
    EXPECT_EQ(preferredLocalAddress(mixed), QStringLiteral("81.2.69.160"));
    EXPECT_EQ(preferredLocalAddress(lan), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(preferredLocalAddress({}), QString());

    const QStringList custom = {QStringLiteral("files.example")};
    const struct { const char *ip, *listenOn; QStringList own; const char *expected; } cases[] = {
        {"", "", mixed, "81.2.69.160"},             // no wish: the preferred address
        {"", "", {}, "127.0.0.1"},                  // no address at all: still a host
        {"192.168.1.9", "", mixed, "192.168.1.20"}, // the wish's nearest own address
        {" files.example ", "", {}, "files.example"},
        {"", "10.0.0.5", mixed, "10.0.0.5"},        // listening on one address: that one
        {"192.168.1.9", "10.0.0.5", mixed, "10.0.0.5"},
        {"", "0.0.0.0", lan, "10.0.0.5"},           // listening everywhere: as without
        {"", "::", mixed, "81.2.69.160"},
        {"", "not-an-address", lan, "10.0.0.5"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(urlAddressFor(QString::fromLatin1(c.ip), custom, QString::fromLatin1(c.listenOn), c.own),
                  QString::fromLatin1(c.expected))
            << c.ip << " / " << c.listenOn;
}

TEST_F(CfgFixture, ProgramConfigurationFeedsTheTree)
{
    Tvfs &tree = Tvfs::instance();
    const TvfsSettings saved = tree.settings();
    TvfsSettings s = saved;
    s.serverPort = QStringLiteral("8123");
    tree.setSettings(s);

    config->feedsTree = true;
    config->setCfg(QStringLiteral("folders-before=no\r\nhttps-url=yes\r\nencode-spaces=no"), true);
    EXPECT_FALSE(tree.settings().foldersBefore);
    EXPECT_TRUE(tree.settings().httpsUrl);
    EXPECT_FALSE(tree.settings().encodeSpaces);
    EXPECT_EQ(tree.settings().serverPort, QStringLiteral("8123")); // the server's part stays

    auto other = fresh(); // a configuration of its own leaves the tree alone
    other->config->setCfg(QStringLiteral("folders-before=yes"), true);
    EXPECT_FALSE(tree.settings().foldersBefore);
    tree.setSettings(saved);
}
