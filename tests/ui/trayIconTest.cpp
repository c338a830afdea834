// The tray: the tip's symbols over the program's state, balloons cut to the
// desktop's limits, the main icon hiding the window, one icon per download
// that goes when the file is sent, and the tray menu as a picture.
#include "dialogTestTools.h"
#include "app/services.h"
#include "app/trayTip.h"
#include "config/options.h"
#include "config/version.h"
#include "http/httpSrv.h"
#include "http/speedLimiter.h"
#include "log/log.h"
#include "serve/serve.h"
#include "ui/mainWindow.h"
#include "ui/trayIcon.h"
#include "ui/trayIcons.h"
#include "vfs/file.h"
#include "vfs/treeAdd.h"
#include "vfs/vfs.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMenu>
#include <QSet>
#include <QSystemTrayIcon>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

namespace {

TtrayTipValues sampleTipValues()
{
    TtrayTipValues v;
    v.listening = true;
    v.uptimeSeconds = 26 * 3600;
    v.url = QStringLiteral("http://10.0.0.2:8080/");
    v.ip = QStringLiteral("10.0.0.2");
    v.port = QStringLiteral("8080");
    v.hits = 12;
    v.downloads = 3;
    v.uploads = 1;
    v.version = QStringLiteral("9.9");
    v.build = QStringLiteral("77");
    return v;
}

} // namespace

TEST(TrayTip, EverySymbolReplacedWhereverItOccurs)
{
    const TtrayTipValues v = sampleTipValues();
    EXPECT_EQ(trayTipText(QStringLiteral("%ip%:%port% %ip% up %uptime%"), v),
              QStringLiteral("10.0.0.2:8080 10.0.0.2 up (1 days) 02:00:00"));
    EXPECT_EQ(trayTipText(QStringLiteral("%url%|%hits%|%downloads%|%uploads%|%version%|%build%"), v),
              QStringLiteral("http://10.0.0.2:8080/|12|3|1|9.9|77"));
    // Less than a day: no day count; not listening: the server is down.
    TtrayTipValues w = v;
    w.uptimeSeconds = 3 * 3600 + 4 * 60 + 5;
    EXPECT_EQ(trayTipText(QStringLiteral("%uptime%"), w), QStringLiteral("03:04:05"));
    w.listening = false;
    EXPECT_EQ(trayTipText(QStringLiteral("%uptime%"), w), QStringLiteral("server down"));
    // Unknown symbols and the ampersand stay as written.
    EXPECT_EQ(trayTipText(QStringLiteral("a & b %nothing%"), v), QStringLiteral("a & b %nothing%"));
}

TEST(TrayTip, FromTheProgramsStateWithTheOptionsTemplate)
{
    Tservices services;
    opts().trayMessage = QStringLiteral("%ip%\rUptime: %uptime%\rDownloads: %downloads%");
    opts().downloadsTotal = 5;
    opts().hitsTotal = 9;
    const QString tip = trayTipNow();
    const QStringList lines = tip.split(u'\r');
    ASSERT_EQ(lines.size(), 3) << tip.toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("Uptime: server down"));
    EXPECT_EQ(lines[2], QStringLiteral("Downloads: 5"));
    EXPECT_EQ(trayTipNow(QStringLiteral("%hits% %version%")), QStringLiteral("9 ") + zofVersion());
    EXPECT_EQ(trayCountsNow().hits, 9);

    // The icon shows lines as line feeds, an ampersand as one ampersand.
    TtrayIcon icon;
    EXPECT_TRUE(icon.setTip(QStringLiteral("Tom & Jerry\rline 2")));
    EXPECT_EQ(icon.tip(), QStringLiteral("Tom & Jerry\nline 2"));
    EXPECT_FALSE(icon.setTip(QStringLiteral("Tom & Jerry\rline 2"))); // unchanged
    EXPECT_TRUE(icon.setTip(QString(400, u'x')));
    EXPECT_EQ(icon.tip().size(), trayTipLimit);
}

