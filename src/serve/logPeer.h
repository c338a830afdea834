#pragma once
// The client of a connection as the log shows it.

#include "log/log.h"

class ThttpConn;

// Empty for no connection.
TlogPeer logPeer(const ThttpConn *conn);
