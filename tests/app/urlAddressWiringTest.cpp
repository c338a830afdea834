// The URL address as the program hands it to the tree: a link's "%ip%" and
// full URLs carry the address chosen from the options and the machine.
#include "app/services.h"
#include "app/urlAddressWiring.h"
#include "vfs/file.h"

#include <QHostAddress>

#include <gtest/gtest.h>

TEST(UrlAddressWiring, OwnAddressesAreOnesAVisitorCanUse)
{
    bool sawIpv6 = false;
    for (const QString &a : ownAddresses()) {
        const QHostAddress h(a);
        ASSERT_FALSE(h.isNull()) << a.toStdString();
        EXPECT_FALSE(h.isLoopback()) << a.toStdString();
        if (h.protocol() == QAbstractSocket::IPv6Protocol) {
            sawIpv6 = true;
            EXPECT_FALSE(h.isLinkLocal()) << a.toStdString(); // would need a zone
        } else {
            EXPECT_FALSE(sawIpv6) << "IPv4 after IPv6: " << a.toStdString();
        }
    }
}

TEST(UrlAddressWiring, LinksAndFullUrlsCarryTheChosenAddress)
{
    Tservices services;
    const Toptions saved = opts();
    Tvfs &tree = Tvfs::instance();
    const TfilePtr link = Tfile::createLink(QStringLiteral("lnk"));
    link->resource = QStringLiteral("http://%IP%:8080/x");
    ASSERT_TRUE(tree.add(link, tree.root()));
    const TfilePtr folder = Tfile::createVirtualFolder(QStringLiteral("f"));
    ASSERT_TRUE(tree.add(folder, tree.root()));

    opts().customIp = {QStringLiteral("files.example")};
    opts().ip = QStringLiteral("files.example");
    optionsToUrlAddress();
    EXPECT_EQ(link->relativeURL(false), QStringLiteral("http://files.example:8080/x"));
    EXPECT_EQ(folder->fullURL(QString()), QStringLiteral("http://files.example/f/"));

    // Listening on one address: URLs name that one.
    opts().ip.clear();
    opts().listenOn = QStringLiteral("127.0.0.1");
    reexamineUrlAddress();
    EXPECT_EQ(link->relativeURL(false), QStringLiteral("http://127.0.0.1:8080/x"));

    // Otherwise one of the machine's addresses, or the loopback one.
    opts().listenOn.clear();
    optionsToUrlAddress();
    const QString chosen = tree.settings().defaultIP;
    EXPECT_TRUE(ownAddresses().contains(chosen) || chosen == u"127.0.0.1") << chosen.toStdString();
    opts() = saved;
}