TEST(TrayBalloon, CutToTheLimitsWithTheTimeoutInMilliseconds)
{
    TtrayIcon icon;
    const QString longMessage = QString(600, u'm') + QStringLiteral("END");
    const QString longTitle = QString(200, u't');
    const TtrayBalloon b = icon.balloon(longMessage, 2.5, TM_WARNING, longTitle);
    EXPECT_EQ(b.message, QString(511, u'm'));
    EXPECT_EQ(b.title, QString(127, u't'));
    EXPECT_EQ(b.timeoutMs, 2500);
    EXPECT_EQ(icon.lastBalloon().message.size(), 511);
    // Short texts pass whole; a fraction of a millisecond rounds.
    const TtrayBalloon s = icon.balloon(QStringLiteral("hi"), 0.0004, TM_NONE, QStringLiteral("T"));
    EXPECT_EQ(s.message, QStringLiteral("hi"));
    EXPECT_EQ(s.title, QStringLiteral("T"));
    EXPECT_EQ(s.timeoutMs, 0);
    EXPECT_EQ(trayBalloon(QStringLiteral("x"), 1.0006, {}).timeoutMs, 1001);
}

TEST(TrayDownloadIcon, TipAndPercentage)
{
    EXPECT_EQ(downloadTipText(QStringLiteral("film.mkv"), 123456, 1234567, QStringLiteral("10.1.1.1")),
              QStringLiteral("film.mkv\n123.5 kB/s\n1,234,567 bytes sent\n10.1.1.1"));
    EXPECT_EQ(downloadPercent(999, 1000), 99); // truncated, not rounded
    EXPECT_EQ(downloadPercent(1000, 1000), 100);
    EXPECT_EQ(downloadPercent(5, 0), 0);
    EXPECT_EQ(downloadPercent(1, 3), 33);
}

TEST(TrayMainIcon, HidesTheWindowAndComesBack)
{
    Tservices services;
    opts().showMainTrayIcon = false;
    opts().trayShows = QStringLiteral("hits");
    opts().hitsTotal = 7;
    TmainWindow w;
    w.show();
    TtrayIcons tray(w, true);
    tray.refreshMain();
    EXPECT_FALSE(tray.mainIcon().shown());
    const qint64 sevenKey = tray.mainIcon().picture().cacheKey();
    tray.refreshMain();
    EXPECT_EQ(tray.mainIcon().picture().cacheKey(), sevenKey); // counter unchanged: not redrawn
    opts().hitsTotal = 8;
    tray.refreshMain();
    EXPECT_NE(tray.mainIcon().picture().pixmap(32, 32).toImage(),
              trayCounterPicture(QStringLiteral("7"), programPicture()).pixmap(32, 32).toImage());
    EXPECT_EQ(tray.mainIcon().picture().pixmap(32, 32).toImage(),
              trayCounterPicture(QStringLiteral("8"), programPicture()).pixmap(32, 32).toImage());

    tray.minimizeToTray();
    EXPECT_TRUE(tray.hiddenInTray());
    EXPECT_TRUE(tray.mainIcon().shown());
    EXPECT_FALSE(w.isVisible());
    tray.mainIcon().platform().activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(tray.hiddenInTray());
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(tray.mainIcon().shown()); // the option keeps it hidden

    // The close button hides into the tray with tray-instead-of-quit; a
    // close from the program (Exit) still closes.
    opts().trayInsteadOfQuit = true;
    QCloseEvent byUser;
    QSpontaneKeyEvent::setSpontaneous(&byUser);
    QCoreApplication::instance()->notify(&w, &byUser); // as the desktop delivers it
    EXPECT_TRUE(tray.hiddenInTray());
    EXPECT_FALSE(w.isVisible());
    tray.restore();
    opts().showMainTrayIcon = true;
    tray.refreshMain();
    EXPECT_TRUE(tray.mainIcon().shown());
    opts().trayInsteadOfQuit = false;
    opts().showMainTrayIcon = false;
}

TEST(TrayMainIcon, WithoutANotificationAreaTheWindowMinimizes)
{
    Tservices services;
    opts().trayInsteadOfQuit = true;
    opts().showMainTrayIcon = true;
    TmainWindow w;
    w.show();
    TtrayIcons tray(w, false);
    tray.refreshMain();
    EXPECT_FALSE(tray.mainIcon().shown());
    tray.minimizeToTray();
    EXPECT_FALSE(tray.hiddenInTray());
    EXPECT_TRUE(w.isMinimized());
    // The close button is not turned into hiding: the window asks to quit.
    QCloseEvent byUser;
    QSpontaneKeyEvent::setSpontaneous(&byUser);
    QCoreApplication::instance()->notify(&w, &byUser); // as the desktop delivers it
    EXPECT_FALSE(tray.hiddenInTray());
    opts().trayInsteadOfQuit = false;
    opts().showMainTrayIcon = false;
}

