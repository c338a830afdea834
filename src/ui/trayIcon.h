#pragma once
// One icon in the desktop's notification area: its picture, its tip (set
// only when it changed), its balloons, and its clicks as three events.
#include "app/trayTip.h"

#include <QIcon>
#include <QObject>

#include <functional>

class QSystemTrayIcon;

enum TtrayEvent {
    TE_LEFT_UP = 0,   // left button released
    TE_DOUBLE_CLICK = 1,
    TE_RIGHT_UP = 2,  // right button released (the context menu)
};

enum TtrayMessageType { TM_NONE, TM_INFO, TM_WARNING, TM_ERROR };

class TtrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TtrayIcon(QObject *parent = nullptr);
    ~TtrayIcon() override;

    QSystemTrayIcon &platform() { return *icon; }

    // Cut to the tip length, lines as line feeds; false when it did not
    // change (the desktop is then not bothered).
    bool setTip(const QString &tip);
    QString tip() const;
    void setPicture(const QIcon &picture);
    QIcon picture() const;
    void show();
    void hide();
    bool shown() const { return isShown; }

    // A notification beside the icon; what was shown (cut). Always true for
    // the caller: the desktop decides how and whether it appears.
    TtrayBalloon balloon(const QString &message, double seconds, TtrayMessageType kind, const QString &title);
    TtrayBalloon lastBalloon() const { return last; }

    std::function<void(TtrayIcon &, TtrayEvent)> onEvent;

private:
    QSystemTrayIcon *icon;
    bool isShown = false;
    TtrayBalloon last;
};

// The main icon's picture: the program's picture with `text` (the counter)
// drawn over it; the plain picture for an empty text.
QIcon trayCounterPicture(const QString &text, const QIcon &base);
// A download's picture: a bar filled to `percent` with "N%" over it.
QIcon trayPercentPicture(int percent);
// The program's own picture (drawn, so no file is needed).
QIcon programPicture();
