#pragma once
// The texts of the tray icons: the main icon's tip with its symbols, its
// counter, the tip and percentage of a download's icon, and the limits a
// balloon is cut to. Plain text here; the window draws and shows them.
#include "log/statusPanels.h"

#include <QString>

class ThttpConn;

// What the main icon's tip symbols stand for.
struct TtrayTipValues
{
    bool listening = false;
    double uptimeSeconds = 0;
    QString url;  // the root's full URL
    QString ip;   // the URL address
    QString port;
    qint64 hits = 0, downloads = 0, uploads = 0;
    QString version, build;
};

// `tpl` with %uptime%, %url%, %ip%, %port%, %hits%, %downloads%,
// %uploads%, %version% and %build% replaced wherever they occur.
QString trayTipText(const QString &tpl, const TtrayTipValues &v);
// The same from the program's state, `tpl` empty meaning the option
// tray-message; empty while the program closes or without a tree root.
QString trayTipNow(const QString &tpl = {});
TtrayTipValues trayTipValuesNow();
// The counts behind the main icon's number, from the server and the options.
TtrayCounts trayCountsNow();

// A tip cut to what the desktop shows; its lines kept as line feeds.
inline constexpr int trayTipLimit = 255;
QString cutTrayTip(const QString &tip);

// A download's icon: whether the connection deserves one now, its tip
// (file name, speed, bytes sent, address: four lines) and its percentage.
bool wantsDownloadIcon(const ThttpConn &c);
QString downloadTipText(const QString &fileName, double averageSpeed, qint64 sent, const QString &address);
QString downloadTipOf(const ThttpConn &c);
// Sent over size, times 100, truncated; 0 for an empty size.
int downloadPercent(qint64 sent, qint64 size);
int downloadPercentOf(const ThttpConn &c);

// A balloon as shown: message and title cut, the timeout in milliseconds.
struct TtrayBalloon
{
    QString message, title;
    int timeoutMs = 0;
};
inline constexpr int balloonMessageLimit = 511;
inline constexpr int balloonTitleLimit = 127;
TtrayBalloon trayBalloon(const QString &message, double seconds, const QString &title);
