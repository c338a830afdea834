#pragma once

// The fixed symbols of pages and scripts (%user%, %item-name%, %folder%...),
// registered with the macro registry. Values from the server come through
// TserverInfo, which the request-handling module fills.

#include <QList>
#include <QString>

#include <functional>

class Tfile;

struct TserverInfo
{
    struct Tconn
    {
        QString address;
        QString user;
        bool countedDownload = false; // sending a counted download now
    };
    std::function<QList<Tconn>()> connections;
    std::function<bool()> listening;
    std::function<double()> uptimeSeconds; // since the server started listening
    std::function<double()> speedOut;      // bytes per second
    std::function<double()> speedIn;
    std::function<qint64()> totalOut, totalIn, totalDownloads, totalHits, totalUploads;
    std::function<qint64()> addressesEver;
    std::function<QString()> port;
    QString version = QStringLiteral("1.0");
    QString build = QStringLiteral("1");
};
TserverInfo &serverInfo();

class TmacroRegistry;

// Adds every symbol to the macro registry (once; later calls do nothing).
void registerPageSymbols();
// The symbols that need neither folder nor item (part of the above).
void registerConnectionSymbols(TmacroRegistry &r);

// Pieces shared with the page builders.
QString uptimeText(bool listening, double seconds);
// "/~img..." for the item, as "get item|icon" gives it; empty without item.
QString itemIconUrl(const Tfile *f);
