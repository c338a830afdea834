// The bandwidth graph: what it draws from the samples, its captions, and
// when it is shown.
#include "app/services.h"
#include "config/options.h"
#include "log/graph.h"
#include "ui/graphView.h"
#include "ui/mainWindow.h"
#include "ui/menuTable.h"

#include <QImage>

#include <gtest/gtest.h>

TEST(GraphView, DrawsOutUnderInScaledToThePeak)
{
    Tservices services;
    Tgraph g;
    g.sample(0, 0);
    g.sample(1000, 500); // the newest sample: 1000 out, 500 in
    TgraphView v;
    v.setGraph(&g);
    v.resize(200, 40);
    const QImage img = v.render().toImage();
    const int h = img.height();
    // Column 0 is the newest sample: yellow up to half, pink above it.
    EXPECT_EQ(QColor(img.pixel(0, h - 2)), v.colours[3]);
    EXPECT_EQ(QColor(img.pixel(0, h / 4 + 1)), v.colours[2]);
    // Column 1 held nothing: background or grid only.
    const QColor empty(img.pixel(1, h - 5));
    EXPECT_TRUE(empty == v.colours[0] || empty == v.colours[1]) << empty.name().toStdString();

    // The top speed is the peak per sample taken to a second.
    opts().graphRate = 10;
    EXPECT_EQ(v.topSpeedCaption(), QStringLiteral("Top speed: 1.0 kB/s    ---    8 kbps"));
    opts().graphRate = 5; // two samples a second
    EXPECT_EQ(v.topSpeedCaption(), QStringLiteral("Top speed: 2.0 kB/s    ---    16 kbps"));
    opts().speedLimit = -1;
    EXPECT_EQ(v.limitCaption(), QString());
    opts().speedLimit = 12.5;
    EXPECT_EQ(v.limitCaption(), QStringLiteral("Limit: 12.5 kB/s"));

    v.resetGraph();
    EXPECT_EQ(g.peak(), 0);
    EXPECT_EQ(g.sent(0), 0);
}

TEST(GraphView, ShownInExpertModeOrWhenAskedFor)
{
    Tservices services;
    opts().easy = true;
    opts().graphVisible = true;
    TmainWindow w;
    w.show();
    TgraphView *g = w.graph();
    EXPECT_FALSE(g->isVisible());
    const QList<TmenuEntry> menu = w.mainMenuEntries();
    const TmenuEntry *show = findMenuEntry(menu, QStringLiteral("Show bandwidth graph"));
    ASSERT_TRUE(show);
    EXPECT_TRUE(menuEntryOffered(*show, false));

    w.setExpert(true);
    EXPECT_TRUE(g->isVisible());
    EXPECT_FALSE(menuEntryOffered(*show, true));
    w.setExpert(false);
    EXPECT_FALSE(g->isVisible());

    // Shown from the menu in easy mode, it stays across mode switches.
    triggerMenuEntry(*show);
    EXPECT_TRUE(g->isVisible());
    w.setExpert(true);
    w.setExpert(false);
    EXPECT_TRUE(g->isVisible());
    // Until hidden.
    g->hideGraph();
    EXPECT_FALSE(g->isVisible());
    w.setExpert(true);
    EXPECT_FALSE(g->isVisible());
}
