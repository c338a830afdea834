#include "serve/trafficDump.h"

#include "http/httpConn.h"
#include "vfs/tlv.h"

#include <unistd.h>

QByteArray dumpRecord(TdumpDirection direction, double when, const QString &address, const QString &port,
                      const QByteArray &data)
{
    const QByteArray value = Ttlv::doubleRecord(10, when) + Ttlv::textRecord(11, address)
        + Ttlv::textRecord(12, port) + Ttlv::record(13, data);
    return Ttlv::record(quint32(direction), value);
}

QByteArray sentSince(ThttpConn &conn, bool &headDone, qint64 &bodyDone)
{
    QByteArray out;
    if (!headDone && !conn.reply().header.isEmpty()) {
        out = conn.reply().header + "\r\n";
        headDone = true;
    }
    const qint64 upTo = conn.bodyBytesSent();
    if (upTo <= bodyDone)
        return out;
    const qint64 n = qMin<qint64>(upTo - bodyDone, qint64(1) << 20);
    const qint64 at = qMax<qint64>(0, conn.reply().firstByte) + bodyDone;
    bodyDone = upTo;
    switch (conn.body().kind()) {
    case ThttpBody::BK_BYTES:
        out += conn.body().bytes().mid(at, n);
        break;
    case ThttpBody::BK_FILE: {
        QByteArray chunk(n, Qt::Uninitialized);
        const ssize_t got = ::pread(conn.body().fileDescriptor(), chunk.data(), size_t(n), off_t(at));
        chunk.resize(got > 0 ? qsizetype(got) : 0);
        out += chunk;
        break;
    }
    default:
        out += "[" + QByteArray::number(n) + " bytes from a stream]";
        break;
    }
    return out;
}
