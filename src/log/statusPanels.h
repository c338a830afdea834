#pragma once
// The texts of the status bar and the number on the tray icon, built from
// plain values so that the window only paints them.
#include <QList>
#include <QString>
#include <QStringList>

struct TstatusValues
{
    bool expert = false;
    qint64 connections = 0;
    qint64 addresses = 0;  // distinct addresses among the connections
    double speedOut = 0;   // bytes per second
    double speedIn = 0;
    qint64 totalOut = 0;   // bytes
    qint64 totalIn = 0;
    qint64 vfsItems = 0;
    bool vfsModified = false;
    QStringList outOfSpace; // volumes of upload folders short of space
    bool showMemory = false;
    qint64 memoryBytes = 0;
    qint64 banRules = 0;
    bool customizedTemplate = false;
    QString message;        // the temporary message, while it lasts
};

// What a panel shows, for the window's clicks.
enum TstatusPanelKind {
    SP_CONNECTIONS,
    SP_OUT,
    SP_IN,
    SP_TOTAL_OUT,
    SP_TOTAL_IN,
    SP_VFS,
    SP_OUT_OF_SPACE,
    SP_MEMORY,
    SP_BANS,
    SP_TEMPLATE,
    SP_MESSAGE, // left aligned
};

struct TstatusPanel
{
    TstatusPanelKind kind;
    QString text;
    bool operator==(const TstatusPanel &) const = default;
};

// The panels in their order; easy mode leaves out the counts and totals.
QList<TstatusPanel> statusPanels(const TstatusValues &v);

struct TtrayCounts
{
    qint64 connections = 0;
    qint64 downloads = 0;
    qint64 uploads = 0;
    qint64 hits = 0;
    qint64 addresses = 0;     // distinct addresses now connected
    qint64 addressesEver = 0;
};

// The number on the main tray icon for the option tray-shows
// ("connections", "downloads", "uploads", "hits", "ips", "ips-ever");
// empty for another value.
QString trayCounterText(const QString &trayShows, const TtrayCounts &c);
