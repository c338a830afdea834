#pragma once
// The traffic dump ("Dump traffic" in the Debug menu): one TLV record per
// chunk received or sent, appended to a file.

#include <QByteArray>
#include <QString>

enum TdumpDirection { DD_RECEIVED = 1, DD_SENT = 2 };

// Record of `direction` whose value holds the TLVs 10 (the date-time as an
// 8-byte double), 11 (address), 12 (port) and 13 (the data).
QByteArray dumpRecord(TdumpDirection direction, double when, const QString &address, const QString &port,
                      const QByteArray &data);

class ThttpConn;
// The bytes a connection put on the wire since the last call for it: the
// head, then the body read back from its source at the positions sent.
// `headDone` and `bodyDone` keep the position between calls.
QByteArray sentSince(ThttpConn &conn, bool &headDone, qint64 &bodyDone);
