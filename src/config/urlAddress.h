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

// Among the machine's own addresses (in the platform's order), the first that
// is not a local one, else the last one, else empty.
QString preferredLocalAddress(const QStringList &ownAddresses);

// The address that URLs carry. The server listening on one address (the
// option `listen-on`) is reachable there only, so that address stands for
// every own address; otherwise the search starts from the preferred local
// address. An empty choice (no `ip`, and no external address known) falls
// back to that starting point, and a machine without any address to
// "127.0.0.1": a URL never gets an empty host.
QString urlAddressFor(const QString &ip, const QStringList &customIp, const QString &listenOn,
                      const QStringList &ownAddresses);
