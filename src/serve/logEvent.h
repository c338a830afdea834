#pragma once
// What the log says of each server event, by the log options.

#include "http/serverEvent.h"

class ThttpConn;
struct TapacheRequest;
class TconnData;

// Runs after the event's own handling; `conn` is null for server events.
void logServerEvent(TserverEvent e, ThttpConn *conn);

// The facts of the current request of `cd` as the access log reads them.
TapacheRequest apacheFacts(const TconnData &cd, bool atDisconnection);