TEST(TrayDownloadIcon, OneIconPerDownloadGoneWhenTheFileIsSent)
{
    setLogToStderr(false);
    QTemporaryDir dir;
    Tservices services;
    opts().port = QStringLiteral("0");
    opts().listenOn = QStringLiteral("127.0.0.1");
    opts().banList.clear();
    opts().trayIconForEachDownload = true;
    QFile f(dir.filePath(QStringLiteral("big.bin")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(400000, 'z'));
    f.close();
    TtreeAdder(Tvfs::instance()).addFile(Tfile::create(f.fileName()), Tvfs::instance().root(), true);
    ASSERT_TRUE(serve().startServer());
    TmainWindow w;
    TtrayIcons tray(w, true);

    serve().globalLimiter().setLimit(100000);
    QTcpSocket client;
    client.connectToHost(QStringLiteral("127.0.0.1"), serve().listeningPort().toUShort());
    ASSERT_TRUE(client.waitForConnected(3000));
    client.write("GET /big.bin HTTP/1.1\r\nHost: t\r\n\r\n");
    qint64 got = 0;
    QObject::connect(&client, &QTcpSocket::readyRead, [&] { got += client.readAll().size(); });

    ASSERT_TRUE(QTest::qWaitFor([&] {
        tray.refreshDownloads();
        return tray.downloadIconCount() == 1;
    }, 5000));
    ThttpConn *conn = serve().srv().conns.first();
    TtrayIcon *icon = tray.downloadIcon(conn);
    ASSERT_TRUE(icon);
    EXPECT_TRUE(icon->shown());
    const QStringList tip = icon->tip().split(u'\n');
    ASSERT_EQ(tip.size(), 4) << icon->tip().toStdString();
    EXPECT_EQ(tip[0], QStringLiteral("big.bin"));
    EXPECT_TRUE(tip[1].endsWith(QStringLiteral(" kB/s")));
    EXPECT_TRUE(tip[2].endsWith(QStringLiteral(" bytes sent")));
    EXPECT_EQ(tip[3], QStringLiteral("127.0.0.1"));

    // With the option off the icon hides but the download goes on.
    opts().trayIconForEachDownload = false;
    tray.refreshDownloads();
    EXPECT_FALSE(icon->shown());
    opts().trayIconForEachDownload = true;
    tray.refreshDownloads();
    EXPECT_TRUE(icon->shown());

    // Sent to the end: the icon goes while the connection stays open.
    serve().globalLimiter().setLimit(TspeedLimiter::unlimited);
    serve().globalLimiter().refill();
    ASSERT_TRUE(QTest::qWaitFor([&] { return got >= 400000; }, 5000));
    tray.refreshDownloads();
    EXPECT_EQ(tray.downloadIconCount(), 0);
    EXPECT_EQ(client.state(), QAbstractSocket::ConnectedState);
    setLogToStderr(true);
}

TEST(TrayMenu, PictureOfTheMenuBesideTheTestOutput)
{
    Tservices services;
    TmainWindow w;
    TtrayIcons tray(w, true);
    QMenu *menu = tray.mainMenu();
    ASSERT_TRUE(menu);
    EXPECT_EQ(tray.mainIcon().platform().contextMenu(), menu);
    menu->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 2000));
    QStringList texts;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            texts += a->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Exit"))) << texts.join(u'|').toStdString();
    const QImage shot = menu->grab().toImage();
    menu->hide();
    ASSERT_FALSE(shot.isNull());
    // Drawn entries, not an empty frame: text and background colours.
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            colours.insert(shot.pixel(x, y));
    EXPECT_GT(colours.size(), 2);
    const QString file = screenshotDir() + QStringLiteral("/trayMenu.png");
    ASSERT_TRUE(shot.save(file));
    EXPECT_GT(QFileInfo(file).size(), 0);
}
