#pragma once
// A zip archive produced on the fly. Entries are stored (no compression),
// named in UTF-8 (flag bit 11), each followed by a data descriptor (flag bit
// 3) that carries its CRC-32, so the CRC is computed while the data goes
// out; the central directory and the end record follow. Zip64 fields and
// end records appear where sizes, offsets or the entry count need them.

#include "vfs/archiveStream.h"

#include <optional>

class TzipStream : public TarchiveStream {
protected:
    void regionProduced(int entry, int fd, qint64 offset, qint64 len) override;
    void regionFellShort(int entry) override;
    void layOut() override;
    QByteArray segmentBytes(quint8 kind, int entry) override;
    void dataProduced(int entry, qint64 offset, const char *data, qint64 len) override;
    void cleared() override;
    bool acceptsName(const QString &name) const override;

private:
    enum : quint8 { SEG_LOCAL = 1, SEG_DESCRIPTOR, SEG_CENTRAL, SEG_END };
    QByteArray localHeader(int entry) const;
    QByteArray descriptor(int entry);
    QByteArray centralRecord(int entry);
    QByteArray endRecords() const;
    quint32 crcOf(int entry);
    std::optional<quint32> rememberedCrc(int entry);
    quint32 readCrc(int entry);
    void remember(int entry, quint32 crc);

    QList<std::optional<quint32>> crcs;
    // The CRC of an entry's data produced from its start on, so far.
    int runEntry = -1;
    qint64 runDone = 0;
    quint32 runCrc = 0;
    QByteArray readBack; // file data read again for its CRC
    qint64 dirStart = 0;
    qint64 dirSize = 0;
};
