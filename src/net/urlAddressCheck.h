#pragma once
// The URL address looked at again (every 10 seconds): the addresses it may
// be, and a better one than a local address. Pure functions over the
// machine's own addresses (in the platform's order), so they can be checked
// without a network.
#include <QString>
#include <QStringList>

// The addresses offered for listening: the own ones, "127.0.0.1" and "::1".
QStringList localAddresses(const QStringList &ownAddresses);

// What the URL address may be: `urlAddress`, the dynamic DNS host, the
// custom addresses, the external address and the own addresses, in that
// order, without empty entries and without duplicates (any letter case).
QStringList urlAddressCandidates(const QString &urlAddress, const QString &ddnsHost,
                                 const QStringList &customIp, const QString &externalAddress,
                                 const QStringList &ownAddresses);

// A better URL address than `current`, a local address that is not a custom
// one: the preferred own address when that is not local; for a link-local
// "169." address, the first address offered for listening (the second when
// the first is `current`). Empty when there is none.
QString betterUrlAddress(const QString &current, const QStringList &customIp,
                         const QStringList &ownAddresses);
