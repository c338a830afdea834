// The status bar's panels: made and dropped as the list changes, sized to
// their text, and their clicks.
#include "app/services.h"
#include "app/statsWiring.h"
#include "config/options.h"
#include "http/httpSrv.h"
#include "serve/serve.h"
#include "serve/trafficTotals.h"
#include "ui/mainWindow.h"
#include "ui/statusPanels.h"
#include "util/presetPrompt.h"

#include <QLabel>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TstatusValues expertValues()
{
    TstatusValues v;
    v.expert = true;
    v.connections = 3;
    v.addresses = 2;
    v.speedOut = 2500;
    v.totalOut = 5000;
    v.vfsItems = 4;
    v.vfsModified = true;
    v.banRules = 2;
    return v;
}

} // namespace

TEST(StatusPanels, FollowTheListAndFitTheirText)
{
    Tservices services;
    TmainWindow w;
    TstatusBarPanels *panels = w.statusPanels();
    ASSERT_TRUE(panels);
    // The statistics hand their panels to the window's status bar.
    ASSERT_TRUE(statusBarOutlet());
    const QList<TstatusPanel> many = statusPanels(expertValues());
    statusBarOutlet()(many);
    ASSERT_EQ(panels->shown(), many);
    for (int i = 0; i < many.size(); ++i) {
        QLabel *l = panels->label(i);
        ASSERT_TRUE(l);
        EXPECT_EQ(l->text(), many[i].text);
        EXPECT_EQ(l->width(), l->fontMetrics().horizontalAdvance(many[i].text) + 20) << many[i].text.toStdString();
    }
    TstatusValues easy = expertValues();
    easy.expert = false;
    easy.banRules = 0;
    const QList<TstatusPanel> few = statusPanels(easy);
    ASSERT_LT(few.size(), many.size());
    panels->show(few);
    EXPECT_EQ(panels->label(int(few.size())), nullptr);
    EXPECT_EQ(panels->label(0)->text(), few[0].text);
}

TEST(StatusPanels, ClicksAskAndReset)
{
    Tservices services;
    TmainWindow w;
    TstatusBarPanels *panels = w.statusPanels();
    ThttpSrv &srv = serve().srv();
    srv.bytesSent += 4000;
    srv.bytesReceived += 30;
    opts().hitsTotal = 6;
    ASSERT_GT(totalOut(), 0);
    panels->show(statusPanels(expertValues()));
    int totalIndex = -1, vfsIndex = -1;
    for (int i = 0; i < panels->shown().size(); ++i) {
        if (panels->shown()[i].kind == SP_TOTAL_OUT)
            totalIndex = i;
        if (panels->shown()[i].kind == SP_VFS)
            vfsIndex = i;
    }
    ASSERT_GE(totalIndex, 0);
    ASSERT_GE(vfsIndex, 0);

    // "No" keeps the totals.
    setPrompt(std::make_unique<TpresetPrompt>(PB_NO));
    QTest::mouseClick(panels->label(totalIndex), Qt::LeftButton);
    EXPECT_GT(totalOut(), 0);
    // "Yes" makes both byte totals read 0; the counters stay.
    setPrompt(std::make_unique<TpresetPrompt>(PB_YES));
    QTest::mouseClick(panels->label(totalIndex), Qt::LeftButton);
    EXPECT_EQ(totalOut(), 0);
    EXPECT_EQ(totalIn(), 0);
    EXPECT_EQ(opts().hitsTotal, 6);
    setPrompt(nullptr);

    // The VFS panel saves only while it says " - not saved".
    int saves = 0;
    panels->clicks.saveTree = [&] { ++saves; };
    QTest::mouseDClick(panels->label(vfsIndex), Qt::LeftButton);
    EXPECT_GE(saves, 1);
    EXPECT_FALSE(panels->click({SP_VFS, QStringLiteral("VFS: 4 items")}));
    const int before = saves;
    EXPECT_TRUE(panels->click({SP_VFS, QStringLiteral("VFS: 4 items - not saved")}));
    EXPECT_EQ(saves, before + 1);
    // "Ban rules" runs its command; a panel without one does nothing.
    int bans = 0;
    panels->clicks.bans = [&] { ++bans; };
    EXPECT_TRUE(panels->click({SP_BANS, QStringLiteral("Ban rules: 2")}));
    EXPECT_EQ(bans, 1);
    panels->clicks.bans = nullptr;
    EXPECT_FALSE(panels->click({SP_BANS, QStringLiteral("Ban rules: 2")}));
}
