#include "config/urlAddress.h"

#include "util/addresses.h"

namespace {
qsizetype commonPrefix(const QString &a, const QString &b)
{
    const qsizetype n = qMin(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

// "0.0.0.0", "::" and the like: listening there means every address.
bool isUnspecified(const QString &address)
{
    if (isIpv4Address(address))
        return parseIpv4(address) == 0;
    const QString key = ipv6Key(address);
    return !key.isEmpty() && key.count(u'0') == key.size();
}
}

QString chooseUrlAddress(const QString &ip, const QStringList &customIp,
                         const QStringList &ownAddresses, const QString &preferred)
{
    if (ip.isEmpty())
        return {};
    if (customIp.contains(ip))
        return ip;
    QString best = preferred;
    qsizetype bestRun = preferred.isEmpty() ? -1 : commonPrefix(ip, preferred);
    for (const QString &a : ownAddresses) {
        const qsizetype run = commonPrefix(ip, a);
        if (run > bestRun) {
            best = a;
            bestRun = run;
        }
    }
    return best;
}

QString preferredLocalAddress(const QStringList &ownAddresses)
{
    for (const QString &a : ownAddresses)
        if (!isLocalAddress(a))
            return a;
    return ownAddresses.isEmpty() ? QString() : ownAddresses.last();
}

QString urlAddressFor(const QString &ip, const QStringList &customIp, const QString &listenOn,
                      const QStringList &ownAddresses)
{
    const QString on = listenOn.trimmed();
    const QStringList own = isIpAddress(on) && !isUnspecified(on) ? QStringList{on} : ownAddresses;
    const QString start = preferredLocalAddress(own);
    QString chosen = chooseUrlAddress(ip.trimmed(), customIp, own, start);
    if (chosen.isEmpty())
        chosen = start;
    return chosen.isEmpty() ? QStringLiteral("127.0.0.1") : chosen;
}
