// The status bar's panels and the tray icon's number, from plain values.
#include "log/statusPanels.h"

#include <gtest/gtest.h>

#include <QLocale>

namespace {

QStringList texts(const QList<TstatusPanel> &panels)
{
    QStringList out;
    for (const TstatusPanel &p : panels)
        out << p.text;
    return out;
}

TstatusValues busy()
{
    TstatusValues v;
    v.connections = 5;
    v.addresses = 2;
    v.speedOut = 123456;
    v.speedIn = 60;
    v.totalOut = 3 * 1048576 + 524288;
    v.totalIn = 1000;
    v.vfsItems = 42;
    return v;
}

} // namespace

TEST(StatusPanels, ExpertModeShowsCountsAndTotals)
{
    TstatusValues v = busy();
    v.expert = true;
    EXPECT_EQ(texts(statusPanels(v)), (QStringList{"Connections: 5 / 2", "Out: 123.5 KB/s", "In: 0.1 KB/s",
                                                   "Total Out: 3.5 M", "Total In: 1000", "VFS: 42 items"}));
    v.addresses = 5; // as many addresses as connections: not repeated
    v.vfsModified = true;
    const QList<TstatusPanel> p = statusPanels(v);
    EXPECT_EQ(p[0].text, QStringLiteral("Connections: 5"));
    EXPECT_EQ(p[5].text, QStringLiteral("VFS: 42 items - not saved"));
    EXPECT_EQ(p[5].kind, SP_VFS);
    EXPECT_EQ(p[3].kind, SP_TOTAL_OUT);
}

TEST(StatusPanels, EasyModeShowsSpeedsConditionalPanelsAndTheMessage)
{
    QLocale::setDefault(QLocale::c());
    TstatusValues v = busy();
    EXPECT_EQ(texts(statusPanels(v)), (QStringList{"Out: 123.5 KB/s", "In: 0.1 KB/s"}));
    v.outOfSpace = QStringList{QStringLiteral("/srv"), QStringLiteral("/home")};
    v.showMemory = true;
    v.memoryBytes = 12345678;
    v.banRules = 3;
    v.customizedTemplate = true;
    v.message = QStringLiteral("Clean start");
    const QList<TstatusPanel> p = statusPanels(v);
    EXPECT_EQ(texts(p), (QStringList{"Out: 123.5 KB/s", "In: 0.1 KB/s", "Out of space: /srv,/home", "Mem: 12,345,678",
                                     "Ban rules: 3", "Customized template", "Clean start"}));
    EXPECT_EQ(p.last().kind, SP_MESSAGE);
    EXPECT_EQ(p[2].kind, SP_OUT_OF_SPACE);
    QLocale::setDefault(QLocale::system());
}

TEST(StatusPanels, TrayCounterFollowsTrayShows)
{
    const TtrayCounts c{1, 2, 3, 4, 5, 6};
    EXPECT_EQ(trayCounterText(QStringLiteral("connections"), c), QStringLiteral("1"));
    EXPECT_EQ(trayCounterText(QStringLiteral("downloads"), c), QStringLiteral("2"));
    EXPECT_EQ(trayCounterText(QStringLiteral("uploads"), c), QStringLiteral("3"));
    EXPECT_EQ(trayCounterText(QStringLiteral("hits"), c), QStringLiteral("4"));
    EXPECT_EQ(trayCounterText(QStringLiteral("ips"), c), QStringLiteral("5"));
    EXPECT_EQ(trayCounterText(QStringLiteral("ips-ever"), c), QStringLiteral("6"));
    EXPECT_EQ(trayCounterText(QStringLiteral("IPS"), c), QString());
}
