#include "serve/logPeer.h"

#include "http/httpConn.h"

TlogPeer logPeer(const ThttpConn *conn)
{
    if (!conn)
        return {};
    TlogPeer peer;
    peer.address = conn->address();
    peer.port = conn->port();
    return peer;
}
