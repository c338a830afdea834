#pragma once
// The address used to build URLs from the option `ip`.
#include <QString>
#include <QStringList>

// `ip` itself when it is one of the `customIp` addresses; otherwise the one of
// `ownAddresses` sharing the longest leading run of characters with it,
// starting from `preferred` (a longer run is needed to replace it). Empty when
// `ip` is empty: the address is then left to the external-address search.
QString chooseUrlAddress(const QString &ip, const QStringList &customIp,
                         const QStringList &ownAddresses, const QString &preferred);
