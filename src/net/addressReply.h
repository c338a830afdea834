#pragma once
// Reading an external-address service: its entry ("URL|marker"), the list of
// entries, the address in its reply. Pure functions; the search that uses
// them is externalAddress.h.
#include <QString>
#include <QStringList>

#include <functional>

struct TaddressService
{
    QString url;
    QString marker; // the reply's address follows it; empty: starts the reply
};

// Splits at the first "|".
TaddressService splitServiceEntry(const QString &entry);

// The entries of a service list text: its trimmed lines that start with
// "http://".
QStringList serviceEntries(const QString &listText);

// The list used when no other is known.
QString builtInServiceList();

// One entry at random (`randomBelow(n)` gives 0..n-1), drawn again while it
// equals `last` and there is another to take; empty for an empty list.
QString pickService(const QStringList &entries, const QString &last,
                    const std::function<int(int)> &randomBelow);

// The address candidate in a reply: what follows the marker's first
// occurrence (nothing when it does not occur), trimmed; then its first
// character and the digits and points right after it, 15 characters at
// most, trailing points removed.
QString addressInReply(const QString &reply, const QString &marker);

// A candidate is taken when it is an IP address and not a local one.
bool isExternalAddress(const QString &candidate);

// The host part of a service URL (user information and path left out).
QString serviceHost(const QString &url);
