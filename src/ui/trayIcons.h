#pragma once
// The program's icons in the notification area: the main icon (counter,
// tip, the main menu, hiding the window into it) and one icon per download
// under way. Where the desktop has no notification area, no icon is made
// and the window minimizes and closes as without the tray options.
#include "ui/trayIcon.h"

#include <QHash>
#include <QObject>
#include <QPointer>

class QMenu;
class ThttpConn;
class TmainWindow;

class TtrayIcons : public QObject
{
    Q_OBJECT
public:
    explicit TtrayIcons(TmainWindow &window, bool trayAvailable);
    ~TtrayIcons() override;

    bool available() const { return trayOk; }
    TtrayIcon &mainIcon() { return *main; }

    // Picture and tip from the program's state; shown when the option says
    // so or while the window is hidden in the tray.
    void refreshMain();
    // Hides the window into the tray (minimizes it without a tray).
    void minimizeToTray();
    bool hiddenInTray() const { return inTray; }
    // Shows the window again, in front, and leaves the tray.
    void restore();
    // The window to the front (restored when minimized or in the tray).
    void bringToFront();

    // One icon per counted download under way; icons of downloads that
    // ended go.
    void refreshDownloads();
    TtrayIcon *downloadIcon(ThttpConn *c) const { return downloads.value(c); }
    qsizetype downloadIconCount() const { return downloads.size(); }

    // The main icon's menu (the main menu) and a download icon's menu (the
    // connection menu and the option of these icons), on `c`'s row.
    QMenu *mainMenu() const;
    QMenu *downloadMenu(ThttpConn *c);

    // A notification beside the main icon (the "notify" macro).
    TtrayBalloon notify(const QString &message, double seconds, TtrayMessageType kind, const QString &title);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onMainEvent(TtrayEvent e);
    void onDownloadEvent(ThttpConn *c, TtrayEvent e);
    void selectConnection(ThttpConn *c);
    void dropDownload(ThttpConn *c);

    TmainWindow &window;
    bool trayOk;
    TtrayIcon *main;
    QIcon basePicture;
    QString counterShown;
    bool inTray = false;
    QHash<ThttpConn *, TtrayIcon *> downloads;
    QHash<ThttpConn *, int> percentShown;
    QPointer<QMenu> connMenu;
};
