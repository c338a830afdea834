#include "serve/logPeer.h"

#include "http/httpConn.h"

TlogPeer logPeer(const ThttpConn *conn)
{
    if (!conn)
        return {};
    return {conn->address(), conn->port()};
}
