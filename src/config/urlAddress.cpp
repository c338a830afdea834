#include "config/urlAddress.h"

namespace {
qsizetype commonPrefix(const QString &a, const QString &b)
{
    const qsizetype n = qMin(a.size(), b.size());
    qsizetype i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
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
