#include "net/urlAddressCheck.h"

#include "config/urlAddress.h"
#include "util/addresses.h"

QStringList localAddresses(const QStringList &ownAddresses)
{
    return ownAddresses + QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("::1")};
}

QStringList urlAddressCandidates(const QString &urlAddress, const QString &ddnsHost,
                                 const QStringList &customIp, const QString &externalAddress,
                                 const QStringList &ownAddresses)
{
    const QStringList all = QStringList{urlAddress, ddnsHost} + customIp + QStringList{externalAddress}
                          + ownAddresses;
    QStringList out;
    for (const QString &a : all)
        if (!a.isEmpty() && !out.contains(a, Qt::CaseInsensitive))
            out << a;
    return out;
}

QString betterUrlAddress(const QString &current, const QStringList &customIp,
                         const QStringList &ownAddresses)
{
    if (customIp.contains(current) || !isLocalAddress(current))
        return {};
    const QString preferred = preferredLocalAddress(ownAddresses);
    if (!preferred.isEmpty() && !isLocalAddress(preferred))
        return preferred;
    const QStringList offered = localAddresses(ownAddresses);
    if (!current.startsWith(QLatin1String("169.")) || offered.size() < 2)
        return {};
    return offered.first() == current ? offered.at(1) : offered.first();
}
