#pragma once
// The search of the machine's external address through a small web service
// that echoes the caller's address.
#include <QString>

class ThttpClient;

// Asks one service: `external-ip-server` when set, otherwise one drawn from
// the `ip-services` entries (the built-in list when there are none), not the
// one used last when there is a choice. `service` receives the URL asked.
// A valid address (an IP address, not a local one) becomes the known
// external address (logged with log-others when it changed); the result
// tells whether one was found.
bool findExternalAddress(ThttpClient &client, QString &service);

// The external address found last; empty while unknown. Kept in memory
// only: last-external-address holds what the dynamic DNS service was told.
QString &knownExternalAddress();

// The service entry used last (empty before the first search).
const QString &lastAddressService();
