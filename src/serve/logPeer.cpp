#include "serve/logPeer.h"

#include "config/options.h"
#include "http/httpConn.h"
#include "serve/connData.h"
#include "util/masks.h"

TlogPeer logPeer(const ThttpConn *conn)
{
    if (!conn)
        return {};
    TlogPeer p;
    const TconnData *cd = TconnData::of(conn);
    // The client as the rest of the program sees it: the forwarded
    // address behind a trusted proxy.
    p.address = cd && !cd->address.isEmpty() ? cd->address : conn->address();
    p.port = conn->port();
    if (cd)
        p.user = cd->user();
    p.name = nameForAddress(opts().address2name, p.address);
    return p;
}
