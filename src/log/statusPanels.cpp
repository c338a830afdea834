#include "log/statusPanels.h"

#include "util/format.h"

namespace {

QString kiloBytesPerSecond(double bytesPerSecond)
{
    return QString::number(bytesPerSecond / 1000.0, 'f', 1) + QStringLiteral(" KB/s");
}

} // namespace

QList<TstatusPanel> statusPanels(const TstatusValues &v)
{
    QList<TstatusPanel> out;
    if (v.expert) {
        QString c = QStringLiteral("Connections: ") + QString::number(v.connections);
        if (v.addresses < v.connections)
            c += QStringLiteral(" / ") + QString::number(v.addresses);
        out.append({SP_CONNECTIONS, c});
    }
    out.append({SP_OUT, QStringLiteral("Out: ") + kiloBytesPerSecond(v.speedOut)});
    out.append({SP_IN, QStringLiteral("In: ") + kiloBytesPerSecond(v.speedIn)});
    if (v.expert) {
        out.append({SP_TOTAL_OUT, QStringLiteral("Total Out: ") + smartSize(v.totalOut)});
        out.append({SP_TOTAL_IN, QStringLiteral("Total In: ") + smartSize(v.totalIn)});
        QString vfs = QStringLiteral("VFS: ") + QString::number(v.vfsItems) + QStringLiteral(" items");
        if (v.vfsModified)
            vfs += QStringLiteral(" - not saved");
        out.append({SP_VFS, vfs});
    }
    if (!v.outOfSpace.isEmpty())
        out.append({SP_OUT_OF_SPACE, QStringLiteral("Out of space: ") + v.outOfSpace.join(u',')});
    if (v.showMemory)
        out.append({SP_MEMORY, QStringLiteral("Mem: ") + groupDigits(v.memoryBytes)});
    if (v.banRules > 0)
        out.append({SP_BANS, QStringLiteral("Ban rules: ") + QString::number(v.banRules)});
    if (v.customizedTemplate)
        out.append({SP_TEMPLATE, QStringLiteral("Customized template")});
    if (!v.message.isEmpty())
        out.append({SP_MESSAGE, v.message});
    return out;
}

QString trayCounterText(const QString &trayShows, const TtrayCounts &c)
{
    qint64 n;
    if (trayShows == u"connections")
        n = c.connections;
    else if (trayShows == u"downloads")
        n = c.downloads;
    else if (trayShows == u"uploads")
        n = c.uploads;
    else if (trayShows == u"hits")
        n = c.hits;
    else if (trayShows == u"ips")
        n = c.addresses;
    else if (trayShows == u"ips-ever")
        n = c.addressesEver;
    else
        return {};
    return QString::number(n);
}
