// The main window over the program's services: its captions follow the
// state, the mode switch changes what the menus offer.
#include "app/services.h"
#include "qtPrinters.h"
#include "config/options.h"
#include "ui/mainWindow.h"
#include "ui/menuTable.h"

#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QStringList captions(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            out += a->text();
    return out;
}

QPushButton *buttonWithText(QWidget *w, const QString &prefix)
{
    for (QPushButton *b : w->findChildren<QPushButton *>())
        if (b->text().startsWith(prefix))
            return b;
    return nullptr;
}

} // namespace

TEST(MainWindow, CaptionsFollowTheState)
{
    Tservices services;
    opts().port = QStringLiteral("8123");
    TmainWindow w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("ZOF ~ Quillet 1.0"));
    QPushButton *port = buttonWithText(&w, QStringLiteral("Port: "));
    ASSERT_TRUE(port);
    EXPECT_EQ(port->text(), QStringLiteral("Port: 8123"));
    opts().port.clear();
    w.refreshCaptions();
    EXPECT_EQ(port->text(), QStringLiteral("Port: any"));
    EXPECT_TRUE(buttonWithText(&w, QStringLiteral("Server is currently OFF")));
}

TEST(MainWindow, ModeSwitchDecidesWhatMenusOffer)
{
    Tservices services;
    opts().easy = true;
    TmainWindow w;
    ASSERT_TRUE(buttonWithText(&w, QStringLiteral("You are in Easy mode")));

    TmenuEntry expertOnly;
    expertOnly.caption = QStringLiteral("expert thing");
    expertOnly.cls = MC_EXPERT;
    TmenuEntry easyOnly;
    easyOnly.caption = QStringLiteral("easy thing");
    easyOnly.cls = MC_EASY;
    TmenuEntry option;
    option.caption = QStringLiteral("Confirm exit");
    option.optionKey = QStringLiteral("confirm-exit");
    QMenu menu;
    bindMenu(&menu, {expertOnly, TmenuEntry::line(), easyOnly, option}, [&] { return w.expert(); });

    Q_EMIT menu.aboutToShow();
    EXPECT_EQ(captions(&menu), (QStringList{"easy thing", "Confirm exit"}));
    // An option entry shows the option and switches it.
    const bool before = opts().confirmExit;
    QAction *confirm = menu.actions().last();
    EXPECT_TRUE(confirm->isCheckable());
    EXPECT_EQ(confirm->isChecked(), before);
    confirm->trigger();
    EXPECT_EQ(opts().confirmExit, !before);

    // F5 switches the mode; the next opening follows it.
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F5);
    EXPECT_FALSE(opts().easy);
    EXPECT_TRUE(buttonWithText(&w, QStringLiteral("You are in Expert mode")));
    Q_EMIT menu.aboutToShow();
    EXPECT_EQ(captions(&menu), (QStringList{"expert thing", "Confirm exit"}));
}
