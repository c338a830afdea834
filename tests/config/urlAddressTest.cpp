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
