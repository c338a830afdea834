#include "serve/transferSpeed.h"

#include "http/httpConn.h"
#include "serve/connData.h"

#include <cmath>

TtransferKind transferUnderWay(const ThttpConn &c, const TconnData &d)
{
    if (c.state() == HCS_POSTING && !d.upload.source.isEmpty())
        return TK_UPLOAD;
    if ((c.state() == HCS_REPLYING_HEADER || c.state() == HCS_REPLYING_BODY)
        && (d.transfer.downloadingWhat == DW_FILE || d.transfer.downloadingWhat == DW_ARCHIVE))
        return TK_DOWNLOAD;
    return TK_NONE;
}

TtransferKind sampleTransferSpeed(const ThttpConn &c, TconnData &d)
{
    const TtransferKind kind = transferUnderWay(c, d);
    if (kind == TK_UPLOAD)
        d.transfer.eta.add(c.speedIn(), c.postLeft());
    else if (kind == TK_DOWNLOAD)
        d.transfer.eta.add(c.speedOut(), c.bodyLeft());
    else
        return kind;
    d.transfer.averageSpeed = d.transfer.eta.average();
    return kind;
}

int highSpeedSendBuffer(double averageSpeed, int currentBuffer)
{
    constexpr double smallest = 8192, largest = 1048576;
    if (!(averageSpeed > 0))
        return 0;
    const int wanted = int(std::lround(qBound(smallest, averageSpeed, largest)));
    return wanted > 2 * qint64(currentBuffer) ? wanted : 0;
}
