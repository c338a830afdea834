#include "ui/trayIcons.h"

#include "app/program.h"
#include "config/options.h"
#include "http/httpConn.h"
#include "http/httpSrv.h"
#include "serve/serve.h"
#include "ui/connectionMenu.h"
#include "ui/connectionsView.h"
#include "ui/mainWindow.h"
#include "ui/menuTable.h"

#include <QCloseEvent>
#include <QCursor>
#include <QMenu>
#include <QSet>
#include <QSystemTrayIcon>
#include <QTimer>

namespace {

bool programClosing()
{
    const Tprogram *p = Tprogram::instance();
    return p && (p->closing() || p->quitRequested());
}

} // namespace

TtrayIcons::TtrayIcons(TmainWindow &w, bool trayAvailable)
    : QObject(&w), window(w), trayOk(trayAvailable), main(new TtrayIcon(this)), basePicture(programPicture())
{
    main->setPicture(basePicture);
    main->platform().setContextMenu(window.mainMenu());
    main->onEvent = [this](TtrayIcon &, TtrayEvent e) { onMainEvent(e); };
    window.installEventFilter(this);
}

TtrayIcons::~TtrayIcons()
{
    window.removeEventFilter(this);
    main->platform().setContextMenu(nullptr);
}

QMenu *TtrayIcons::mainMenu() const
{
    return window.mainMenu();
}

void TtrayIcons::refreshMain()
{
    const QString counter = trayCounterText(opts().trayShows, trayCountsNow());
    if (counter != counterShown || main->picture().isNull()) {
        counterShown = counter;
        main->setPicture(trayCounterPicture(counter, basePicture));
    }
    main->setTip(trayTipNow());
    const bool wanted = trayOk && (opts().showMainTrayIcon || inTray);
    if (wanted != main->shown())
        wanted ? main->show() : main->hide();
}

void TtrayIcons::minimizeToTray()
{
    if (!trayOk) {
        window.showMinimized();
        return;
    }
    inTray = true;
    refreshMain();
    // Hidden, the window has no entry in the task bar either.
    window.hide();
}

void TtrayIcons::restore()
{
    inTray = false;
    if (window.isMinimized())
        window.showNormal();
    else
        window.show();
    window.raise();
    window.activateWindow();
    refreshMain();
}

void TtrayIcons::bringToFront()
{
    if (inTray || window.isMinimized() || !window.isVisible())
        restore();
    else {
        window.raise();
        window.activateWindow();
    }
}

void TtrayIcons::onMainEvent(TtrayEvent e)
{
    main->setTip(trayTipNow());
    if (programClosing())
        return;
    switch (e) {
    case TE_LEFT_UP:
        bringToFront();
        break;
    case TE_DOUBLE_CLICK:
        restore();
        break;
    case TE_RIGHT_UP:
        // The desktop opens the context menu itself; the window comes
        // forward so that the commands act on what it shows.
        window.activateWindow();
        break;
    }
}

void TtrayIcons::refreshDownloads()
{
    QSet<ThttpConn *> live;
    if (trayOk && serveExists())
        for (ThttpConn *c : std::as_const(serve().srv().conns))
            if (wantsDownloadIcon(*c))
                live.insert(c);
    for (ThttpConn *c : downloads.keys())
        if (!live.contains(c))
            dropDownload(c);
    for (ThttpConn *c : std::as_const(live)) {
        TtrayIcon *icon = downloads.value(c);
        if (!icon) {
            icon = new TtrayIcon(this);
            icon->onEvent = [this, c](TtrayIcon &, TtrayEvent e) { onDownloadEvent(c, e); };
            downloads.insert(c, icon);
            percentShown.insert(c, -1);
        }
        if (!opts().trayIconForEachDownload) {
            icon->hide();
            continue;
        }
        const int pc = downloadPercentOf(*c);
        if (percentShown.value(c) != pc) {
            percentShown.insert(c, pc);
            icon->setPicture(trayPercentPicture(pc));
        }
        icon->setTip(downloadTipOf(*c));
        if (!icon->shown())
            icon->show();
    }
}

void TtrayIcons::dropDownload(ThttpConn *c)
{
    if (TtrayIcon *icon = downloads.take(c)) {
        icon->hide();
        icon->deleteLater();
    }
    percentShown.remove(c);
}

void TtrayIcons::selectConnection(ThttpConn *c)
{
    TconnectionsView *view = window.connections();
    view->refresh();
    TconnectionsModel *m = view->connections();
    for (int row = 0; row < m->rowCount(); ++row)
        if (m->connAt(row) == c) {
            view->setCurrentIndex(m->index(row, 0));
            return;
        }
}

QMenu *TtrayIcons::downloadMenu(ThttpConn *c)
{
    if (!connMenu) {
        connMenu = new QMenu(&window);
        QList<TmenuEntry> entries =
            connectionMenuEntries(window.connections(), [this](const QString &a) { window.banAddress(a); });
        entries += TmenuEntry::line();
        TmenuEntry each;
        each.caption = QStringLiteral("Tray icon for each download");
        each.optionKey = QStringLiteral("tray-icon-for-each-download");
        entries += each;
        bindMenu(connMenu, entries, [] { return !opts().easy; });
    }
    // The menu acts on the selected row: the icon's connection.
    if (downloads.contains(c))
        selectConnection(c);
    return connMenu;
}

void TtrayIcons::onDownloadEvent(ThttpConn *c, TtrayEvent e)
{
    if (programClosing() || !downloads.contains(c))
        return;
    selectConnection(c);
    if (e == TE_DOUBLE_CLICK) {
        restore();
        window.connections()->setFocus();
    } else {
        // Both buttons: the connection menu at the mouse.
        downloadMenu(c)->popup(QCursor::pos());
    }
}

TtrayBalloon TtrayIcons::notify(const QString &message, double seconds, TtrayMessageType kind, const QString &title)
{
    return main->balloon(message, seconds, kind, title);
}

bool TtrayIcons::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &window || !trayOk)
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::Close && event->spontaneous() && opts().trayInsteadOfQuit && !programClosing()) {
        // The close button hides the window into the tray; "Exit" still ends.
        event->ignore();
        minimizeToTray();
        return true;
    }
    if (event->type() == QEvent::WindowStateChange && window.isMinimized() && opts().minimizeToTray && !inTray)
        QTimer::singleShot(0, this, [this] {
            if (window.isMinimized())
                minimizeToTray();
        });
    return QObject::eventFilter(watched, event);
}
