// The macros' desktop requests done by the window: boxes, balloons, the
// clipboard.
#include "app/services.h"
#include "qtPrinters.h"
#include "ui/macroDesktop.h"
#include "ui/mainWindow.h"
#include "ui/trayIcon.h"
#include "ui/trayIcons.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

TEST(MacroDesktop, BoxesBalloonsAndClipboard)
{
    Tservices services;
    TmainWindow w;
    TtrayIcons tray(w, true);
    TwindowMacroDesktop desktop(w, tray);

    desktop.notify(QStringLiteral("backup done"), QStringLiteral("ZOF"), NI_WARNING, 3);
    const TtrayBalloon b = tray.mainIcon().lastBalloon();
    EXPECT_EQ(b.message, QStringLiteral("backup done"));
    EXPECT_EQ(b.title, QStringLiteral("ZOF"));
    EXPECT_EQ(b.timeoutMs, 3000);

    // The box offers exactly the buttons asked for; the one pressed is the answer.
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_TRUE(box);
        for (QAbstractButton *button : box->buttons())
            offered += box->standardButton(button) == QMessageBox::Yes ? QStringLiteral("yes")
                       : box->standardButton(button) == QMessageBox::No ? QStringLiteral("no")
                                                                         : QStringLiteral("other");
        box->button(QMessageBox::No)->click();
    });
    const TpromptButton answer =
        desktop.dialog({QStringLiteral("Go on?"), QStringLiteral("Question"), PB_YES | PB_NO, DI_QUESTION});
    EXPECT_EQ(answer, PB_NO);
    offered.sort();
    EXPECT_EQ(offered, (QStringList{"no", "yes"}));
    EXPECT_TRUE(w.isVisible()); // brought up for the box

    desktop.setClipboardText(QStringLiteral("copied by a macro"));
    EXPECT_EQ(desktop.clipboardText(), QStringLiteral("copied by a macro"));
}
